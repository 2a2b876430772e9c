// The filter as a plug-in of the DISTRHO Plugin Framework: one CFilterCore
// behind DPF's plug-in class, from which DPF builds the CLAP, VST3 and JACK
// editions. Each cycle's MIDI goes through the core's plain-message routing
// (sequenced path) at its frames, the six settings are host parameters, the
// presets programs, and the host's transport gives the filter its start and
// loop.
#pragma once

#include <cstdint>

#include "DistrhoPlugin.hpp"
#include "core/filter_core.h"
#include "dpf/dpf_parameters.h"

class CVeltraceDpfPlugin final : public DISTRHO::Plugin {
public:
    CVeltraceDpfPlugin();
    ~CVeltraceDpfPlugin() override;

    // [main thread] The plug-in DPF made last on this thread, once: the CLAP
    // entry takes it right after DPF made the plug-in the host asked for.
    static CVeltraceDpfPlugin* TakeLastMade();

    // [audio thread] As a new instance: nothing seen, nothing sent, the
    // transport unknown (as if stopped). The settings stay.
    void ForgetHistory();

    // [any thread] One of the six settings, as the filter holds it.
    std::int32_t Setting(std::uint32_t index) const { return m_core.GetParam(SettingRow, index); }
    // [main thread] All six at once, each already within its bounds.
    void SetSettings(const std::int32_t (&values)[kParamsPerRow]);

protected:
    const char* getLabel() const override;
    const char* getDescription() const override;
    const char* getMaker() const override;
    const char* getHomePage() const override;
    const char* getLicense() const override;
    uint32_t getVersion() const override;
    int64_t getUniqueId() const override;

    void initParameter(uint32_t index, DISTRHO::Parameter& parameter) override;
    void initProgramName(uint32_t index, DISTRHO::String& name) override;

    float getParameterValue(uint32_t index) const override;
    // A value beyond the setting's bounds is clamped, a fraction rounded; one
    // that is not finite changes nothing.
    void setParameterValue(uint32_t index, float value) override;
    void loadProgram(uint32_t index) override;
    void setState(const char*, const char*) override {}

    void activate() override;
    void run(const float**, float**, uint32_t frames, const DISTRHO::MidiEvent* events, uint32_t eventCount) override;

private:
    // Start (the transport starts rolling) and loop (it jumps back while
    // rolling) from this cycle's position: both forget the master value sent
    // last.
    void FollowTransport();

    // Where a cycle started, as the host's transport says.
    struct Place {
        bool rolling = false;
        std::uint64_t frame = 0;
        bool barsKnown = false;  // bar, beat and tick are the host's
        std::int32_t bar = 0, beat = 0;
        double tick = 0.0;
    };

    CFilterCore m_core;
    CRuleCache m_results;  // the rule's results, kept from cycle to cycle: run is the core's one thread
    Place m_last;
};
