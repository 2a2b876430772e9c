// The core through its own door: the form of each kind of message that
// leaves, the memories across calls and after a start or a fresh activation,
// and the settings' 64-byte format.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/settings_bytes.h"
#include "tests/core/core_paths.h"

namespace {

struct Bytes3 {
    std::uint8_t status, data1, data2;
    bool operator==(const Bytes3& other) const {
        return status == other.status && data1 == other.data1 && data2 == other.data2;
    }
};
std::ostream& operator<<(std::ostream& out, const Bytes3& b) {
    return out << std::hex << int{b.status} << " " << int{b.data1} << " " << int{b.data2};
}

// One message through one call of the sequenced path of a core holding these
// streams (Add, 100%, 0..127); nullopt-like `left` false when dropped.
struct RouteRow {
    const char* what;
    int master, modifier;
    Bytes3 in;
    bool left;
    Bytes3 out;
};

TEST(CoreRoute, EachKindOfMessageLeavesInTheMastersForm) {
    const RouteRow rows[] = {
        {"master controller, channel kept", 1, 0, {0xB5, 1, 64}, true, {0xB5, 1, 64}},
        {"modifier pressure becomes the master controller", 1, 0, {0xD3, 64, 0}, true, {0xB3, 1, 64}},
        {"modifier controller becomes master pressure, one data byte", 0, 11, {0xB2, 11, 64}, true, {0xD2, 64, 0}},
        {"master pressure stays pressure", 0, 11, {0xD9, 40, 0}, true, {0xD9, 40, 0}},
        {"controller 0 is never pressure", 0, 0, {0xB0, 0, 70}, true, {0xB0, 0, 70}},
        {"another controller passes", 1, 0, {0xB0, 7, 100}, true, {0xB0, 7, 100}},
        {"key pressure is no channel pressure", 1, 0, {0xA0, 60, 9}, true, {0xA0, 60, 9}},
        {"a note passes", 1, 0, {0x90, 60, 100}, true, {0x90, 60, 100}},
        {"program change passes", 1, 0, {0xC4, 5, 0}, true, {0xC4, 5, 0}},
        {"pitch wheel passes", 1, 0, {0xE1, 0, 64}, true, {0xE1, 0, 64}},
        {"a real-time byte passes", 1, 0, {0xF8, 0, 0}, true, {0xF8, 0, 0}},
        {"one controller as both streams", 7, 7, {0xB1, 7, 64}, true, {0xB1, 7, 96}},
    };
    for (const RouteRow& row : rows) {
        CFilterCore core;
        SetSettings(core, row.master, row.modifier, 100, 0, 127, ModeAdd);
        Bytes3 message = row.in;
        bool left = false;
        core.Play<FilterPath::Sequenced>(
                  [&](auto& router) { left = router.Route(message.status, message.data1, message.data2); });
        EXPECT_EQ(left, row.left) << row.what;
        if (left) {
            EXPECT_EQ(message, row.out) << row.what;
        }
    }
}

TEST(CoreMemories, SurviveCallsAndStartsButNotAFreshActivation) {
    CFilterCore core;
    using Out = std::vector<Msg>;
    EXPECT_EQ(Pass<SequencedPlay>(core, {PressureMsg(127)}), Out{CcMsg(1, 108)}) << "R(0, 127)";
    EXPECT_EQ(Pass<SequencedPlay>(core, {CcMsg(1, 64)}), Out{CcMsg(1, 118)}) << "the modifier of the call before";
    EXPECT_EQ(Pass<SequencedPlay>(core, {CcMsg(1, 64)}), Out{}) << "a repeat across calls";
    core.ResetLastSent();
    EXPECT_EQ(Pass<SequencedPlay>(core, {CcMsg(1, 64)}), Out{CcMsg(1, 118)}) << "after a start";
    EXPECT_EQ(core.LastModifier(), 127) << "a start keeps what was seen";
    core.ForgetHistory();
    EXPECT_EQ(core.LastMaster(), 0);
    EXPECT_EQ(core.LastModifier(), 0);
    EXPECT_EQ(core.LastEventOut(), -1);
    EXPECT_EQ(core.LastInputOut(), -1);
    EXPECT_EQ(Pass<SequencedPlay>(core, {CcMsg(1, 64)}), Out{CcMsg(1, 64)}) << "as a new filter: modifier 0";
    EXPECT_EQ(core.GetParam(SettingRow, EffectAmount), 85) << "the table stays";
}

TEST(CoreRuleCache, GivesTheRulesResultsAndForgetsThemWhenTheSettingsChange) {
    // One cache through settings that differ in one value at a time, and back:
    // every result is the rule's, including those kept from before.
    const FilterSettings settings[] = {
        {1, 0, 85, 0, 96, ModeAdd},   {1, 0, 85, 0, 96, ModeSub},  {1, 0, 85, 0, 96, ModeRel64},
        {1, 0, 30, 0, 96, ModeRel64}, {1, 0, 30, 10, 96, ModeAdd}, {1, 0, 30, 10, 50, ModeAdd},
        {1, 0, 85, 0, 96, ModeAdd},   {1, 0, 85, 0, 96, 7},
    };
    CRuleCache cache;
    for (const FilterSettings& s : settings) {
        cache.Prepare(s);
        for (const std::int32_t base : {0, 1, 31, 64, 100, 127, 128, 255, -1})
            for (std::int32_t modifier = -1; modifier <= 129; ++modifier)
                ASSERT_EQ(cache(base, modifier), ComputeModulatedValue(base, modifier, s.lowIn, s.highIn, s.mode,
                                                                      s.effectAmount))
                    << "base " << base << " modifier " << modifier << " mode " << s.mode << " amount "
                    << s.effectAmount << " low " << s.lowIn << " high " << s.highIn;
    }
}

// ---- The 64-byte format -------------------------------------------------------

const std::vector<std::uint8_t> kDefaultBytes = {
    0x9A, 0xE0, 0x25, 0xB8, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x30, 0x00, 0x00, 0x00,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x55, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x60, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00,
    0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00,
};

TEST(SettingsBytes, DefaultsEncodeToTheKnownBytesAndBack) {
    const SettingsBytes bytes = EncodeSettings(DefaultSettingsCells());
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), kDefaultBytes);
    SettingsCells cells{};
    const SettingsRead read = DecodeSettings(kDefaultBytes.data(), kDefaultBytes.size(), cells);
    EXPECT_EQ(read.outcome, SettingsOutcome::Loaded);
    EXPECT_EQ(cells, DefaultSettingsCells());
}

TEST(SettingsBytes, DecodingOutcomes) {
    const auto with = [](std::size_t at, std::uint8_t byte, std::size_t size = 64) {
        std::vector<std::uint8_t> bytes = kDefaultBytes;
        bytes[at] = byte;
        bytes.resize(size);
        return bytes;
    };
    struct Row {
        const char* what;
        std::vector<std::uint8_t> bytes;
        SettingsOutcome outcome;
        std::size_t cellsRead;
        std::int32_t amount;  // the EffectAmount cell afterwards (it starts at 7)
    } rows[] = {
        {"whole", with(24, 99), SettingsOutcome::Loaded, 12, 99},
        {"longer: the first 64 bytes", with(24, 99, 80), SettingsOutcome::Loaded, 12, 99},
        {"length fields not looked at", with(8, 0), SettingsOutcome::Loaded, 12, 85},
        {"empty", {}, SettingsOutcome::ShortHeader, 0, 7},
        {"header cut", with(24, 99, 15), SettingsOutcome::ShortHeader, 0, 7},
        {"wrong magic", with(0, 0x9B), SettingsOutcome::WrongMagic, 0, 7},
        {"version 2", with(4, 2), SettingsOutcome::WrongVersion, 0, 7},
        {"cut after two cells", with(24, 99, 24), SettingsOutcome::CutShort, 2, 7},
        {"three bytes of the fourth cell", with(24, 99, 31), SettingsOutcome::CutShort, 3, 99},
        {"first row only", with(24, 99, 40), SettingsOutcome::CutShort, 6, 99},
    };
    for (const Row& row : rows) {
        SettingsCells cells{};
        cells[EffectAmount] = 7;
        const SettingsRead read = DecodeSettings(row.bytes.data(), row.bytes.size(), cells);
        EXPECT_EQ(read.outcome, row.outcome) << row.what;
        EXPECT_EQ(read.cellsRead, row.cellsRead) << row.what;
        EXPECT_EQ(cells[EffectAmount], row.amount) << row.what;
    }
}

TEST(SettingsBytes, CellsOutsideTheControlsRangesAreFound) {
    struct Row {
        std::uint32_t cell;
        std::int32_t value;
        std::optional<std::uint32_t> found;
    } rows[] = {
        {EffectAmount, 100, std::nullopt}, {EffectAmount, 101, EffectAmount}, {Mode, 2, std::nullopt},
        {Mode, 3, Mode},                    {MasterCc, -1, MasterCc},         {HighIn, 128, HighIn},
        {6 + 2, 999, std::nullopt},  // an assignment cell is no control
    };
    for (const Row& row : rows) {
        SettingsCells cells = DefaultSettingsCells();
        cells[row.cell] = row.value;
        EXPECT_EQ(SettingOutOfRange(cells), row.found) << "cell " << row.cell << " = " << row.value;
    }
}

}  // namespace
