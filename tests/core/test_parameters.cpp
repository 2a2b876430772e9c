// The parameter table, its bounds and the modulation rule.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>

#include "core/filter_core.h"
#include "core/parameters.h"
#include "reference_rule.h"

TEST(ParamTable, NewFilterHoldsTheDefaults) {
    CFilterCore core;
    const int settings[] = {1, 0, 85, 0, 96, 0};
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) {
        EXPECT_EQ(core.GetParam(SettingRow, index), settings[index]) << "setting " << index;
        EXPECT_EQ(core.GetParam(CcAssignRow, index), 128) << "assignment " << index;
    }
    EXPECT_EQ(core.LastMaster(), 0);
    EXPECT_EQ(core.LastModifier(), 0);
    EXPECT_EQ(core.LastEventOut(), -1);
    EXPECT_EQ(core.LastInputOut(), -1);
}

TEST(ParamTable, Bounds) {
    EXPECT_EQ(GetParamMax(0, 0), 127);
    EXPECT_EQ(GetParamMax(0, 1), 127);
    EXPECT_EQ(GetParamMax(0, 2), 100);
    EXPECT_EQ(GetParamMax(0, 3), 127);
    EXPECT_EQ(GetParamMax(0, 4), 127);
    EXPECT_EQ(GetParamMax(0, 5), 2);
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) EXPECT_EQ(GetParamMax(1, index), 128);
    EXPECT_EQ(GetParamMax(2, 0), 0);
    EXPECT_EQ(GetParamMax(UINT32_MAX, 0), 0);
    for (std::uint32_t row = 0; row < 3; ++row)
        for (std::uint32_t index = 0; index < kParamsPerRow; ++index) EXPECT_EQ(GetParamMin(row, index), 0);
}

TEST(ParamTable, StoresAnyValueWithoutClamping) {
    CFilterCore core;
    core.SetParam(SettingRow, EffectAmount, 250);
    EXPECT_EQ(core.GetParam(SettingRow, EffectAmount), 250);
    core.SetParam(CcAssignRow, 5, INT32_MIN);
    EXPECT_EQ(core.GetParam(CcAssignRow, 5), INT32_MIN);
    EXPECT_EQ(core.GetParam(CcAssignRow, 4), 128) << "a neighbour changed";
}

TEST(ParamTable, CellsOutsideTheTableAreNeverTouched) {
    CFilterCore core;
    // Cell numbers that a row * 6 + index formula would map into the table,
    // or just past it, must neither read nor write.
    core.SetParam(0, 6, 555);
    core.SetParam(1, 6, 555);
    core.SetParam(2, 0, 555);
    core.SetParam(UINT32_MAX, UINT32_MAX, 555);
    EXPECT_EQ(core.GetParam(0, 6), 0);
    EXPECT_EQ(core.GetParam(2, 0), 0);
    EXPECT_EQ(core.GetParam(UINT32_MAX, 3), 0);
    for (std::uint32_t row = 0; row < kParamRows; ++row)
        for (std::uint32_t index = 0; index < kParamsPerRow; ++index)
            EXPECT_EQ(core.GetParam(row, index), kDefaultParams[row][index]) << row << "," << index;
}

struct WorkedRow {
    int base, modifier, low, high, mode, amount, result;
};

TEST(ModulationRule, WorkedTable) {
    const WorkedRow rows[] = {
        {64, 0, 0, 96, 0, 85, 64},    {64, 48, 0, 96, 0, 85, 91},    {64, 96, 0, 96, 0, 85, 118},
        {64, 127, 0, 96, 0, 85, 118}, {0, 127, 0, 96, 0, 100, 127},  {32, 5, 0, 96, 0, 100, 36},
        {50, 33, 0, 99, 0, 30, 57},   {64, 48, 0, 96, 1, 85, 37},    {95, 5, 0, 96, 1, 100, 91},
        {64, 127, 0, 96, 1, 100, 0},  {64, 0, 0, 96, 2, 85, 10},     {64, 127, 0, 96, 2, 85, 117},
        {64, 63, 0, 96, 2, 85, 64},   {10, 0, 0, 96, 2, 100, 0},     {120, 127, 0, 96, 2, 100, 127},
        {64, 40, 80, 40, 0, 100, 127}, {64, 39, 80, 40, 0, 100, 64}, {64, 64, 64, 64, 0, 100, 127},
        {64, 100, 0, 96, 3, 85, 0},
        // Loaded settings far outside the page's bounds: a sum beyond 32 bits
        // clamps, and a fraction of differences beyond 2^24 is taken in single
        // precision (in double it would give 80).
        {2147483647, 127, 0, 96, 2, 100, 127},
        {16, -336679464, -801133598, -56863680, 0, 93, 81},
    };
    for (const WorkedRow& row : rows) {
        EXPECT_EQ(ComputeModulatedValue(row.base, row.modifier, row.low, row.high, row.mode, row.amount), row.result)
            << "base " << row.base << " modifier " << row.modifier << " low " << row.low << " high " << row.high
            << " mode " << row.mode << " amount " << row.amount;
    }
}

TEST(ModulationRule, Rel64TruncatesTowardZeroBothWays) {
    EXPECT_EQ(ComputeModulatedValue(64, 63, 0, 96, ModeRel64, 85), 64);
    EXPECT_EQ(ComputeModulatedValue(64, 65, 0, 96, ModeRel64, 85), 64);
    EXPECT_EQ(ComputeModulatedValue(64, 64, 0, 96, ModeRel64, 100), 64);
}

TEST(ModulationRule, AmountZeroReturnsTheClampedBase) {
    for (int mode = ModeAdd; mode <= ModeRel64; ++mode)
        for (int base = -3; base <= 130; ++base)
            for (int modifier : {0, 1, 63, 64, 65, 96, 127, 200})
                EXPECT_EQ(ComputeModulatedValue(base, modifier, 0, 96, mode, 0), base < 0 ? 0 : base > 127 ? 127 : base)
                    << "mode " << mode << " base " << base << " modifier " << modifier;
}

TEST(ModulationRule, UnknownModeGivesZero) {
    for (int mode : {3, 4, -1, INT32_MIN, INT32_MAX})
        for (int base : {0, 64, 127}) EXPECT_EQ(ComputeModulatedValue(base, 100, 0, 96, mode, 85), 0) << mode;
}

TEST(ModulationRule, MatchesTheRuleOverEveryInRangeSetting) {
    // Bases and modifiers a little beyond 0..127, every mode, and a grid of
    // amounts and input ranges: the fast rule and the literal rule agree.
    for (int mode = ModeAdd; mode <= ModeRel64; ++mode)
        for (int amount : {0, 1, 30, 50, 85, 99, 100})
            for (int low : {0, 10, 64, 127})
                for (int high : {0, 40, 96, 127})
                    for (int base = -2; base <= 129; ++base)
                        for (int modifier = -2; modifier <= 129; ++modifier) {
                            const auto expected = ReferenceRule(base, modifier, low, high, mode, amount);
                            ASSERT_TRUE(expected.has_value());
                            ASSERT_EQ(ComputeModulatedValue(base, modifier, low, high, mode, amount), *expected)
                                << base << " " << modifier << " " << low << " " << high << " " << mode << " " << amount;
                        }
}

TEST(ModulationRule, AnyThirtyTwoBitArgumentsStayInMidiRange) {
    // Loaded settings may hold anything. Mix uniform 32-bit draws with the
    // values where arithmetic tends to break; the sanitizers watch for
    // overflow and out-of-range conversions meanwhile.
    std::mt19937 random(20261208);
    const std::int32_t edges[] = {INT32_MIN, INT32_MIN + 1, -129, -1, 0, 1, 63, 64, 65, 127, 128, INT32_MAX - 1, INT32_MAX};
    std::uniform_int_distribution<std::int64_t> any(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<int> pick(0, 3);
    auto draw = [&]() -> std::int32_t {
        if (pick(random) == 0) return edges[static_cast<size_t>(random() % std::size(edges))];
        return static_cast<std::int32_t>(any(random));
    };
    int compared = 0;
    for (int draws = 0; draws < 400000; ++draws) {
        const std::int32_t base = draw(), modifier = draw(), low = draw(), high = draw(), amount = draw();
        const std::int32_t mode = static_cast<std::int32_t>(random() % 4);
        const std::int32_t result = ComputeModulatedValue(base, modifier, low, high, mode, amount);
        ASSERT_GE(result, 0);
        ASSERT_LE(result, 127);
        if (const auto expected = ReferenceRule(base, modifier, low, high, mode, amount)) {
            ++compared;
            ASSERT_EQ(result, *expected) << base << " " << modifier << " " << low << " " << high << " " << mode
                                         << " " << amount;
        }
    }
    EXPECT_GT(compared, 1000) << "too few draws stayed in range to compare";
}

// The published face of every setting: what hosts, saved sessions and
// scripts already know. Changing a row here is changing the product.
TEST(SettingsTable, RowsAsPublished) {
    struct Row {
        const char *symbol, *name, *option, *unit;
        std::int32_t minimum, maximum, defaultValue;
        SettingDisplay display;
    };
    const Row rows[kParamsPerRow] = {
        {"master_cc", "Master CC", "master", "", 0, 127, 1, SettingDisplay::Controller},
        {"modifier_cc", "Modifier CC", "modifier", "", 0, 127, 0, SettingDisplay::Controller},
        {"effect_amount", "Effect Amount", "amount", "%", 0, 100, 85, SettingDisplay::Amount},
        {"low_in", "Low In Value", "low", "", 0, 127, 0, SettingDisplay::Number},
        {"high_in", "High In Value", "high", "", 0, 127, 96, SettingDisplay::Number},
        {"mode", "Mode", "mode", "", 0, 2, 0, SettingDisplay::ModeName},
    };
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) {
        const SettingDescription& setting = kSettingTable[index];
        const Row& row = rows[index];
        EXPECT_STREQ(setting.symbol, row.symbol) << index;
        EXPECT_STREQ(setting.name, row.name) << index;
        EXPECT_STREQ(setting.option, row.option) << index;
        EXPECT_STREQ(setting.unit, row.unit) << index;
        EXPECT_EQ(setting.minimum, row.minimum) << index;
        EXPECT_EQ(setting.maximum, row.maximum) << index;
        EXPECT_EQ(setting.defaultValue, row.defaultValue) << index;
        EXPECT_EQ(setting.display, row.display) << index;
        EXPECT_EQ(GetParamMin(SettingRow, index), row.minimum) << index;
        EXPECT_EQ(GetParamMax(SettingRow, index), row.maximum) << index;
    }
    EXPECT_STREQ(kModeNames[ModeAdd], "Add");
    EXPECT_STREQ(kModeNames[ModeSub], "Sub");
    EXPECT_STREQ(kModeNames[ModeRel64], "Rel64");

    struct Preset {
        const char *key, *label;
        std::int32_t values[kParamsPerRow];
    };
    const Preset presets[] = {
        {"pressure-lifts-wheel", "Pressure lifts the mod wheel", {1, 0, 100, 0, 127, 0}},
        {"breath-swells-wheel", "Breath swells the mod wheel", {1, 2, 75, 16, 112, 0}},
        {"expression-ducks-volume", "Expression pedal ducks volume", {7, 11, 80, 0, 127, 1}},
        {"aftertouch-bends-brightness", "Aftertouch bends brightness both ways", {74, 0, 60, 0, 127, 2}},
    };
    ASSERT_EQ(kPresetCount, std::size(presets));
    for (std::uint32_t preset = 0; preset < kPresetCount; ++preset) {
        EXPECT_STREQ(kPresets[preset].key, presets[preset].key);
        EXPECT_STREQ(kPresets[preset].label, presets[preset].label);
        for (std::uint32_t index = 0; index < kParamsPerRow; ++index) {
            EXPECT_EQ(kPresets[preset].values[index], presets[preset].values[index]) << presets[preset].label;
            EXPECT_TRUE(SettingInRange(index, kPresets[preset].values[index])) << presets[preset].label;
        }
    }
}

TEST(SettingsTable, HostValuesAreRoundedIntoTheBoundsAndNonFiniteOnesKeepTheSetting) {
    struct Case {
        std::uint32_t index;
        double value;
        std::int32_t current, result;
    };
    const Case cases[] = {
        {EffectAmount, 42.0, 85, 42},   {EffectAmount, 42.49, 85, 42},  {EffectAmount, 42.5, 85, 43},
        {EffectAmount, 100.4, 85, 100}, {EffectAmount, 1e30, 85, 100},  {EffectAmount, -0.6, 85, 0},
        {Mode, 2.7, 0, 2},              {Mode, -1e300, 1, 0},           {MasterCc, 127.5, 1, 127},
        {MasterCc, NAN, 7, 7},          {HighIn, INFINITY, 96, 96},     {LowIn, -INFINITY, 3, 3},
        {kParamsPerRow, 5.0, 9, 9},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SettingFromHostValue(c.index, c.value, c.current), c.result) << c.index << " " << c.value;
}

TEST(SettingsTable, OneMessageForASettingOutOfRange) {
    EXPECT_EQ(SettingOutOfRangeMessage(EffectAmount, 101), "the settings hold 101 for Effect Amount; the plug-in's control takes 0..100");
    EXPECT_EQ(SettingOutOfRangeMessage(Mode, -3), "the settings hold -3 for Mode; the plug-in's control takes 0..2");
    EXPECT_TRUE(SettingInRange(Mode, 2));
    EXPECT_FALSE(SettingInRange(Mode, 3));
    EXPECT_FALSE(SettingInRange(LowIn, -1));
    EXPECT_FALSE(SettingInRange(kParamsPerRow, 0));
}

TEST(SettingsTable, TextsReadBackAsTheValuesTheyShow) {
    struct Case {
        std::uint32_t index;
        const char* text;
        std::int32_t mode;
        std::optional<std::int32_t> value;
    };
    const Case cases[] = {
        {MasterCc, "Pressure", ModeAdd, 0},   {MasterCc, " pressure ", ModeAdd, 0}, {MasterCc, "74", ModeAdd, 74},
        {MasterCc, "128", ModeAdd, {}},       {MasterCc, "-1", ModeAdd, {}},        {MasterCc, "", ModeAdd, {}},
        {EffectAmount, "85%", ModeAdd, 85},   {EffectAmount, "85", ModeSub, 85},    {EffectAmount, "+/- 54", ModeRel64, 85},
        {EffectAmount, "+/- 64", ModeRel64, 100}, {EffectAmount, "+/- 54", ModeAdd, {}}, {EffectAmount, "101%", ModeAdd, {}},
        {Mode, "rel64", ModeAdd, ModeRel64},  {Mode, "Sub", ModeRel64, ModeSub},    {Mode, "Mul", ModeAdd, {}},
        {Mode, "1", ModeAdd, ModeSub},        {HighIn, "9999999999", ModeAdd, {}}, {kParamsPerRow, "1", ModeAdd, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(SettingFromText(c.index, c.text, c.mode), c.value) << c.index << " '" << c.text << "'";
}
