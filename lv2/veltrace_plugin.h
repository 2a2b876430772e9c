// The LV2 edition of the filter: one CFilterCore behind an LV2 instance.
// Each cycle's MIDI goes through the core's sequenced path straight from the
// input's atoms into the output's, the control ports are the six settings,
// and the host's transport gives the filter its start and loop.
// veltrace.ttl describes the ports, the settings' written from the core's
// settings table at build time (write_bundle.cpp); the indices below are its
// lv2:index values.
#pragma once

#include <cmath>
#include <cstdint>

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include "core/filter_core.h"
#include "lv2/plugin_uri.h"

enum VeltracePort : std::uint32_t {
    PortEventsIn = 0,   // atom sequence: midi:MidiEvent, time:Position
    PortEventsOut = 1,  // atom sequence: midi:MidiEvent
};
// Then one control port for each setting, in the settings table's order.
constexpr std::uint32_t kFirstSettingPort = 2;
constexpr std::uint32_t kSettingPorts = kParamsPerRow;
constexpr std::uint32_t kPortCount = kFirstSettingPort + kSettingPorts;

class CVeltracePlugin {
public:
    // [instantiation thread] Null when the host maps no URIDs (urid:map is
    // required) or memory runs out.
    static CVeltracePlugin* Create(double sampleRate, const LV2_Feature* const* features);

    // [audio thread, or instantiation thread] A port's buffer; null disconnects.
    void ConnectPort(std::uint32_t port, void* data);

    // [instantiation thread] Processing (re)starts: as a new instance, nothing
    // seen, nothing sent, the transport unknown (as if stopped).
    void Activate();

    // [audio thread] One cycle of `frames` frames. Allocates nothing, waits
    // on nothing, makes no system call.
    void Run(std::uint32_t frames);

    // Output events that did not fit the host's buffer since instantiation.
    std::uint64_t DroppedEvents() const { return m_dropped; }
    const CFilterCore& Core() const { return m_core; }

private:
    struct Urids {
        LV2_URID atomSequence, atomObject, atomBlank, atomInt, atomLong, atomFloat, atomDouble;
        LV2_URID midiEvent, timePosition, timeFrame, timeSpeed, timeBar, timeBarBeat, timeBeat, timeBeatsPerMinute;
    };

    // Where the host's transport is, as its positions tell it: in frames, in
    // beats, or in a bar and the beats into it (for hosts that send bars and
    // beats only; a bar is never compared by its beats, since the meter may
    // change from one bar to the next).
    enum class PlaceUnit { None, Frames, Beats, Bars };
    struct Place {
        PlaceUnit unit = PlaceUnit::None;
        double bar = 0.0;   // Bars only
        double along = 0.0;  // frames, beats, or beats into the bar
    };
    struct Transport {
        bool rolling = false;
        double speed = 0.0;
        Place place;                  // at placeClock
        std::int64_t placeClock = 0;  // the plug-in's clock when the transport was there
        double beatsPerMinute = 0.0;  // 0: not known
    };

    CVeltracePlugin(const Urids& urids, double sampleRate) : m_urids(urids), m_sampleRate(sampleRate) {}

    void ApplyControls();
    // The cycle's events through the router into the output.
    template <bool OutputChecked, class Router>
    [[gnu::always_inline]] inline void RouteCycle(Router& router, const std::uint8_t* limit, std::int64_t lastFrame,
                                                  std::uint32_t capacity);
    bool IsPosition(const LV2_Atom_Event& event) const;
    void FollowTransport(const LV2_Atom_Object& position, std::int64_t now);
    bool Number(const LV2_Atom* atom, double& value) const;

    const Urids m_urids;
    const double m_sampleRate;
    CFilterCore m_core;
    CRuleCache m_results;  // the rule's results, kept from cycle to cycle: run is the core's one thread

    const LV2_Atom_Sequence* m_in = nullptr;
    LV2_Atom_Sequence* m_out = nullptr;
    const float* m_settingPorts[kSettingPorts] = {};
    // The port values the core's table holds; NaN (never equal to a port's
    // value) until a value is applied.
    float m_appliedSettings[kSettingPorts] = {NAN, NAN, NAN, NAN, NAN, NAN};

    Transport m_transport;
    std::int64_t m_clock = 0;  // frames run since activation, at the start of the cycle

    std::uint64_t m_dropped = 0;
};
