// The LV2 plug-in driven as a host drives it, through lv2_descriptor: what
// leaves for which atoms, other messages passing, a full output, the
// controls, and the transport's start and loop.
#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "tests/engine/heap_watch.h"
#include "tests/lv2/lv2_host.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Default settings: controller 1 is the master, pressure the modifier, Add 85%
// between 0 and 96.
TEST(Lv2Plugin, ChannelMessagesGoThroughTheRuleAtTheirFrames) {
    CLv2TestHost host;
    ASSERT_TRUE(host.Instantiated());
    const struct {
        std::int64_t frame;
        Bytes in, out;  // out empty: nothing leaves
    } rows[] = {
        {0, {0xB2, 1, 64}, {0xB2, 1, 64}},       // master 64, modifier 0
        {1, {0x92, 60, 100}, {0x92, 60, 100}},   // a note passes
        {2, {0xB2, 1, 64}, {}},                  // a repeat is dropped
        {3, {0xD2, 48}, {0xB2, 1, 91}},          // pressure is consumed, the master leaves
        {4, {0xB2, 0, 5}, {0xB2, 0, 5}},         // controller 0 is no stream
        {5, {0xE2, 0, 64}, {0xE2, 0, 64}},       // pitch wheel
        {6, {0xC2, 5}, {0xC2, 5}},               // program change
        {6, {0xA2, 60, 9}, {0xA2, 60, 9}},       // key pressure is not channel pressure
        {7, {0xD2, 127}, {0xB2, 1, 118}},        // beyond High In: the full amount
        {std::int64_t{1} << 32, {0xF8}, {0xF8}},           // frames beyond 32 bits,
        {(std::int64_t{1} << 32) + 5, {0xB2, 1, 30}, {0xB2, 1, 113}},  // rewritten ones too
    };
    std::vector<TimedBytes> expected;
    for (const auto& row : rows) {
        host.Midi(row.frame, row.in);
        if (!row.out.empty()) expected.push_back({row.frame, row.out});
    }
    EXPECT_EQ(host.Run(64), expected);
    EXPECT_EQ(host.Plugin().DroppedEvents(), 0u);

    // Settings changed between cycles: pressure is now the master, controller 1 the modifier.
    host.Control(MasterCc) = 0;
    host.Control(ModifierCc) = 1;
    host.Midi(9, {0xB5, 1, 48});  // the last master value, 30, moved half the amount
    EXPECT_EQ(host.Run(64), (std::vector<TimedBytes>{{9, {0xD5, 71}}}));
}

TEST(Lv2Plugin, OtherMessagesPassUnchangedInOrder) {
    CLv2TestHost host;
    const Bytes passing[] = {
        {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7},  // system exclusive
        {0xF8},                                // clock
        {0xF2, 0x10, 0x20},                    // song position
        {},                                    // an empty event
        {0xB0, 1},                             // a controller cut short
        {0xB0, 1, 2, 3},                       // one byte too many
        {0xB0, 1, 0x90},                       // a status byte where data belongs
        {0x90, 60},                            // a note cut short
        {0x40, 0x41, 0x42},                    // no status
    };
    std::vector<TimedBytes> expected;
    std::int64_t frame = 0;
    for (const Bytes& bytes : passing) {
        host.Midi(frame, bytes);
        expected.push_back({frame, bytes});
        host.Midi(frame, {0xB0, 1, static_cast<std::uint8_t>(frame)});  // a master move between each
        expected.push_back({frame, {0xB0, 1, static_cast<std::uint8_t>(frame)}});
        ++frame;
    }
    *static_cast<std::int32_t*>(host.Append(frame, host.Id(LV2_ATOM__Int), 4)) = 7;  // not MIDI: not passed
    EXPECT_EQ(host.Run(64), expected);
}

TEST(Lv2Plugin, AFullOutputDropsAndCountsWhatDoesNotFit) {
    for (const std::uint32_t fits : {0u, 1u, 2u, 5u}) {
        for (const bool headerFits : {true, false}) {
            if (!headerFits && fits > 0) continue;
            CLv2TestHost host;
            std::memset(&host.Out(), 0xAB, host.Room());
            for (std::uint8_t note = 0; note < 5; ++note) host.Midi(note, {0x90, note, 100});
            const std::uint32_t capacity = headerFits ? 8 + 24 * fits : 4;
            const auto out = host.Run(16, capacity);
            EXPECT_EQ(out.size(), fits) << "capacity " << capacity;
            EXPECT_EQ(host.Plugin().DroppedEvents(), 5u - fits) << "capacity " << capacity;
            for (std::uint32_t byte = 8 + capacity; byte < 8 + capacity + 64; ++byte)
                ASSERT_EQ(host.OutBytes()[byte], 0xAB) << "written past the capacity " << capacity << " at " << byte;
        }
    }
}

TEST(Lv2Plugin, ControlsAreRoundedAndKeptWithinTheirBounds) {
    CLv2TestHost host;
    const struct {
        SettingIndex setting;
        float value;
        std::int32_t held;
    } rows[] = {
        {EffectAmount, 84.6f, 85}, {EffectAmount, 250.0f, 100}, {HighIn, -3.0f, 0}, {Mode, 2.4f, 2},
        {MasterCc, 127.9f, 127},   {LowIn, 0.49999997f, 0},      {LowIn, 10, 10},
        {LowIn, NAN, 10},          {LowIn, INFINITY, 10},
    };
    for (const auto& row : rows) {
        host.Control(row.setting) = row.value;
        host.Run(1);
        EXPECT_EQ(host.Plugin().Engine().GetParam(SettingRow, row.setting), row.held) << row.setting << " = " << row.value;
    }
}

TEST(Lv2Plugin, TheTransportStartsAndLoopsTheFilter) {
    using Cycle = std::function<void(CLv2TestHost&)>;
    const auto position = [](std::int64_t at, std::int64_t frame, float speed) {
        return [=](CLv2TestHost& host) { host.Position(at, &frame, &speed); };
    };
    const auto speedOnly = [](std::int64_t at, float speed) {
        return [=](CLv2TestHost& host) { host.Position(at, nullptr, &speed); };
    };
    const Cycle repeat = [](CLv2TestHost& host) { host.Midi(100, {0xB0, 1, 64}); };
    // The first cycle (256 frames) sends a note, starts rolling at transport
    // frame 0 and sends master 64; the second, written in frame order, repeats it.
    const struct {
        const char* what;
        std::vector<Cycle> second;
        bool resent;
    } rows[] = {
        {"nothing", {repeat}, false},
        {"rolling on", {position(0, 256, 1), repeat}, false},
        {"rolling on, its frame rounded", {position(0, 257, 1), repeat}, false},
        {"a cycle dropped: one period on", {position(0, 512, 1), repeat}, false},
        {"looping back", {position(0, 0, 1), repeat}, true},
        {"looping back at half speed", {position(50, 100, 0.5f), repeat}, true},
        {"stopping", {speedOnly(0, 0), repeat}, false},
        {"stopping and starting", {speedOnly(0, 0), speedOnly(1, 1), repeat}, true},
        {"a loop after the repeat", {repeat, position(200, 0, 1)}, false},
    };
    for (const auto& row : rows) {
        CLv2TestHost host;
        host.Midi(0, {0x90, 60, 1});  // before the transport's first position
        position(0, 0, 1)(host);
        host.Midi(0, {0xB0, 1, 64});
        ASSERT_EQ(host.Run(256).size(), 2u);
        for (const Cycle& write : row.second) write(host);
        EXPECT_EQ(host.Run(256).size(), row.resent ? 1u : 0u) << row.what;
    }
}

TEST(Lv2Plugin, RunNeverTouchesTheHeap) {
    CLv2TestHost host;
    const std::int64_t frame = 0;
    const float speed = 1;
    host.Run(1);
    const long before = HeapAllocations();
    for (int cycle = 0; cycle < 4; ++cycle) {
        host.Control(EffectAmount) = static_cast<float>(20 * cycle);  // a setting changed
        host.Position(0, &frame, &speed);
        for (std::uint8_t value = 0; value < 100; ++value) {
            const std::uint8_t master[] = {0xB0, 1, value}, pressure[] = {0xD0, value}, exclusive[] = {0xF0, value, 0xF7};
            host.Midi(value, master, 3);
            host.Midi(value, pressure, 2);
            host.Midi(value, exclusive, 3);
        }
        host.Position(100, &frame, &speed);
        const std::uint32_t frames = 128;
        host.Plugin().Run(frames);  // without the test host's own reading of the output
        host.Clear();
    }
    EXPECT_EQ(HeapAllocations(), before);
}

TEST(Lv2Plugin, RefusesAHostThatMapsNoUrids) {
    const CLv2TestHost host(false);
    EXPECT_FALSE(host.Instantiated());
}

}  // namespace
