// The six settings as data: what each is called, its bounds and default, how
// its value is shown, the mode's names and the presets. Every face derives its
// controls, files and messages from these rows (the LV2 Turtle is written from
// them at build time), so a setting is described here and nowhere else.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Cells of a row of the parameter table, in table order.
enum SettingIndex : std::uint32_t {
    MasterCc = 0,      // controller number of the master stream; 0 = channel pressure
    ModifierCc = 1,    // controller number of the modifier stream; 0 = channel pressure
    EffectAmount = 2,  // percent
    LowIn = 3,         // modifier value at and below which Add and Sub do nothing
    HighIn = 4,        // modifier value at and above which Add and Sub act in full
    Mode = 5,          // ModulationMode
};

enum ModulationMode : std::int32_t {
    ModeAdd = 0,
    ModeSub = 1,
    ModeRel64 = 2,
};

constexpr std::uint32_t kParamsPerRow = 6;
constexpr std::uint32_t kModeCount = 3;

// How a setting's value is shown beside its control (the property page's
// rules, which every face shows too).
enum class SettingDisplay {
    Controller,  // the number, or "Pressure" for 0
    Amount,      // "85%", or in Rel64 the largest shift in controller steps, "+/- 54"
    Number,      // the number
    ModeName,    // "Add", "Sub", "Rel64"
};

struct SettingDescription {
    const char* symbol;   // the LV2 port's symbol, the page's control, the CLAP and VST3 parameter's
    const char* name;     // what a host shows: "Master CC"
    const char* option;   // veltrace-host's option, without its dashes
    const char* meaning;  // a few words for a command's help: "master controller"
    const char* unit;     // "%" or ""
    std::int32_t minimum;
    std::int32_t maximum;
    std::int32_t defaultValue;
    SettingDisplay display;
};

inline constexpr SettingDescription kSettingTable[kParamsPerRow] = {
    {"master_cc", "Master CC", "master", "master controller", "", 0, 127, 1, SettingDisplay::Controller},
    {"modifier_cc", "Modifier CC", "modifier", "modifier controller", "", 0, 127, 0, SettingDisplay::Controller},
    {"effect_amount", "Effect Amount", "amount", "effect amount", "%", 0, 100, 85, SettingDisplay::Amount},
    {"low_in", "Low In Value", "low", "modifier value where Add and Sub start", "", 0, 127, 0, SettingDisplay::Number},
    {"high_in", "High In Value", "high", "modifier value where Add and Sub act in full", "", 0, 127, 96,
     SettingDisplay::Number},
    {"mode", "Mode", "mode", "how the modifier moves the master", "", 0, 2, ModeAdd, SettingDisplay::ModeName},
};

// Indexed by ModulationMode.
inline constexpr const char* kModeNames[kModeCount] = {"Add", "Sub", "Rel64"};

// The text shown for channel pressure where a controller number could stand.
inline constexpr const char kPressureName[] = "Pressure";

// A named set of the six settings that comes with the plug-in.
struct SettingsPreset {
    const char* key;      // a short name within the plug-in's own, fixed once published (LV2 preset URIs)
    const char* label;    // what a host lists
    const char* comment;  // what it is for, in a sentence
    std::int32_t values[kParamsPerRow];
};

inline constexpr SettingsPreset kPresets[] = {
    {"pressure-lifts-wheel", "Pressure lifts the mod wheel",
     "Channel pressure pushes the modulation wheel towards its top, in full from the lightest touch to the firmest.",
     {1, 0, 100, 0, 127, ModeAdd}},
    {"breath-swells-wheel", "Breath swells the mod wheel",
     "A breath controller (2) swells the modulation wheel once the breath is past a soft start, most of the way to "
     "the top.",
     {1, 2, 75, 16, 112, ModeAdd}},
    {"expression-ducks-volume", "Expression pedal ducks volume",
     "An expression pedal (11) pulls channel volume (7) down as it opens: a ducker under the player's foot.",
     {7, 11, 80, 0, 127, ModeSub}},
    {"aftertouch-bends-brightness", "Aftertouch bends brightness both ways",
     "Channel pressure moves brightness (74) both ways around where it stands: a light touch darkens, a firm one "
     "brightens.",
     {74, 0, 60, 0, 127, ModeRel64}},
};
constexpr std::uint32_t kPresetCount = sizeof kPresets / sizeof kPresets[0];

// The text beside setting `index` for this value, given the mode that stands.
// None (a control keeps what it shows) for a mode outside the names, and for
// an index outside the table.
std::optional<std::string> SettingValueText(std::uint32_t index, std::int32_t value, std::int32_t mode);

// The text a host shows for its value of setting `index`: the value taken as
// SettingFromHostValue takes it (`current` for one that is not finite), shown
// with this mode, or as its number where no text stands for it.
std::string HostValueText(std::uint32_t index, double hostValue, std::int32_t current, std::int32_t mode);

// The value of setting `index` that a text names: a text the setting shows
// for some value with this mode (in any case, spaces around ignored), or a
// whole number within the bounds. None for any other text.
std::optional<std::int32_t> SettingFromText(std::uint32_t index, const std::string& text, std::int32_t mode);

// Whether `value` lies within setting `index`'s bounds (false outside the table).
bool SettingInRange(std::uint32_t index, std::int32_t value);

// The one message for a setting outside its control's range, as every face
// that refuses one words it: "the settings hold 300 for Master CC; the
// plug-in's control takes 0..127".
std::string SettingOutOfRangeMessage(std::uint32_t index, std::int32_t value);

// A host's value for a setting (a float control, a parameter's double) as
// the setting: clamped into the bounds and rounded to the nearest whole
// number (halves away from zero); a value that is not finite keeps
// `current`. Inline and calling nothing: hosts' real-time threads use it.
inline std::int32_t SettingFromHostValue(std::uint32_t index, double value, std::int32_t current) {
    // Not finite: NaN compares false both ways, infinities lie beyond any double.
    if (index >= kParamsPerRow || !(value == value) || value - value != 0.0) return current;
    const auto lowest = static_cast<double>(kSettingTable[index].minimum);
    const auto highest = static_cast<double>(kSettingTable[index].maximum);
    value = value < lowest ? lowest : value > highest ? highest : value;
    return value < 0.0 ? -static_cast<std::int32_t>(0.5 - value) : static_cast<std::int32_t>(value + 0.5);
}
