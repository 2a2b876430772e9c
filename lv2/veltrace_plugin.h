// The LV2 edition of the filter: one CFilterEngine behind an LV2 instance.
// Each cycle's MIDI goes through the engine's sequenced path (OnEvents), the
// control ports are the six settings, and the host's transport gives the
// filter its start and loop. veltrace.ttl describes the ports; the indices
// below are its lv2:index values.
#pragma once

#include <cmath>
#include <cstdint>

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include "engine/filter_engine.h"
#include "lv2/plugin_uri.h"

enum VeltracePort : std::uint32_t {
    PortEventsIn = 0,  // atom sequence: midi:MidiEvent, time:Position
    PortEventsOut = 1,  // atom sequence: midi:MidiEvent
    PortMasterCc = 2,  // the six settings, in table order
    PortModifierCc = 3,
    PortEffectAmount = 4,
    PortLowIn = 5,
    PortHighIn = 6,
    PortMode = 7,
    kPortCount = 8,
};
constexpr std::uint32_t kFirstSettingPort = PortMasterCc;
constexpr std::uint32_t kSettingPorts = kPortCount - kFirstSettingPort;

class CVeltracePlugin {
public:
    // [instantiation thread] Null when the host maps no URIDs (urid:map is
    // required) or memory runs out.
    static CVeltracePlugin* Create(const LV2_Feature* const* features);

    // [audio thread, or instantiation thread] A port's buffer; null disconnects.
    void ConnectPort(std::uint32_t port, void* data);

    // [instantiation thread] Processing (re)starts: nothing has been sent yet
    // and the transport is unknown, as if stopped.
    void Activate();

    // [audio thread] One cycle. Allocates nothing, waits on nothing, makes no
    // system call.
    void Run(std::uint32_t frames);

    // Output events that did not fit the host's buffer since instantiation.
    std::uint64_t DroppedEvents() const { return m_dropped; }
    const CFilterEngine& Engine() const { return m_engine; }

private:
    struct Urids {
        LV2_URID atomSequence, atomObject, atomBlank, atomInt, atomLong, atomFloat, atomDouble;
        LV2_URID midiEvent, timePosition, timeFrame, timeSpeed;
    };

    explicit CVeltracePlugin(const Urids& urids) : m_urids(urids) {}

    void ApplyControls();
    // The `midiEvents` MIDI events of [begin, end) through the engine into
    // the output; the input ends at `limit`.
    void Filter(const LV2_Atom_Event* begin, const LV2_Atom_Event* end, LONG midiEvents, const std::uint8_t* limit,
                std::uint32_t capacity);
    bool IsPosition(const LV2_Atom_Event& event) const;
    void FollowTransport(const LV2_Atom_Object& position, std::int64_t offset);
    bool Number(const LV2_Atom* atom, double& value) const;

    const Urids m_urids;
    CFilterEngine m_engine;

    const LV2_Atom_Sequence* m_in = nullptr;
    LV2_Atom_Sequence* m_out = nullptr;
    const float* m_settingPorts[kSettingPorts] = {};
    // The port values the engine's table holds; NaN (never equal to a port's
    // value) until a value is applied.
    float m_appliedSettings[kSettingPorts] = {NAN, NAN, NAN, NAN, NAN, NAN};

    // The host's transport as its position events tell it: rolling at
    // m_speed, and at m_frameAtCycleStart (a transport frame) when the
    // current cycle began, if known.
    bool m_rolling = false;
    double m_speed = 0.0;
    bool m_frameKnown = false;
    double m_frameAtCycleStart = 0.0;

    std::uint64_t m_dropped = 0;
};
