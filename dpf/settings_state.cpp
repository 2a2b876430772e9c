#include "dpf/settings_state.h"

#include "dpf/dpf_parameters.h"

#include <cstdlib>
#include <cstring>

namespace {

// DPF's state text: NUL-separated words, the parameters between two marker
// words as symbol and value pairs, and 0xFE at the end. Other sections
// (the program, state keys) may come before.
constexpr char kParametersBegin[] = "__dpf_parameters_begin__";
constexpr char kParametersEnd[] = "__dpf_parameters_end__";
constexpr char kEnd = '\xfe';

}  // namespace

SettingsBytes StateOf(const SettingValues& settings) {
    SettingsCells cells = DefaultSettingsCells();
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) cells[SettingRow * kParamsPerRow + index] = settings[index];
    return EncodeSettings(cells);
}

std::optional<SettingValues> SettingsOfState(const std::uint8_t* bytes, std::size_t size) {
    if (bytes == nullptr || size != kSettingsBytes) return std::nullopt;
    SettingsCells cells = DefaultSettingsCells();
    if (DecodeSettings(bytes, size, cells).outcome != SettingsOutcome::Loaded || SettingOutOfRange(cells))
        return std::nullopt;
    SettingValues settings;
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) settings[index] = cells[SettingRow * kParamsPerRow + index];
    return settings;
}

std::string DpfStateOf(const SettingValues& settings) {
    std::string text = kParametersBegin;
    text += '\0';
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) {
        text += kSettingTable[index].symbol;
        text += '\0';
        text += std::to_string(settings[index]);
        text += '\0';
    }
    text += kParametersEnd;
    text += '\0';
    text += kEnd;
    text += '\0';
    return text;
}

std::optional<SettingValues> SettingsOfDpfState(const char* text, std::size_t size) {
    if (text == nullptr) return std::nullopt;
    // The words up to the end mark; a word not ended by NUL is no word.
    const char* const end = static_cast<const char*>(std::memchr(text, kEnd, size));
    if (end == nullptr) return std::nullopt;
    SettingValues settings{};
    bool seen[kParamsPerRow] = {};
    bool inParameters = false;
    const char* symbol = nullptr;
    for (const char* word = text; word < end;) {
        const char* const wordEnd = static_cast<const char*>(std::memchr(word, '\0', static_cast<std::size_t>(end - word)));
        if (wordEnd == nullptr) return std::nullopt;
        const std::string current(word, wordEnd);
        word = wordEnd + 1;
        if (current == kParametersBegin) {
            inParameters = true;
        } else if (current == kParametersEnd) {
            inParameters = false;
        } else if (inParameters && symbol == nullptr) {
            symbol = wordEnd - current.size();
        } else if (inParameters && std::strcmp(symbol, kPlaceholderSymbol) == 0) {
            symbol = nullptr;  // DPF's placeholder: its value is nobody's
        } else if (inParameters) {
            std::uint32_t index = 0;
            while (index < kParamsPerRow && std::strcmp(kSettingTable[index].symbol, symbol) != 0) ++index;
            symbol = nullptr;
            char* after = nullptr;
            const long value = std::strtol(current.c_str(), &after, 10);
            if (index == kParamsPerRow || seen[index] || current.empty() || *after != '\0' ||
                value != static_cast<std::int32_t>(value) || !SettingInRange(index, static_cast<std::int32_t>(value)))
                return std::nullopt;
            settings[index] = static_cast<std::int32_t>(value);
            seen[index] = true;
        }
    }
    for (const bool found : seen)
        if (!found) return std::nullopt;
    return settings;
}
