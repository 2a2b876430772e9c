#include "dpf/veltrace_dpf_plugin.h"

#include "core/product.h"
#include "core/settings_table.h"

namespace {

// Set by each plug-in as DPF makes it, taken by the CLAP entry.
thread_local CVeltraceDpfPlugin* t_lastMade = nullptr;

}  // namespace

CVeltraceDpfPlugin::CVeltraceDpfPlugin() : Plugin(kDpfParameterCount, kDpfProgramCount, 0) { t_lastMade = this; }

CVeltraceDpfPlugin::~CVeltraceDpfPlugin() {
    if (t_lastMade == this) t_lastMade = nullptr;
}

CVeltraceDpfPlugin* CVeltraceDpfPlugin::TakeLastMade() {
    CVeltraceDpfPlugin* const made = t_lastMade;
    t_lastMade = nullptr;
    return made;
}

void CVeltraceDpfPlugin::ForgetHistory() {
    m_core.ForgetHistory();
    m_last = Place{};
}

void CVeltraceDpfPlugin::SetSettings(const std::int32_t (&values)[kParamsPerRow]) {
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) m_core.SetParam(SettingRow, index, values[index]);
}

const char* CVeltraceDpfPlugin::getLabel() const { return kProductName; }
const char* CVeltraceDpfPlugin::getDescription() const { return kProductDescription; }
const char* CVeltraceDpfPlugin::getMaker() const { return kProductMaker; }
const char* CVeltraceDpfPlugin::getHomePage() const { return kProductHomePage; }
const char* CVeltraceDpfPlugin::getLicense() const { return kProductLicense; }
uint32_t CVeltraceDpfPlugin::getVersion() const {
    return d_version(VELTRACE_VERSION_MAJOR, VELTRACE_VERSION_MINOR, VELTRACE_VERSION_PATCH);
}
// Part of the VST3 class id: fixed once published.
int64_t CVeltraceDpfPlugin::getUniqueId() const { return d_cconst('Q', 'v', 'V', 't'); }

void CVeltraceDpfPlugin::initParameter(uint32_t index, DISTRHO::Parameter& parameter) {
    if (index == kPlaceholderParameter) {
        parameter.hints = 0;  // not automatable
        parameter.name = "Unused";
        parameter.symbol = kPlaceholderSymbol;
        return;
    }
    index = SettingOfParameter(index);
    if (index >= kParamsPerRow) return;
    const SettingDescription& setting = kSettingTable[index];
    parameter.hints = DISTRHO::kParameterIsAutomatable | DISTRHO::kParameterIsInteger;
    parameter.name = setting.name;
    parameter.shortName = setting.name;
    parameter.symbol = setting.symbol;
    parameter.unit = setting.unit;
    parameter.ranges.min = static_cast<float>(setting.minimum);
    parameter.ranges.max = static_cast<float>(setting.maximum);
    parameter.ranges.def = static_cast<float>(setting.defaultValue);
    // The named values a host can list; every other value shows as its
    // number (the CLAP and VST3 entries show the property page's texts).
    switch (setting.display) {
    case SettingDisplay::Controller: {
        auto* const values = new DISTRHO::ParameterEnumerationValue[1];
        values[0] = DISTRHO::ParameterEnumerationValue(0.0f, kPressureName);
        parameter.enumValues.count = 1;
        parameter.enumValues.restrictedMode = false;
        parameter.enumValues.values = values;
        break;
    }
    case SettingDisplay::ModeName: {
        auto* const values = new DISTRHO::ParameterEnumerationValue[kModeCount];
        for (std::uint32_t mode = 0; mode < kModeCount; ++mode)
            values[mode] = DISTRHO::ParameterEnumerationValue(static_cast<float>(mode), kModeNames[mode]);
        parameter.enumValues.count = kModeCount;
        parameter.enumValues.restrictedMode = true;
        parameter.enumValues.values = values;
        break;
    }
    default: break;
    }
}

void CVeltraceDpfPlugin::initProgramName(uint32_t index, DISTRHO::String& name) {
    if (index == kDefaultsProgram) name = kDefaultsProgramName;
    else if (index - kFirstPresetProgram < kPresetCount) name = kPresets[index - kFirstPresetProgram].label;
}

float CVeltraceDpfPlugin::getParameterValue(uint32_t index) const {
    index = SettingOfParameter(index);
    return index < kParamsPerRow ? static_cast<float>(Setting(index)) : 0.0f;
}

void CVeltraceDpfPlugin::setParameterValue(uint32_t index, float value) {
    index = SettingOfParameter(index);
    if (index >= kParamsPerRow) return;
    m_core.SetParam(SettingRow, index, SettingFromHostValue(index, value, Setting(index)));
}

void CVeltraceDpfPlugin::loadProgram(uint32_t index) {
    if (index == kDefaultsProgram) SetSettings(kDefaultParams[SettingRow]);
    else if (index - kFirstPresetProgram < kPresetCount) SetSettings(kPresets[index - kFirstPresetProgram].values);
}

void CVeltraceDpfPlugin::activate() { ForgetHistory(); }

START_NAMESPACE_DISTRHO

Plugin* createPlugin() { return new CVeltraceDpfPlugin(); }

END_NAMESPACE_DISTRHO
