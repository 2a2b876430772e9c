#include "dpf/veltrace_dpf_plugin.h"

#include "core/product.h"
#include "core/routing.h"
#include "core/settings_table.h"

namespace {

// Set by each plug-in as DPF makes it, taken by the CLAP entry.
thread_local CVeltraceDpfPlugin* t_lastMade = nullptr;

}  // namespace

CVeltraceDpfPlugin::CVeltraceDpfPlugin() : Plugin(kParamsPerRow, kPresetCount, 0) { t_lastMade = this; }

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
    if (index < kPresetCount) name = kPresets[index].label;
}

float CVeltraceDpfPlugin::getParameterValue(uint32_t index) const {
    return index < kParamsPerRow ? static_cast<float>(Setting(index)) : 0.0f;
}

void CVeltraceDpfPlugin::setParameterValue(uint32_t index, float value) {
    if (index >= kParamsPerRow) return;
    m_core.SetParam(SettingRow, index, SettingFromHostValue(index, value, Setting(index)));
}

void CVeltraceDpfPlugin::loadProgram(uint32_t index) {
    if (index < kPresetCount) SetSettings(kPresets[index].values);
}

void CVeltraceDpfPlugin::activate() { ForgetHistory(); }

void CVeltraceDpfPlugin::FollowTransport() {
    const DISTRHO::TimePosition& position = getTimePosition();
    Place now;
    now.rolling = position.playing;
    now.frame = position.frame;
    now.barsKnown = position.bbt.valid;
    now.bar = position.bbt.bar;
    now.beat = position.bbt.beat;
    now.tick = position.bbt.tick;

    if (now.rolling && !m_last.rolling) {
        m_core.ResetLastSent();  // start
    } else if (now.rolling && m_last.rolling) {
        // A loop puts the transport before where the last cycle started.
        // Positions that stay put (a host that does not move them) are
        // none; hosts whose frames never go back (a steady clock) show the
        // loop in bars and beats.
        const bool framesBack = now.frame < m_last.frame;
        const bool barsBack = now.barsKnown && m_last.barsKnown &&
                              (now.bar != m_last.bar     ? now.bar < m_last.bar
                               : now.beat != m_last.beat ? now.beat < m_last.beat
                                                         : now.tick < m_last.tick);
        if (framesBack || barsBack) m_core.ResetLastSent();  // loop
    }
    m_last = now;
}

void CVeltraceDpfPlugin::run(const float**, float**, uint32_t frames, const DISTRHO::MidiEvent* events,
                             uint32_t eventCount) {
    FollowTransport();
    const uint32_t lastFrame = frames > 0 ? frames - 1 : 0;
    m_core.Play<FilterPath::Sequenced>(m_results, [&](auto& router) {
        uint32_t floor = 0;
        for (uint32_t i = 0; i < eventCount; ++i) {
            DISTRHO::MidiEvent event = events[i];
            if (event.size == 0) continue;  // nothing to send
            // Each event leaves within the cycle and never before the one
            // left last, whatever frames the host wrote.
            event.frame = event.frame < floor ? floor : event.frame > lastFrame ? lastFrame : event.frame;
            floor = event.frame;
            // A whole channel message goes through the filter and leaves at
            // its own size (some formats hand every message over in three
            // bytes); anything else (system messages, a message cut short)
            // passes as it came.
            const uint32_t size = ChannelMessageSize(event.data[0]);
            if (size != 0 && event.size >= size && event.size <= DISTRHO::MidiEvent::kDataSize) {
                if (!router.Route(event.data[0], event.data[1], event.data[2])) continue;
                event.size = ChannelMessageSize(event.data[0]);
            }
            writeMidiEvent(event);
        }
    });
}

START_NAMESPACE_DISTRHO

Plugin* createPlugin() { return new CVeltraceDpfPlugin(); }

END_NAMESPACE_DISTRHO
