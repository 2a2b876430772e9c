// What the DPF editions' own parts do, without DPF: the runs a VST3 call's
// MIDI is cut into, and the state in its two forms.
#include <gtest/gtest.h>

#include <string>

#include "dpf/settings_state.h"
#include "dpf/vst3_runs.h"

namespace {

// "E3" is an event at frame 3, "P3" a point at frame 3.
std::vector<Vst3MidiItem> Items(const std::vector<std::string>& words) {
    std::vector<Vst3MidiItem> items;
    for (const std::string& word : words) items.push_back({std::stoi(word.substr(1)), word[0] == 'E'});
    return items;
}

// The runs of a call, as [end, next) pairs from the start.
std::vector<std::pair<std::size_t, std::size_t>> Runs(const std::vector<Vst3MidiItem>& items, std::size_t capacity) {
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (std::size_t first = 0; first < items.size();) {
        const Vst3Run run = RunFrom(items.data(), first, items.size(), capacity);
        runs.emplace_back(run.end, run.next);
        if (run.next <= first) break;  // no progress: a fault
        first = run.next;
    }
    return runs;
}

TEST(Vst3Runs, ACallIsCutWhereDpfWouldPutAMessageOutOfOrder) {
    const struct {
        std::vector<std::string> items;
        std::size_t capacity;
        std::vector<std::pair<std::size_t, std::size_t>> runs;
    } rows[] = {
        {{"E0", "E1", "E2"}, 512, {{3, 3}}},
        {{"P0", "P1", "P2", "P7"}, 512, {{4, 4}}},                 // points each in a queue of their own
        {{"E0", "E1", "P1", "P5"}, 512, {{4, 4}}},                 // events, then points
        {{"E0", "P1", "E2"}, 512, {{2, 2}, {3, 3}}},               // an event after a point
        {{"P0", "E1"}, 512, {{1, 1}, {2, 2}}},
        {{"P0", "E1", "E1", "P2", "E3"}, 512, {{1, 1}, {4, 4}, {5, 5}}},
        {{"E0", "P0", "E0", "P0"}, 512, {{4, 4}}},                 // one frame: events before points
        {{"P1", "E1", "P2", "E2"}, 512, {{2, 2}, {4, 4}}},         // cut where the later frame begins
        {{"E0", "E1", "E2"}, 2, {{2, 2}, {3, 3}}},                 // full
        {{"E0", "E1", "E1"}, 2, {{1, 1}, {3, 3}}},                 // full within a frame: cut before it
        {{"E0", "E0", "E0", "E1"}, 2, {{2, 3}, {4, 4}}},           // a frame beyond the room: its rest left out
        {{}, 512, {}},
    };
    for (const auto& row : rows) {
        std::string what;
        for (const std::string& word : row.items) what += word + " ";
        EXPECT_EQ(Runs(Items(row.items), row.capacity), row.runs) << what << "(room " << row.capacity << ")";
    }
}

const SettingsBytes kDefaultState = {
    0x9A, 0xE0, 0x25, 0xB8, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x30, 0x00, 0x00, 0x00,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x55, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x60, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00,
    0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00,
};

TEST(SettingsState, TheSettingsStreamBothWays) {
    const SettingValues defaults = {1, 0, 85, 0, 96, 0};
    EXPECT_EQ(StateOf(defaults), kDefaultState);
    EXPECT_EQ(SettingsOfState(kDefaultState.data(), kDefaultState.size()), defaults);
    SettingsBytes assigned = kDefaultState;
    assigned[40] = 7;  // an assignment other than none: the settings still read
    EXPECT_EQ(SettingsOfState(assigned.data(), assigned.size()), defaults);

    const auto with = [](std::size_t at, std::uint8_t byte) {
        SettingsBytes bytes = kDefaultState;
        bytes[at] = byte;
        return bytes;
    };
    const struct {
        const char* what;
        SettingsBytes bytes;
        std::size_t size;
    } refused[] = {
        {"63 bytes", kDefaultState, 63}, {"no bytes", kDefaultState, 0}, {"65 bytes", kDefaultState, 65},
        {"magic", with(3, 0), 64},       {"version", with(4, 2), 64},     {"mode 3", with(36, 3), 64},
        {"amount 101", with(24, 101), 64}, {"master -1", with(19, 0xFF), 64},
    };
    for (const auto& row : refused) {
        std::vector<std::uint8_t> bytes(row.bytes.begin(), row.bytes.end());
        bytes.resize(row.size, 0);
        EXPECT_FALSE(SettingsOfState(bytes.data(), bytes.size()).has_value()) << row.what;
    }
    EXPECT_FALSE(SettingsOfState(nullptr, 64).has_value());
}

TEST(SettingsState, DpfsStateTextBothWays) {
    const SettingValues values = {7, 0, 100, 3, 127, 2};
    const std::string text = DpfStateOf(values);
    EXPECT_EQ(SettingsOfDpfState(text.data(), text.size()), values);
    // DPF's words, each ended by NUL.
    const auto words = [](std::initializer_list<const char*> list) {
        std::string text;
        for (const char* word : list) text += std::string(word) + '\0';
        return text;
    };
    const std::string begin = words({"__dpf_parameters_begin__"}), end = words({"__dpf_parameters_end__"});
    const std::string pairs = words({"master_cc", "7", "modifier_cc", "0", "effect_amount", "100", "low_in", "3", "high_in",
                                     "127", "mode", "2"});
    const std::string rest = pairs.substr(pairs.find("modifier_cc"));
    EXPECT_EQ(text, begin + pairs + end + "\xfe" + '\0');
    const std::string withProgram = words({"__dpf_program__", "0"}) + begin + pairs + end + "\xfe";
    EXPECT_EQ(SettingsOfDpfState(withProgram.data(), withProgram.size()), values) << "DPF's program before the parameters";
    const std::string withPlaceholder = begin + words({"unused", "0"}) + pairs + end + "\xfe";
    EXPECT_EQ(SettingsOfDpfState(withPlaceholder.data(), withPlaceholder.size()), values) << "DPF's placeholder";
    const struct {
        const char* what;
        std::string text;
    } refused[] = {
        {"no end mark", begin + pairs + end},
        {"a setting missing", begin + pairs.substr(0, pairs.find("mode")) + end + "\xfe"},
        {"one twice", begin + pairs + words({"mode", "1"}) + end + "\xfe"},
        {"beyond its bounds", begin + words({"master_cc", "128"}) + rest + end + "\xfe"},
        {"not a number", begin + words({"master_cc", "7x"}) + rest + end + "\xfe"},
        {"beyond 32 bits", begin + words({"master_cc", "4294967303"}) + rest + end + "\xfe"},
        {"an unknown one", begin + pairs + words({"gain", "1"}) + end + "\xfe"},
        {"a word cut off", begin + "master_cc"},
    };
    for (const auto& row : refused) EXPECT_FALSE(SettingsOfDpfState(row.text.data(), row.text.size()).has_value()) << row.what;
}

}  // namespace
