// The CLAP and VST3 editions as a host meets them, each through the
// project's own small host of its format, one table of cases for both (the
// checks clap-validator and pluginval make elsewhere): what the host lists,
// the parameters against the settings table, the state, starting over, the
// transport, and what bad input does.
//   edition_tests --clap FILE --vst3 BUNDLE [gtest options]
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "core/settings_bytes.h"
#include "core/settings_table.h"
#include "tests/core/malformed_messages.h"
#include "tests/filter/heap_watch.h"
#include "tests/plugins/edition.h"
#include "tests/plugins/heap_in_use.h"
#include "tools/host/clap_host.h"
#include "tools/host/vst3_host.h"

namespace {

std::string g_clapPath, g_vst3Path;

using Messages = std::vector<TimedMessage>;

// The settings stream of a new filter, byte for byte.
const std::vector<std::uint8_t> kDefaultState = {
    0x9A, 0xE0, 0x25, 0xB8, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x30, 0x00, 0x00, 0x00,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x55, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x60, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00,
    0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00,
};

std::vector<std::uint8_t> StateWith(std::size_t cell, std::uint32_t value, std::vector<std::uint8_t> state = kDefaultState) {
    for (int i = 0; i < 4; ++i) state[16 + cell * 4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    return state;
}

struct Format {
    const char* name;
    std::function<std::unique_ptr<CEdition>()> open;
};

class Editions : public ::testing::TestWithParam<Format> {
protected:
    void SetUp() override {
        m_edition = GetParam().open();
        m_edition->Make();
    }
    CEdition& Edition() { return *m_edition; }
    bool IsClap() const { return std::string(GetParam().name) == "Clap"; }

    // The master (controller 1 by default) at `value`, alone in a call:
    // whether anything left.
    bool MasterLeaves(std::uint8_t value, std::optional<Transport> transport = std::nullopt) {
        return !Edition().Process(64, {{5, {0xB0, 1, value}}}, transport).empty();
    }

    std::unique_ptr<CEdition> m_edition;
};

TEST_P(Editions, ListsItselfAsPublished) {
    // (format, id or category, features or subcategories): fixed once
    // published, as hosts keep them in their projects.
    const struct {
        const char* format;
        const char* id;
        std::vector<std::string> features;
    } rows[] = {
        {"Clap", "com.quorvane.veltrace", {"note-effect", "utility"}},
        {"Vst3", "Audio Module Class", {"Fx", "Tools"}},
    };
    for (const auto& row : rows) {
        if (row.format != std::string(GetParam().name)) continue;
        EXPECT_EQ(Edition().Id(), row.id);
        EXPECT_EQ(Edition().Features(), row.features);
    }
    EXPECT_EQ(Edition().Name(), "Veltrace");
    EXPECT_EQ(Edition().Vendor(), "Quorvane");
    EXPECT_EQ(Edition().Version(), "1.5.0.1");
    EXPECT_EQ(Edition().MidiPorts(true), 1u);
    EXPECT_EQ(Edition().MidiPorts(false), 1u);
}

TEST_P(Editions, ParametersAreTheSettingsTable) {
    for (std::uint32_t setting = 0; setting < kParamsPerRow; ++setting) {
        const SettingDescription& row = kSettingTable[setting];
        const SettingParameter parameter = Edition().Parameter(setting);
        EXPECT_EQ(parameter.name, row.name) << setting;
        EXPECT_EQ(parameter.minimum, row.minimum) << row.symbol;
        EXPECT_EQ(parameter.maximum, row.maximum) << row.symbol;
        EXPECT_EQ(parameter.defaultValue, row.defaultValue) << row.symbol;
        EXPECT_EQ(Edition().Get(setting), row.defaultValue) << row.symbol;
        EXPECT_TRUE(parameter.automatable) << row.symbol;
        EXPECT_TRUE(parameter.stepped) << row.symbol;
        // Every value reads back from the text shown for it.
        for (std::int32_t value = row.minimum; value <= row.maximum; ++value) {
            const auto text = Edition().Text(setting, value);
            ASSERT_TRUE(text.has_value()) << row.symbol << " " << value;
            EXPECT_EQ(Edition().Value(setting, *text), value) << row.symbol << " '" << *text << "'";
        }
    }
}

TEST_P(Editions, ValuesShowThePropertyPageTexts) {
    const struct {
        std::int32_t mode;
        std::uint32_t setting;
        double value;
        const char* text;
    } rows[] = {
        {ModeAdd, MasterCc, 0, "Pressure"}, {ModeAdd, MasterCc, 74, "74"},      {ModeAdd, ModifierCc, 0, "Pressure"},
        {ModeAdd, EffectAmount, 85, "85%"}, {ModeSub, EffectAmount, 100, "100%"}, {ModeRel64, EffectAmount, 85, "+/- 54"},
        {ModeRel64, EffectAmount, 100, "+/- 64"}, {ModeAdd, HighIn, 96, "96"},   {ModeAdd, Mode, 0, "Add"},
        {ModeAdd, Mode, 1, "Sub"},          {ModeAdd, Mode, 2, "Rel64"},         {ModeAdd, EffectAmount, 84.6, "85%"},
    };
    for (const auto& row : rows) {
        Edition().Change(Mode, 0, row.mode);
        Edition().Process(16, {}, std::nullopt);
        EXPECT_EQ(Edition().Text(row.setting, row.value), std::optional<std::string>(row.text))
            << "setting " << row.setting << " value " << row.value << " mode " << row.mode;
    }
    EXPECT_EQ(Edition().Value(Mode, "rel64"), ModeRel64);
    Edition().Change(Mode, 0, ModeRel64);
    Edition().Process(16, {}, std::nullopt);
    EXPECT_EQ(Edition().Value(EffectAmount, "+/- 54"), 85) << "in Rel64";
    EXPECT_FALSE(Edition().Value(MasterCc, "Aftertouch").has_value());
}

// Defaults: controller 1 is the master, pressure the modifier, Add 85%
// between 0 and 96.
TEST_P(Editions, AParameterChangeAndMidiInOneCall) {
    Edition().Change(Mode, 0, ModeSub);
    const Messages in = {{1, {0xB0, 1, 64}},  {2, {0x90, 60, 100}}, {3, {0xD0, 96}},
                         {4, {0xD0, 96}},     {5, {0xB0, 1, 64}},   {7, {0xE0, 0x21, 0x43}},
                         {8, {0xA0, 60, 33}}, {9, {0x80, 60, 0}}};
    const Messages out = {{1, {0xB0, 1, 64}},       {2, {0x90, 60, 100}}, {3, {0xB0, 1, 9}},
                          {7, {0xE0, 0x21, 0x43}}, {8, {0xA0, 60, 33}},  {9, {0x80, 60, 0}}};
    EXPECT_EQ(Edition().Process(64, in, std::nullopt), out);
    EXPECT_EQ(Edition().Get(Mode), ModeSub);
}

TEST_P(Editions, OtherChannelMessagesPass) {
    // (message, whether VST3 carries it: it has no program change)
    const struct {
        std::vector<std::uint8_t> bytes;
        bool vst3;
    } rows[] = {
        {{0x93, 60, 0}, true},     {{0x83, 61, 127}, true}, {{0xB3, 0, 5}, true},  {{0xB3, 64, 127}, true},
        {{0xE3, 0x7F, 0x7F}, true}, {{0xE3, 0, 0}, true},   {{0xC3, 7}, false},    {{0xA3, 60, 1}, true},
    };
    Messages in, out;
    std::uint32_t frame = 0;
    for (const auto& row : rows) {
        in.push_back({frame, row.bytes});
        if (row.vst3 || IsClap()) out.push_back({frame, row.bytes});
        ++frame;
    }
    EXPECT_EQ(Edition().Process(64, in, std::nullopt), out);
}

TEST_P(Editions, MalformedMessagesAsEveryFaceAnswersThem) {
    // DPF hands VST3's controllers and pressure over as MIDI values it has
    // clamped to 0..127: no data byte of 128 or more reaches the plug-in.
    if (!IsClap()) GTEST_SKIP() << "VST3 carries no plain MIDI";
    Messages in, out;
    std::uint32_t frame = 0;
    for (const MalformedMessage& row : kMalformedMessages) {
        if (row.cutShort) continue;  // a CLAP MIDI event always holds three bytes
        in.push_back({frame, row.in});
        if (!row.out.empty()) out.push_back({frame, row.out});
        ++frame;
    }
    EXPECT_EQ(Edition().Process(64, in, std::nullopt), out);
}

TEST_P(Editions, StateMovesToAnotherInstance) {
    std::vector<std::uint8_t> state;
    ASSERT_TRUE(Edition().SaveState(state));
    EXPECT_EQ(state, kDefaultState);
    const double values[kParamsPerRow] = {7, 11, 80, 3, 127, ModeSub};
    for (std::uint32_t setting = 0; setting < kParamsPerRow; ++setting) Edition().Change(setting, 0, values[setting]);
    Edition().Process(16, {}, std::nullopt);
    ASSERT_TRUE(Edition().SaveState(state));
    EXPECT_EQ(state, StateWith(5, ModeSub, StateWith(4, 127, StateWith(3, 3, StateWith(2, 80, StateWith(1, 11, StateWith(0, 7)))))));
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{64}}) {
        Edition().Make();
        ASSERT_TRUE(Edition().LoadState(state, piece)) << "in pieces of " << piece;
        for (std::uint32_t setting = 0; setting < kParamsPerRow; ++setting)
            EXPECT_EQ(Edition().Get(setting), values[setting]) << setting << ", in pieces of " << piece;
    }
    // The loaded filter runs with them: 11 moves 7 down (Sub 80%).
    EXPECT_EQ(Edition().Process(64, {{0, {0xB0, 7, 100}}, {1, {0xB0, 11, 127}}}, std::nullopt),
              (Messages{{0, {0xB0, 7, 100}}, {1, {0xB0, 7, 20}}}));
}

TEST_P(Editions, AStateNotTheFiltersIsRefusedAndChangesNothing) {
    Edition().Change(EffectAmount, 0, 40);
    Edition().Process(16, {}, std::nullopt);
    std::vector<std::uint8_t> before;
    ASSERT_TRUE(Edition().SaveState(before));
    std::vector<std::uint8_t> shortState(kDefaultState.begin(), kDefaultState.end() - 1), longState = kDefaultState,
        magic = kDefaultState, version2 = kDefaultState;
    longState.push_back(0);
    magic[0] ^= 0xFF;
    version2[4] = 2;
    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
    } rows[] = {
        {"empty", {}},
        {"a byte short", shortState},
        {"a byte long", longState},
        {"another magic", magic},
        {"version 2", version2},
        {"mode 3", StateWith(5, 3)},
        {"amount 101", StateWith(2, 101)},
        {"a negative controller", StateWith(0, 0xFFFFFFFF)},
    };
    for (const auto& row : rows) {
        EXPECT_FALSE(Edition().LoadState(row.bytes, 64)) << row.what;
        std::vector<std::uint8_t> after;
        ASSERT_TRUE(Edition().SaveState(after));
        EXPECT_EQ(after, before) << row.what;
        EXPECT_EQ(Edition().Get(EffectAmount), 40) << row.what;
    }
}

TEST_P(Editions, StartingOverForgetsTheHistoryAndKeepsTheSettings) {
    const struct {
        const char* way;
        std::function<void(CEdition&)> startOver;
    } ways[] = {
        {"reset", [](CEdition& edition) { edition.Reset(); }},
        {"deactivate and activate", [](CEdition& edition) { edition.Reactivate(); }},
    };
    Edition().Change(EffectAmount, 0, 40);
    for (const auto& way : ways) {
        EXPECT_TRUE(MasterLeaves(64)) << way.way;
        EXPECT_FALSE(MasterLeaves(64)) << "a repeat, before " << way.way;
        way.startOver(Edition());
        EXPECT_TRUE(MasterLeaves(64)) << "after " << way.way;
        EXPECT_EQ(Edition().Get(EffectAmount), 40) << way.way;
        MasterLeaves(1);
    }
    // The memories went too: the modifier's last value is 0 again, so 64
    // leaves as 64 (with pressure at 96 it would be moved).
    EXPECT_EQ(Edition().Process(64, {{0, {0xD0, 96}}}, std::nullopt).size(), 1u);
    Edition().Reset();
    EXPECT_EQ(Edition().Process(64, {{0, {0xB0, 1, 64}}}, std::nullopt), (Messages{{0, {0xB0, 1, 64}}}));
}

TEST_P(Editions, TheTransportsStartAndLoopForgetTheMasterSentLast) {
    const struct {
        Transport transport;
        bool leaves;  // the same master value again
        const char* what;
    } rows[] = {
        {{false, 0.0}, true, "first"},          {{false, 0.0}, false, "stopped: a repeat"},
        {{true, 0.0}, true, "start"},           {{true, 0.5}, false, "playing on"},
        {{true, 1.0}, false, "playing on"},     {{true, 0.25}, true, "a loop back"},
        {{true, 3.0}, false, "a jump forward"}, {{false, 3.0}, false, "stop"},
        {{true, 3.0}, true, "start again"},
    };
    for (const auto& row : rows) EXPECT_EQ(MasterLeaves(64, row.transport), row.leaves) << row.what;
}

TEST_P(Editions, AValueBeyondASettingsRangeIsClamped) {
    const struct {
        std::uint32_t setting;
        double value, result;
    } rows[] = {
        {EffectAmount, 1e9, 100}, {EffectAmount, -5, 0}, {Mode, 7, ModeRel64}, {HighIn, 126.6, 127}, {MasterCc, 200, 127},
    };
    for (const auto& row : rows) {
        Edition().Change(row.setting, 0, row.value);
        Edition().Process(16, {}, std::nullopt);
        EXPECT_EQ(Edition().Get(row.setting), row.result) << row.setting << " " << row.value;
    }
}

TEST_P(Editions, CallsWithNothingInThemAreFine) {
    EXPECT_TRUE(Edition().Process(0, {}, std::nullopt).empty());
    EXPECT_TRUE(Edition().Process(64, {}, std::nullopt).empty());
    EXPECT_TRUE(Edition().Process(1, {}, Transport{true, 0.0}).empty());
    EXPECT_TRUE(MasterLeaves(64));
}

TEST_P(Editions, ManyInstancesLeaveNothingBehind) {
    for (int i = 0; i < 20; ++i) Edition().Make();  // whatever the first instances set up once
    const long long before = HeapInUse();
    if (before < 0) GTEST_SKIP() << "the heap cannot be measured here (Wine): the Linux runs check it";
    for (int i = 0; i < 300; ++i) {
        Edition().Make();
        MasterLeaves(static_cast<std::uint8_t>(i & 0x7F));
    }
    Edition().Destroy();
    Edition().Make();
    EXPECT_LT(HeapInUse() - before, kHeapNoise) << "bytes still held after 300 instances";
}

// Events a host should not send, among good ones: each bad one is skipped,
// read no further than its header (the sanitizers watch), and the good ones
// go through at their frames, those beyond the call at its last frame.
TEST(EditionCycles, ClapSkipsEventsItCannotReadWhole) {
    CClapLibrary clap(g_clapPath);
    CClapInstance instance(clap, clap.Descriptor().id);
    ASSERT_TRUE(instance.Activate(kSampleRate, kMaxFrames) && instance.StartProcessing());
    // Each bad event in a block of its own size, so a read past it is seen.
    std::vector<std::unique_ptr<std::uint8_t[]>> blocks;
    const auto event = [&](std::uint32_t size, std::uint32_t time, std::uint16_t space, std::uint16_t type) {
        blocks.emplace_back(new std::uint8_t[size]());
        clap_event_header_t header{size, time, space, type, 0};
        std::memcpy(blocks.back().get(), &header, sizeof header);
        return reinterpret_cast<const clap_event_header_t*>(blocks.back().get());
    };
    const clap_event_midi_t master = ClapMidiEvent(0, 0xB0, 1, 64), pressure = ClapMidiEvent(7, 0xD0, 96, 0),
                            late = ClapMidiEvent(500, 0xB0, 1, 5), otherPort = [] {
                                clap_event_midi_t midi = ClapMidiEvent(4, 0xB0, 1, 90);
                                midi.port_index = 1;
                                return midi;
                            }();
    const auto parameter = [&](clap_id id, std::uint32_t size) {
        auto* const change = reinterpret_cast<clap_event_param_value_t*>(
            const_cast<clap_event_header_t*>(event(sizeof(clap_event_param_value_t), 5, 0, CLAP_EVENT_PARAM_VALUE)));
        change->param_id = id;
        change->value = 2;
        change->header.size = size;
        return &change->header;
    };
    const std::vector<const clap_event_header_t*> events = {
        &master.header,
        event(sizeof(clap_event_header_t), 1, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI),       // a MIDI event cut short
        event(sizeof(clap_event_header_t), 2, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_NOTE_ON),    // a note cut short
        event(sizeof(clap_event_midi_t), 2, 7, CLAP_EVENT_MIDI),                               // another event space
        event(sizeof(clap_event_header_t), 3, CLAP_CORE_EVENT_SPACE_ID, 999),                  // a type of no one's
        event(sizeof(clap_event_param_gesture_t), 3, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_GESTURE_BEGIN),
        &otherPort.header,
        parameter(0, sizeof(clap_event_param_value_t)),   // the placeholder
        parameter(99, sizeof(clap_event_param_value_t)),  // no parameter
        parameter(6, 20),                                 // Mode, cut short
        &pressure.header,
        &late.header,
    };
    std::vector<ClapMidiOut> out;
    EXPECT_EQ(instance.Process(64, events, nullptr, out), CLAP_PROCESS_CONTINUE);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].frame, 0u);
    EXPECT_EQ(out[0].data[2], 64);
    EXPECT_EQ(out[1].frame, 7u);
    EXPECT_EQ(out[1].data[2], 118) << "Add, as before: Mode did not change";
    EXPECT_EQ(out[2].frame, 63u) << "beyond the call: its last frame";
    EXPECT_EQ(out[2].data[2], 109) << "5 lifted by the pressure";
}

TEST(EditionCycles, Vst3TakesWhatAHostShouldNotSend) {
    CVst3Library vst3(g_vst3Path);
    CVst3Instance instance(vst3);
    std::vector<Vst3MidiOut> out;
    EXPECT_EQ(instance.Process(64, {}, nullptr, out), V3_NOT_INITIALIZED) << "before the processing is set up";
    v3_process_setup setup{V3_REALTIME, V3_SAMPLE_32, 0, kSampleRate};
    EXPECT_NE(v3_cpp_obj(instance.Processor())->setup_processing(instance.Processor(), &setup), V3_OK) << "a block of no frames";
    ASSERT_TRUE(instance.Setup(kSampleRate, 256) && instance.SetActive(true) && instance.SetProcessing(true));

    Vst3Input input;
    const auto midi = [&](std::int32_t frame, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        const std::uint8_t bytes[3] = {status, data1, data2};
        ASSERT_TRUE(instance.AddMidi(input, frame, bytes, (status & 0xF0) == 0xD0 ? 2 : 3));
    };
    midi(-5, 0xB0, 1, 64);     // before the call: at its start
    midi(300, 0xD0, 96, 0);    // a call longer than announced: cut, each piece in order
    midi(900, 0x90, 60, 100);
    midi(5000, 0xB0, 1, 7);    // beyond the call: at its last frame
    v3_param_id first = 0;
    ASSERT_TRUE(instance.MidiParameter(0, 0, first));
    input.points.push_back({first + 16 * 130, 10, 0.5});      // the placeholder
    input.points.push_back({first + 16 * 130 + 99, 11, 0.5});  // no parameter
    v3_event elsewhere{};
    elsewhere.bus_index = 3;  // a bus the plug-in does not have
    elsewhere.sample_offset = 12;
    elsewhere.type = V3_EVENT_NOTE_ON;
    elsewhere.note_on = {0, 61, 0.0f, 0.5f, 0, -1};
    input.events.push_back(elsewhere);
    EXPECT_EQ(instance.Process(1000, input, nullptr, out), V3_OK);
    ASSERT_EQ(out.size(), 4u);
    const std::int32_t frames[] = {0, 300, 900, 999};
    const std::uint8_t values[] = {64, 118, 100, 109};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(out[i].frame, frames[i]) << i;
        EXPECT_EQ(out[i].data[2], values[i]) << i;
    }
    // Values beyond 0..1 are taken as the nearest end: the wheel at 0 (lifted
    // by the pressure, still at 96), the pressure at 0, the wheel at 127.
    Vst3Input beyond;
    v3_param_id wheel = 0, pressure = 0;
    ASSERT_TRUE(instance.MidiParameter(0, 1, wheel) && instance.MidiParameter(0, 128, pressure));
    beyond.points = {{wheel, 0, -3.0}, {pressure, 1, -1.0}, {wheel, 2, 9.0}};
    out.clear();
    instance.Process(64, beyond, nullptr, out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].data[2], 108);
    EXPECT_EQ(out[1].data[2], 0);
    EXPECT_EQ(out[2].data[2], 127);
}

// A cycle allocates nothing: through each format's host with its lists
// made beforehand, after a first cycle in which everything grew.
TEST(EditionCycles, AllocateNothing) {
#ifdef _WIN32
    GTEST_SKIP() << "a plug-in's allocations are its runtime's own here: the Linux runs count them";
#else
    std::vector<clap_event_midi_t> midi;
    std::vector<const clap_event_header_t*> events;
    for (std::uint32_t frame = 0; frame < 200; ++frame)
        midi.push_back(ClapMidiEvent(frame, frame % 3 == 0 ? 0x90 : frame % 3 == 1 ? 0xB0 : 0xD0, 1, static_cast<std::uint8_t>(frame & 0x7F)));
    for (const clap_event_midi_t& event : midi) events.push_back(&event.header);
    const clap_event_transport_t transport = ClapTransport(true, 0.0);
    std::vector<ClapMidiOut> clapOut;
    clapOut.reserve(1000);
    CClapLibrary clap(g_clapPath);
    CClapInstance clapInstance(clap, clap.Descriptor().id);
    ASSERT_TRUE(clapInstance.Activate(kSampleRate, kMaxFrames) && clapInstance.StartProcessing());

    CVst3Library vst3(g_vst3Path);
    CVst3Instance vst3Instance(vst3);
    ASSERT_TRUE(vst3Instance.Setup(kSampleRate, kMaxFrames) && vst3Instance.SetActive(true) && vst3Instance.SetProcessing(true));
    Vst3Input input;
    for (std::uint32_t frame = 0; frame < 200; ++frame) {
        const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(frame % 3 == 0 ? 0x90 : frame % 3 == 1 ? 0xB0 : 0xD0), 1,
                                       static_cast<std::uint8_t>(frame & 0x7F)};
        vst3Instance.AddMidi(input, static_cast<std::int32_t>(frame), bytes, (bytes[0] & 0xF0) == 0xD0 ? 2 : 3);
    }
    v3_process_context context = Vst3Transport(true, 0, kSampleRate);
    std::vector<Vst3MidiOut> vst3Out;
    vst3Out.reserve(1000);

    const auto cycles = [&](int count) {
        for (int i = 0; i < count; ++i) {
            clapOut.clear();
            vst3Out.clear();
            clapInstance.Process(256, events, &transport, clapOut);
            vst3Instance.Process(256, input, &context, vst3Out);
        }
    };
    cycles(1);
    const long before = HeapAllocations();
    cycles(50);
    EXPECT_EQ(HeapAllocations() - before, 0);
    EXPECT_FALSE(clapOut.empty());
    EXPECT_FALSE(vst3Out.empty());
#endif
}

INSTANTIATE_TEST_SUITE_P(, Editions,
                         ::testing::Values(Format{"Clap", [] { return OpenClapEdition(g_clapPath); }},
                                           Format{"Vst3", [] { return OpenVst3Edition(g_vst3Path); }}),
                         [](const ::testing::TestParamInfo<Format>& info) { return std::string(info.param.name); });

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--clap") == 0) g_clapPath = argv[i + 1];
        if (std::strcmp(argv[i], "--vst3") == 0) g_vst3Path = argv[i + 1];
    }
    if (g_clapPath.empty() || g_vst3Path.empty()) {
        std::fprintf(stderr, "usage: edition_tests --clap FILE --vst3 BUNDLE [gtest options]\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
