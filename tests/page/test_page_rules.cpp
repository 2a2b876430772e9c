// The page's window-free rules: label texts, which labels a setting sets,
// both stepping tables, and the value one scroll notification asks for.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/settings_table.h"
#include "page/page_rules.h"

// A label as a failing check shows it.
std::ostream& operator<<(std::ostream& out, const ValueLabel& label) {
    return out << "label " << label.index << " \"" << label.text << "\"";
}

namespace {

constexpr auto kNone = std::nullopt;

TEST(PageRules, SettingLabels) {
    struct Case {
        std::uint32_t index;
        std::int32_t value;
        std::int32_t mode;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {MasterCc, 0, ModeAdd, "Pressure"},     {MasterCc, 1, ModeAdd, "1"},
        {MasterCc, -4, ModeAdd, "Pressure"},    {ModifierCc, 0, ModeSub, "Pressure"},
        {ModifierCc, 127, ModeSub, "127"},      {EffectAmount, 85, ModeAdd, "85%"},
        {EffectAmount, 85, ModeSub, "85%"},     {EffectAmount, 85, ModeRel64, "+/- 54"},
        {EffectAmount, 100, ModeRel64, "+/- 64"}, {EffectAmount, 1, ModeRel64, "+/- 0"},
        {EffectAmount, 0, ModeAdd, "0%"},       {EffectAmount, 0, ModeRel64, "+/- 0"},
        {EffectAmount, 250, ModeAdd, "250%"},   {EffectAmount, 250, ModeRel64, "+/- 160"},
        {EffectAmount, 250, 3, "250%"},         {EffectAmount, -85, ModeRel64, "+/- -54"},
        {EffectAmount, INT32_MAX, ModeRel64, "+/- 1374389534"},
        {LowIn, 0, ModeAdd, "0"},               {HighIn, -7, ModeAdd, "-7"},
        {Mode, ModeAdd, ModeAdd, "Add"},        {Mode, ModeSub, ModeAdd, "Sub"},
        {Mode, ModeRel64, ModeAdd, "Rel64"},    {Mode, 3, ModeAdd, kNone},
        {Mode, -1, ModeAdd, kNone},             {6, 1, ModeAdd, kNone},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SettingValueText(c.index, c.value, c.mode), c.text)
            << "index " << c.index << " value " << c.value << " mode " << c.mode;
}

TEST(PageRules, AssignLabels) {
    const std::pair<std::int32_t, const char*> cases[] = {{128, "Off"}, {0, "Off"}, {1, "1"},
                                                          {127, "127"}, {129, "129"}, {-3, "-3"}};
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index)
        for (const auto& [value, text] : cases) EXPECT_EQ(AssignLabelText(index, value), text) << value;
}

struct StepCase {
    int code;
    std::int32_t current;
    std::int32_t position;
    std::optional<std::int32_t> result;
};

TEST(PageRules, SliderSteps) {
    // Upper bound 100, as for the effect amount.
    const StepCase cases[] = {
        {0, 50, 0, 49},    {0, 0, 0, kNone},   {2, 50, 90, 49},   {2, 0, 0, kNone},     // one step down, never a page
        {1, 50, 0, 51},    {1, 100, 0, kNone}, {3, 50, 10, 51},   {3, 100, 0, kNone},   // one step up
        {5, 50, 60, 60},   {5, 50, 0, 0},      {5, 50, 100, 100}, {5, 50, 101, kNone},  // the thumb while dragged
        {5, 50, -1, kNone},
        {4, 50, 60, kNone}, {6, 50, 0, kNone}, {7, 50, 100, kNone}, {8, 50, 60, kNone}, {9, 50, 60, kNone},
        {0, 250, 0, 249},  {1, 250, 0, kNone}, {1, -5, 0, -4},    {0, -5, 0, kNone},    // stored out of bounds
    };
    for (const StepCase& c : cases)
        EXPECT_EQ(StepSetting(c.code, c.current, c.position, 100), c.result)
            << "code " << c.code << " at " << c.current << " position " << c.position;
    EXPECT_EQ(StepSetting(5, 1, 60, 2), kNone) << "thumb at 60 on the mode slider";
}

TEST(PageRules, SpinSteps) {
    // Upper bound 128, as for every assignment.
    const StepCase cases[] = {
        {0, 50, 0, 51},    {0, 128, 0, kNone}, {2, 50, 0, 51},    {6, 50, 0, 51},    {6, 128, 0, kNone},
        {1, 50, 0, 49},    {1, 0, 0, kNone},   {3, 50, 0, 49},    {7, 50, 0, 49},    {7, 0, 0, kNone},
        {4, 50, 128, 128}, {4, 50, 129, kNone}, {4, 50, -1, kNone}, {5, 50, 0, 0},   {5, 50, 129, kNone},
        {8, 50, 60, kNone}, {9, 50, 60, kNone},
        {1, 300, 0, 299},  {0, 300, 0, kNone}, {0, -2, 0, -1},
    };
    for (const StepCase& c : cases)
        EXPECT_EQ(StepAssign(c.code, c.current, c.position, 128), c.result)
            << "code " << c.code << " at " << c.current << " position " << c.position;
}

TEST(PageRules, ScrolledValuesStepFromTheStoredCellWithinItsOwnBounds) {
    struct Case {
        ParamRow row;
        std::uint32_t index;
        int code;
        std::int32_t current;
        std::int32_t position;
        std::optional<std::int32_t> value;
    };
    // Which stepper each row uses, and each setting's own bounds; the
    // steppers' own tables are above.
    const Case cases[] = {
        {SettingRow, Mode, 5, 0, 2, 2},                // the thumb while dragged
        {SettingRow, LowIn, 0, 50, 0, 49},             // code 0 lowers a slider...
        {CcAssignRow, LowIn, 0, 50, 0, 51},            // ...and raises a spin
        {CcAssignRow, HighIn, 4, 128, 128, 128},       // a spin's final position counts
        {SettingRow, HighIn, 5, 96, 127, 127},         // each setting's own bound
        {SettingRow, EffectAmount, 5, 85, 101, kNone},
        {SettingRow, Mode, 1, 2, 0, kNone},
        {SettingRow, Mode, 5, 0, 60, kNone},
        {CcAssignRow, Mode, 0, 127, 0, 128},
        {CcAssignRow, MasterCc, 0, 128, 0, kNone},
        {CcAssignRow, MasterCc, 4, 128, 129, kNone},
        {SettingRow, ModifierCc, 0, 0, 0, kNone},      // already at 0
        {SettingRow, HighIn, 4, 96, 10, kNone},        // a slider's final position does not
        {SettingRow, 6, 1, 0, 0, kNone},               // not a setting
        {CcAssignRow, 6, 0, 0, 0, kNone},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScrolledValue(c.row, c.index, c.code, c.current, c.position), c.value)
            << "row " << c.row << " index " << c.index << " code " << c.code << " at " << c.current << " position "
            << c.position;
}

TEST(PageRules, SettingLabelsFollowTheStoredModeAndSkipUnknownModes) {
    using Labels = std::vector<ValueLabel>;
    struct Case {
        std::uint32_t index;
        std::int32_t value, storedMode, storedAmount;
        Labels labels;
    };
    const Case cases[] = {
        {EffectAmount, 86, ModeAdd, 86, {{EffectAmount, "86%"}}},
        {EffectAmount, 100, ModeRel64, 85, {{EffectAmount, "+/- 64"}}},  // the value shown, not the stored one
        {MasterCc, 0, ModeAdd, 85, {{MasterCc, "Pressure"}}},
        {HighIn, 127, ModeRel64, 85, {{HighIn, "127"}}},
        // The mode relabels the amount in the stored mode's form.
        {Mode, ModeRel64, ModeRel64, 85, {{Mode, "Rel64"}, {EffectAmount, "+/- 54"}}},
        {Mode, ModeAdd, ModeAdd, 100, {{Mode, "Add"}, {EffectAmount, "100%"}}},
        {Mode, ModeSub, ModeRel64, 85, {{Mode, "Sub"}, {EffectAmount, "+/- 54"}}},
        // A mode with no name keeps its label; the amount still follows it.
        {Mode, 3, 3, 85, {{EffectAmount, "85%"}}},
        {EffectAmount, 85, 3, 85, {{EffectAmount, "85%"}}},
        {6, 1, ModeAdd, 85, {}},
        {6, 1, ModeRel64, 85, {}},
    };
    for (const Case& c : cases) {
        const CValueLabels labels = SettingLabels(c.index, c.value, c.storedMode, c.storedAmount);
        EXPECT_EQ(Labels(labels.begin(), labels.end()), c.labels)
            << "index " << c.index << " value " << c.value << " stored mode " << c.storedMode;
    }
}

}  // namespace
