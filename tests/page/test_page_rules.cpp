// The page's window-free rules: label texts, both stepping tables, and what
// one scroll notification does to the filter, the flags, the site and the
// labels.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "page/page_rules.h"

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
        EXPECT_EQ(SettingLabelText(c.index, c.value, c.mode), c.text)
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

// A filter table and a page surface that write what happens to one log.
class CRecordingPage final : public CEditedFilter, public CEditorSurface {
public:
    CRecordingPage() {
        for (std::uint32_t row = 0; row < kParamRows; ++row)
            for (std::uint32_t index = 0; index < kParamsPerRow; ++index) m_cells[row][index] = kDefaultParams[row][index];
    }
    std::int32_t GetParam(std::uint32_t row, std::uint32_t index) const override { return m_cells[row][index]; }
    void SetParam(std::uint32_t row, std::uint32_t index, std::int32_t value) override {
        m_cells[row][index] = value;
        Log("set " + std::to_string(row) + "," + std::to_string(index) + "=" + std::to_string(value));
    }
    void SetDirty() override { Log("filter dirty"); }
    void SetValueLabel(std::uint32_t index, const char* text) override {
        Log("value " + std::to_string(index) + " " + text);
    }
    void SetAssignLabel(std::uint32_t index, const char* text) override {
        Log("assign " + std::to_string(index) + " " + text);
    }
    void SetPageDirty() override { Log("page dirty"); }
    void TellSiteDirty() override { Log("site"); }

    std::int32_t m_cells[kParamRows][kParamsPerRow];
    std::vector<std::string> m_log;

private:
    void Log(std::string entry) { m_log.push_back(std::move(entry)); }
};

TEST(PageRules, AcceptedChangeRunsTheWholeSequenceInOrder) {
    struct Case {
        ParamRow row;
        std::uint32_t index;
        int code;
        std::int32_t position;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {SettingRow, EffectAmount, 3, 0,
         {"set 0,2=86", "filter dirty", "page dirty", "site", "value 2 86%"}},
        {SettingRow, Mode, 5, 2,  // the mode relabels the amount in its new form
         {"set 0,5=2", "filter dirty", "page dirty", "site", "value 5 Rel64", "value 2 +/- 54"}},
        {SettingRow, MasterCc, 0, 0, {"set 0,0=0", "filter dirty", "page dirty", "site", "value 0 Pressure"}},
        {CcAssignRow, LowIn, 1, 0, {"set 1,3=127", "filter dirty", "page dirty", "site", "assign 3 127"}},
        {CcAssignRow, HighIn, 4, 128, {"set 1,4=128", "filter dirty", "page dirty", "site", "assign 4 Off"}},
    };
    for (const Case& c : cases) {
        CRecordingPage page;
        EXPECT_TRUE(HandleScroll(page, page, c.row, c.index, c.code, c.position));
        EXPECT_EQ(page.m_log, c.log);
    }
}

TEST(PageRules, RefusedNotificationsDoNothingAtAll) {
    struct Case {
        ParamRow row;
        std::uint32_t index;
        int code;
        std::int32_t position;
    };
    const Case cases[] = {
        {SettingRow, ModifierCc, 0, 0},   // already at 0
        {SettingRow, ModifierCc, 2, 0},
        {SettingRow, Mode, 5, 60},        // thumb beyond the mode's bound
        {SettingRow, HighIn, 4, 10},      // final thumb position
        {SettingRow, HighIn, 6, 0},
        {SettingRow, HighIn, 7, 127},
        {SettingRow, HighIn, 8, 0},
        {CcAssignRow, MasterCc, 0, 0},    // already at 128
        {CcAssignRow, MasterCc, 4, 129},
        {CcAssignRow, MasterCc, 8, 0},
        {SettingRow, 6, 1, 0},            // not a setting
    };
    for (const Case& c : cases) {
        CRecordingPage page;
        EXPECT_FALSE(HandleScroll(page, page, c.row, c.index, c.code, c.position));
        EXPECT_TRUE(page.m_log.empty()) << "row " << c.row << " index " << c.index << " code " << c.code;
    }
}

TEST(PageRules, LabelsFollowTheStoredModeAndSkipUnknownModes) {
    CRecordingPage page;
    page.m_cells[SettingRow][Mode] = 3;
    LabelSetting(page, page, Mode, 3);
    LabelSetting(page, page, EffectAmount, 85);
    page.m_cells[SettingRow][Mode] = ModeRel64;
    LabelSetting(page, page, EffectAmount, 100);
    LabelSetting(page, page, 6, 1);
    LabelAssign(page, 6, 1);
    EXPECT_EQ(page.m_log, (std::vector<std::string>{"value 2 85%", "value 2 85%", "value 2 +/- 64"}));
}

}  // namespace
