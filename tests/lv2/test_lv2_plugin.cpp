// The LV2 plug-in driven as a host drives it, through lv2_descriptor: what
// leaves for which atoms, other messages passing, a full output, the
// controls, and the transport's start and loop.
#include <climits>
#include <cmath>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "tests/core/malformed_messages.h"
#include "tests/filter/heap_watch.h"
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
        {8, {0xB2, 1, 30}, {0xB2, 1, 113}},
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
        {0xF0, 0x7D, 1, 2, 3, 4, 5, 0xF7},     // 8 bytes: one word
        {0xF0, 0x7D, 1, 2, 3, 4, 5, 6, 0xF7},  // 9 bytes: more than one
        {0xF8},                                // clock
        {0xF2, 0x10, 0x20},                    // song position
        {},                                    // an empty event
        {0xB0, 1, 2, 3},                       // one byte too many
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

TEST(Lv2Plugin, MalformedMessagesAsEveryFaceAnswersThem) {
    CLv2TestHost host;
    std::vector<TimedBytes> expected;
    std::int64_t frame = 0;
    for (const MalformedMessage& row : kMalformedMessages) {
        host.Midi(frame, row.in);
        if (!row.out.empty()) expected.push_back({frame, row.out});
        ++frame;
    }
    EXPECT_EQ(host.Run(64), expected);
}

TEST(Lv2Plugin, AFullOutputDropsAndCountsWhatDoesNotFit) {
    // Five notes of 24 bytes each; where the last one's padding lies past
    // the input, the input is 5 bytes shorter, and so is the room given.
    const struct {
        std::uint32_t capacity;  // the output's size, as the host sets it
        bool lastUnpadded;
        std::size_t fits;
    } cases[] = {
        {4, false, 0},           // not even the sequence's header
        {8, false, 0},           // the header alone
        {8 + 24, false, 1},
        {8 + 64, false, 2},      // a word short of a third event
        {8 + 112, false, 4},     // a word short of the input's size
        {8 + 120, false, 5},     // exactly the input's size
        {8 + 115, true, 4},      // the input's size, the last event's padding not included
        {8 + 118, true, 4},      // more than the input's size, less than with its padding
        {8 + 120, true, 5},
    };
    for (const auto& c : cases) {
        CLv2TestHost host;
        std::memset(&host.Out(), 0xAB, host.Room());
        for (std::uint8_t note = 0; note < 5; ++note) host.Midi(note, {0x90, note, 100});
        if (c.lastUnpadded) host.In().atom.size -= 5;
        const auto out = host.Run(16, c.capacity);
        EXPECT_EQ(out.size(), c.fits) << "capacity " << c.capacity;
        EXPECT_EQ(host.Plugin().DroppedEvents(), 5u - c.fits) << "capacity " << c.capacity;
        for (std::uint32_t byte = 8 + c.capacity; byte < 8 + c.capacity + 64; ++byte)
            ASSERT_EQ(host.OutBytes()[byte], 0xAB) << "written past the capacity " << c.capacity << " at " << byte;
        if (c.lastUnpadded && c.fits == 5) {  // the padding the input lacked leaves as zeros
            for (std::uint32_t byte = 16 + 96 + 16 + 3; byte < 16 + 120; ++byte)
                EXPECT_EQ(host.OutBytes()[byte], 0) << "padding at " << byte;
        }
    }
}

TEST(Lv2Plugin, ALongMessageIsWrittenWhereItFillsTheRoomExactly) {
    // An atom that is not MIDI (24 bytes, never written) before the message
    // keeps the input larger than the room, so that the room is checked.
    const struct {
        std::uint32_t length;  // of the system-exclusive message
        std::uint32_t room;    // for events, after the sequence's 8-byte header
        bool kept;
    } rows[] = {
        {9, 32, true},    // header and two words, the second padded with 7 bytes
        {12, 32, true},
        {16, 32, true},   // no padding
        {17, 32, false},  // one byte more
        {16, 31, false},  // one byte less room
        {9, 31, false},
        {17, 40, true},
    };
    for (const auto& row : rows) {
        CLv2TestHost host;
        std::memset(&host.Out(), 0xAB, host.Room());
        *static_cast<std::int32_t*>(host.Append(0, host.Id(LV2_ATOM__Int), 4)) = 7;
        Bytes exclusive(row.length, 0x55);
        exclusive.front() = 0xF0, exclusive.back() = 0xF7;
        host.Midi(1, exclusive);
        const auto out = host.Run(16, 8 + row.room);
        const std::vector<TimedBytes> expected = {{1, exclusive}};
        EXPECT_EQ(out, row.kept ? expected : std::vector<TimedBytes>())
            << row.length << " bytes in " << row.room;
        EXPECT_EQ(host.Plugin().DroppedEvents(), row.kept ? 0u : 1u) << row.length << " bytes in " << row.room;
        // The padding is zeros, not what the host's buffer held; nothing
        // is written past the room.
        const std::uint32_t padded = row.kept ? (row.length + 7) & ~7u : 0;
        for (std::uint32_t byte = 32 + row.length; byte < 32 + padded; ++byte)
            EXPECT_EQ(host.OutBytes()[byte], 0) << row.length << " bytes: padding at " << byte;
        for (std::uint32_t byte = 16 + row.room; byte < 16 + row.room + 32; ++byte)
            ASSERT_EQ(host.OutBytes()[byte], 0xAB) << row.length << " bytes: written past the room at " << byte;
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
        EXPECT_EQ(host.Plugin().Core().GetParam(SettingRow, row.setting), row.held) << row.setting << " = " << row.value;
    }
}

TEST(Lv2Plugin, TheTransportStartsAndLoopsTheFilter) {
    using Cycle = std::function<void(CLv2TestHost&)>;
    using P = CLv2TestHost::Property;
    const auto at = [](std::int64_t when, std::vector<P> properties, const char* type = LV2_ATOM__Object) {
        return Cycle([=](CLv2TestHost& host) { host.Position(when, properties, type); });
    };
    const auto frame = [](double value) { return P{LV2_TIME__frame, LV2_ATOM__Long, value}; };
    const auto speed = [](double value) { return P{LV2_TIME__speed, LV2_ATOM__Float, value}; };
    const auto bar = [](double value) { return P{LV2_TIME__bar, LV2_ATOM__Long, value}; };
    const auto barBeat = [](double value) { return P{LV2_TIME__barBeat, LV2_ATOM__Float, value}; };
    const P tempo{LV2_TIME__beatsPerMinute, LV2_ATOM__Float, 120}, meter{LV2_TIME__beatsPerBar, LV2_ATOM__Float, 4};
    const Cycle repeat = [](CLv2TestHost& host) { host.Midi(100, {0xB0, 1, 64}); };
    // Each row's first cycle (256 frames at 48 kHz) plays its positions, then
    // sends a note and master 64; the second plays its positions and repeats
    // master 64, which leaves only after a start or a loop. 256 frames are
    // 0.0107 beats at 120 beats a minute.
    const std::vector<Cycle> rolling = {at(0, {frame(0), speed(1)})};
    const struct {
        const char* what;
        std::vector<Cycle> first, second;
        bool resent;
    } rows[] = {
        {"nothing", rolling, {repeat}, false},
        {"rolling on", rolling, {at(0, {frame(256), speed(1)}), repeat}, false},
        {"rolling on, its frame rounded", rolling, {at(0, {frame(257), speed(1)}), repeat}, false},
        {"a cycle dropped: one period on", rolling, {at(0, {frame(512), speed(1)}), repeat}, false},
        {"looping back", rolling, {at(0, {frame(0), speed(1)}), repeat}, true},
        {"looping back, the position a Blank", rolling, {at(0, {frame(0), speed(1)}, LV2_ATOM__Blank), repeat}, true},
        {"looping back at half speed", rolling, {at(50, {frame(100), speed(0.5)}), repeat}, true},
        {"a whole cycle at half speed, then on", {at(0, {frame(0), speed(0.5)})}, {at(0, {frame(128), speed(0.5)}), repeat}, false},
        {"a whole cycle at double speed, then back", {at(0, {frame(0), speed(2)})}, {at(0, {frame(300), speed(2)}), repeat}, true},
        {"stopping", rolling, {at(0, {speed(0)}), repeat}, false},
        {"stopping and starting", rolling, {at(0, {speed(0)}), at(1, {speed(1)}), repeat}, true},
        {"a loop after the repeat", rolling, {repeat, at(200, {frame(0), speed(1)})}, false},
        {"frames only: rolling on", rolling, {at(0, {frame(256)}), repeat}, false},
        {"frames only: looping back", rolling, {at(0, {frame(10)}), repeat}, true},
        {"frames only: a start", {at(0, {frame(0)})}, {at(0, {frame(256)}), repeat}, true},
        {"frames only: standing still", {at(0, {frame(0)})}, {at(0, {frame(0)}), repeat}, false},
        {"bars and beats: rolling on", {at(0, {bar(2), barBeat(0), speed(1), tempo, meter})},
         {at(0, {bar(2), barBeat(0.0107), speed(1), tempo, meter}), repeat}, false},
        {"bars and beats: looping back", {at(0, {bar(2), barBeat(0), speed(1), tempo, meter})},
         {at(0, {bar(1), barBeat(3.5), speed(1), tempo, meter}), repeat}, true},
        {"bars and beats: a start", {at(0, {bar(2), barBeat(0), speed(0), tempo, meter})},
         {at(0, {bar(2), barBeat(0), speed(1), tempo, meter}), repeat}, true},
        {"bars and beats: a new bar in another meter", {at(0, {bar(10), barBeat(3.9), speed(1), tempo, meter})},
         {at(0, {bar(11), barBeat(0), speed(1), tempo, P{LV2_TIME__beatsPerBar, LV2_ATOM__Float, 3}}), repeat}, false},
        {"a position stamped far beyond the cycle: at its last frame", rolling,
         {at(INT64_MAX, {frame(256), speed(1)}), repeat}, true},
        {"bars and beats only: a start and a loop", {at(0, {bar(0), barBeat(1)})},
         {at(0, {bar(0), barBeat(2)}), repeat, at(120, {bar(0), barBeat(0)}), repeat}, true},
    };
    for (const auto& row : rows) {
        CLv2TestHost host;
        host.Midi(0, {0x90, 60, 1});  // before the transport's first position
        for (const Cycle& write : row.first) write(host);
        host.Midi(0, {0xB0, 1, 64});
        ASSERT_EQ(host.Run(256).size(), 2u) << row.what;
        for (const Cycle& write : row.second) write(host);
        EXPECT_EQ(host.Run(256).size(), row.resent ? (row.second.size() == 4 ? 2u : 1u) : 0u) << row.what;
    }
}

TEST(Lv2Plugin, APositionsValueThatIsNoNumberTellsNothing) {
    // Each cycle (256 frames) plays its positions at frame 0, then master
    // 64, which leaves in the first cycle and later only after a start or a
    // loop. kBad stands for each of NaN, +inf and -inf in turn.
    constexpr double kBad = 1e300;
    using P = CLv2TestHost::Property;
    const auto frame = [](double value) { return P{LV2_TIME__frame, LV2_ATOM__Double, value}; };
    const auto speed = [](double value) { return P{LV2_TIME__speed, LV2_ATOM__Float, value}; };
    const struct {
        const char* what;
        std::vector<std::vector<P>> cycles;  // each cycle's one position
        const char* sent;                    // per cycle: whether master 64 left
    } rows[] = {
        {"stopped, a bad speed: no start; then a real one",
         {{frame(0), speed(0)}, {frame(0), speed(kBad)}, {frame(0), speed(1)}}, "s-s"},
        {"rolling on, a bad speed: no loop; then a real one",
         {{frame(0), speed(1)}, {frame(256), speed(kBad)}, {frame(0), speed(1)}}, "s-s"},
        {"rolling, a bad frame: no loop; then a real one",
         {{frame(0), speed(1)}, {frame(kBad), speed(1)}, {frame(0), speed(1)}}, "s-s"},
        {"rolling, a bad frame: no loop; then rolling on",
         {{frame(0), speed(1)}, {frame(kBad), speed(1)}, {frame(512), speed(1)}}, "s--"},
        {"frames only, stopped, a bad frame: no start; then a real one",
         {{frame(0)}, {frame(kBad)}, {frame(0)}, {frame(256)}}, "s--s"},
    };
    for (const double bad : {double{NAN}, HUGE_VAL, -HUGE_VAL}) {
        for (const auto& row : rows) {
            CLv2TestHost host;
            std::string sent;
            for (std::vector<P> position : row.cycles) {
                for (P& property : position)
                    if (property.value == kBad) property.value = bad;
                host.Position(0, position);
                host.Midi(100, {0xB0, 1, 64});
                sent += host.Run(256).empty() ? '-' : 's';
            }
            EXPECT_EQ(sent, row.sent) << row.what << ", the bad value " << bad;
        }
    }
}

TEST(Lv2Plugin, FramesNeverDecreaseAndStayWithinTheCycle) {
    const struct {
        std::uint32_t frames;
        std::vector<std::int64_t> in, out;
    } rows[] = {
        {64, {10, 5, 300, 20}, {10, 10, 63, 63}},
        {64, {-3, 0, 63, std::int64_t{1} << 40}, {0, 0, 63, 63}},
        {0, {0, 7}, {0, 0}},
    };
    for (const auto& row : rows) {
        CLv2TestHost host;
        std::vector<TimedBytes> expected;
        for (std::size_t i = 0; i < row.in.size(); ++i) {
            // Alternately a note (copied) and a master move (written anew).
            const std::vector<std::uint8_t> bytes = i % 2 ? std::vector<std::uint8_t>{0xB0, 1, static_cast<std::uint8_t>(i)}
                                                          : std::vector<std::uint8_t>{0x90, 60, static_cast<std::uint8_t>(i)};
            host.Midi(row.in[i], bytes);
            expected.push_back({row.out[i], bytes});
        }
        EXPECT_EQ(host.Run(row.frames), expected) << "run(" << row.frames << ")";
    }
}

TEST(Lv2Plugin, ActivationLeavesTheInstanceAsANewOne) {
    const struct {
        const char* what;
        std::vector<Bytes> before;  // one cycle before deactivate and activate
        Bytes after;                // one message after
        std::vector<TimedBytes> out;
    } rows[] = {
        {"the master value sent last is forgotten", {{0xB0, 1, 64}}, {0xB0, 1, 64}, {{0, {0xB0, 1, 64}}}},
        {"the modifier seen last too", {{0xD0, 127}}, {0xB0, 1, 0}, {{0, {0xB0, 1, 0}}}},
        {"and the master seen last", {{0xB0, 1, 100}}, {0xD0, 0}, {{0, {0xB0, 1, 0}}}},
    };
    for (const auto& row : rows) {
        CLv2TestHost host;
        for (const Bytes& bytes : row.before) host.Midi(0, bytes);
        host.Run(64);
        host.Descriptor().deactivate(host.Handle());
        host.Descriptor().activate(host.Handle());
        host.Midi(0, row.after);
        EXPECT_EQ(host.Run(64), row.out) << row.what;
    }
}

TEST(Lv2Plugin, ActivationAppliesTheControlsTheHostHolds) {
    // The host keeps its control ports across deactivate and activate: the
    // first cycle after runs with their values, changed or not.
    const struct {
        SettingIndex setting;
        float before, after;  // the port's value before deactivate, and at the next cycle
        std::int32_t held;
    } rows[] = {
        {EffectAmount, 50, 50, 50},
        {MasterCc, 7, 7, 7},
        {Mode, 2, 2, ModeRel64},
        {HighIn, 40, 41, 41},
        {EffectAmount, 50, NAN, 85},  // no longer a number: as a new instance holds it
    };
    for (const auto& row : rows) {
        CLv2TestHost host;
        host.Control(row.setting) = row.before;
        host.Run(64);
        host.Descriptor().deactivate(host.Handle());
        host.Descriptor().activate(host.Handle());
        host.Control(row.setting) = row.after;
        host.Run(64);
        EXPECT_EQ(host.Plugin().Core().GetParam(SettingRow, row.setting), row.held)
            << row.setting << ": " << row.before << ", then " << row.after;
    }
}

TEST(Lv2Plugin, ADamagedSizeEndsTheCycleThere) {
    for (const char* type : {LV2_MIDI__MidiEvent, LV2_ATOM__Object}) {
        for (const std::uint32_t size : {0xFFFFFFF9u, 0xFFFFFFFFu, 0x80000000u, 100u}) {
            CLv2TestHost host;
            host.Midi(0, {0x90, 60, 100});
            auto* const body = static_cast<std::uint32_t*>(host.Append(1, host.Id(type), 16));
            body[0] = 0xB0, body[1] = host.Id(LV2_TIME__Position), body[2] = 0, body[3] = 0;
            (reinterpret_cast<LV2_Atom_Event*>(body) - 1)->body.size = size;  // claims more than the input holds
            host.Midi(2, {0x90, 61, 100});
            EXPECT_EQ(host.Run(64), (std::vector<TimedBytes>{{0, {0x90, 60, 100}}})) << type << " of size " << size;
        }
    }
}

TEST(Lv2Plugin, TheLibraryHoldsOnePlugin) {
    ASSERT_NE(lv2_descriptor(0), nullptr);
    EXPECT_STREQ(lv2_descriptor(0)->URI, kVeltracePluginUri);
    EXPECT_EQ(lv2_descriptor(1), nullptr);
    EXPECT_EQ(lv2_descriptor(7), nullptr);
}

TEST(Lv2Plugin, WithoutAnInputRunLeavesTheOutputAndTheControls) {
    CLv2TestHost host;
    host.Control(EffectAmount) = 20;
    std::memset(&host.Out(), 0xAB, 64);
    host.Descriptor().connect_port(host.Handle(), PortEventsIn, nullptr);
    host.Descriptor().run(host.Handle(), 64);
    for (int byte = 0; byte < 64; ++byte) ASSERT_EQ(host.OutBytes()[byte], 0xAB) << "output byte " << byte;
    EXPECT_EQ(host.Plugin().Core().GetParam(SettingRow, EffectAmount), 85) << "a control applied without a cycle";
    host.Run(64);  // connected again
    EXPECT_EQ(host.Plugin().Core().GetParam(SettingRow, EffectAmount), 20);
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
