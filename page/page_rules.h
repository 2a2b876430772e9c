// The property page's editing rules, free of windows and of the page: the
// text beside each control, and the new value a slider or spin notification
// asks for. They keep no state and call nobody; the page reads the cells they
// need, stores what they return and tells its site.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "core/parameters.h"

// Text beside the spin of assignment `index`: "Off" at either bound.
std::string AssignLabelText(std::uint32_t index, std::int32_t value);

// A label beside a slider, and the text it is to show.
struct ValueLabel {
    std::uint32_t index;
    std::string text;

    bool operator==(const ValueLabel& other) const { return index == other.index && text == other.text; }
};

// The labels one showing of a setting sets, in order: at most its own and
// the amount's. Held in place: a showing adds no heap block of its own.
class CValueLabels {
public:
    void Add(ValueLabel label) { m_labels[m_count++] = std::move(label); }
    const ValueLabel* begin() const { return m_labels; }
    const ValueLabel* end() const { return m_labels + m_count; }

private:
    ValueLabel m_labels[2];
    std::size_t m_count = 0;
};

// The labels to set when setting `index` shows `value`, given the stored mode
// and amount, in the order to set them. Labelling the mode relabels the
// amount too, so the amount's form always follows the stored mode. A label
// without text (SettingValueText: a mode outside 0..2 on the mode slider) is
// left as it is; an index above 5 sets nothing.
CValueLabels SettingLabels(std::uint32_t index, std::int32_t value, std::int32_t storedMode,
                           std::int32_t storedAmount);

// New value of a setting for a trackbar notification code (TB_LINEUP = 0 ...
// TB_ENDTRACK = 8). `current` is the cell as stored, never the slider's own
// position; line and page steps move the setting by one. None: no change.
std::optional<std::int32_t> StepSetting(int code, std::int32_t current, std::int32_t position, std::int32_t upper);

// The same for a spin's scroll code (SB_LINEUP = 0 ... SB_ENDSCROLL = 8).
// Code 0 raises the value here, where it lowers it on a slider.
std::optional<std::int32_t> StepAssign(int code, std::int32_t current, std::int32_t position, std::int32_t upper);

// One scroll notification from the slider (SettingRow) or spin (CcAssignRow)
// of setting `index`, whose cell holds `current`: the value to store, within
// the cell's own bounds. None: the page changes nothing at all.
std::optional<std::int32_t> ScrolledValue(ParamRow row, std::uint32_t index, int code, std::int32_t current,
                                          std::int32_t position);
