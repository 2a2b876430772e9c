#include "settings_table.h"

std::optional<std::string> SettingValueText(std::uint32_t index, std::int32_t value, std::int32_t mode) {
    if (index >= kParamsPerRow) return std::nullopt;
    switch (kSettingTable[index].display) {
    case SettingDisplay::Controller:
        return value > 0 ? std::to_string(value) : kPressureName;
    case SettingDisplay::Amount:
        // Rel64 shows the largest offset the rule can apply, in controller
        // steps. Widened: a loaded stream may hold any 32-bit amount.
        if (mode == ModeRel64) return "+/- " + std::to_string(std::int64_t{value} * 64 / 100);
        return std::to_string(value) + "%";
    case SettingDisplay::Number:
        return std::to_string(value);
    case SettingDisplay::ModeName:
        if (value < 0 || value >= static_cast<std::int32_t>(kModeCount)) return std::nullopt;
        return kModeNames[value];
    }
    return std::nullopt;
}

std::string HostValueText(std::uint32_t index, double hostValue, std::int32_t current, std::int32_t mode) {
    const std::int32_t value = SettingFromHostValue(index, hostValue, current);
    return SettingValueText(index, value, mode).value_or(std::to_string(value));
}

namespace {

std::string Folded(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    std::string folded = text.substr(first, text.find_last_not_of(' ') - first + 1);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

}  // namespace

std::optional<std::int32_t> SettingFromText(std::uint32_t index, const std::string& text, std::int32_t mode) {
    if (index >= kParamsPerRow) return std::nullopt;
    const SettingDescription& setting = kSettingTable[index];
    const std::string wanted = Folded(text);
    for (std::int32_t value = setting.minimum; value <= setting.maximum; ++value)
        if (const auto shown = SettingValueText(index, value, mode); shown && Folded(*shown) == wanted) return value;
    if (wanted.empty() || wanted.size() > 9 || wanted.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const std::int32_t value = std::stoi(wanted);
    if (!SettingInRange(index, value)) return std::nullopt;
    return value;
}

bool SettingInRange(std::uint32_t index, std::int32_t value) {
    return index < kParamsPerRow && value >= kSettingTable[index].minimum && value <= kSettingTable[index].maximum;
}

std::string SettingOutOfRangeMessage(std::uint32_t index, std::int32_t value) {
    const SettingDescription& setting = kSettingTable[index < kParamsPerRow ? index : 0];
    return "the settings hold " + std::to_string(value) + " for " + setting.name + "; the plug-in's control takes " +
           std::to_string(setting.minimum) + ".." + std::to_string(setting.maximum);
}
