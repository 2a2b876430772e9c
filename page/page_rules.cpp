#include "page/page_rules.h"

#include <cstdio>

#include "core/settings_table.h"

namespace {

std::string Number(std::int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    return text;
}

// Trackbar and scroll notification codes, as the controls send them.
enum NotificationCode : int {
    LineUp = 0,
    LineDown = 1,
    PageUp = 2,
    PageDown = 3,
    ThumbPosition = 4,
    ThumbTrack = 5,
    Top = 6,
    Bottom = 7,
};

std::optional<std::int32_t> StepDown(std::int32_t current) {
    if (current > 0) return current - 1;
    return std::nullopt;
}

std::optional<std::int32_t> StepUp(std::int32_t current, std::int32_t upper) {
    if (current < upper) return current + 1;
    return std::nullopt;
}

std::optional<std::int32_t> Position(std::int32_t position, std::int32_t upper) {
    if (position >= 0 && position <= upper) return position;
    return std::nullopt;
}

}  // namespace

std::string AssignLabelText(std::uint32_t index, std::int32_t value) {
    if (value == GetParamMax(CcAssignRow, index) || value == GetParamMin(CcAssignRow, index)) return "Off";
    return Number(value);
}

std::optional<std::int32_t> StepSetting(int code, std::int32_t current, std::int32_t position, std::int32_t upper) {
    switch (code) {
    case LineUp:
    case PageUp:
        return StepDown(current);
    case LineDown:
    case PageDown:
        return StepUp(current, upper);
    case ThumbTrack:
        return Position(position, upper);
    default:  // the thumb's final position, top, bottom, end of tracking
        return std::nullopt;
    }
}

std::optional<std::int32_t> StepAssign(int code, std::int32_t current, std::int32_t position, std::int32_t upper) {
    switch (code) {
    case LineUp:
    case PageUp:
    case Top:
        return StepUp(current, upper);
    case LineDown:
    case PageDown:
    case Bottom:
        return StepDown(current);
    case ThumbPosition:
    case ThumbTrack:
        return Position(position, upper);
    default:  // end of scrolling
        return std::nullopt;
    }
}

CValueLabels SettingLabels(std::uint32_t index, std::int32_t value, std::int32_t storedMode,
                           std::int32_t storedAmount) {
    CValueLabels labels;
    if (index >= kParamsPerRow) return labels;
    if (auto text = SettingValueText(index, value, storedMode)) labels.Add({index, std::move(*text)});
    if (index == Mode) {
        if (auto text = SettingValueText(EffectAmount, storedAmount, storedMode))
            labels.Add({EffectAmount, std::move(*text)});
    }
    return labels;
}

std::optional<std::int32_t> ScrolledValue(ParamRow row, std::uint32_t index, int code, std::int32_t current,
                                          std::int32_t position) {
    if (index >= kParamsPerRow) return std::nullopt;
    const std::int32_t upper = GetParamMax(row, index);
    return row == SettingRow ? StepSetting(code, current, position, upper) : StepAssign(code, current, position, upper);
}
