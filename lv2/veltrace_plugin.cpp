#include "lv2/veltrace_plugin.h"

#include <cmath>
#include <cstring>
#include <new>

#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>

#include "engine/parameters.h"
#include "lv2/atom_queues.h"

namespace {

const LV2_URID_Map* FindUridMap(const LV2_Feature* const* features) {
    for (; features != nullptr && *features != nullptr; ++features)
        if (std::strcmp((*features)->URI, LV2_URID__map) == 0) return static_cast<const LV2_URID_Map*>((*features)->data);
    return nullptr;
}

// Whether a whole event, header and body, lies before `limit`.
bool EventFits(const LV2_Atom_Event* event, const std::uint8_t* limit) {
    const auto room = limit - reinterpret_cast<const std::uint8_t*>(event);
    return room >= static_cast<std::ptrdiff_t>(sizeof(LV2_Atom_Event)) &&
           event->body.size <= static_cast<std::size_t>(room) - sizeof(LV2_Atom_Event);
}

// A control value as a setting: rounded, and within the setting's bounds,
// whatever the host sends.
std::int32_t SettingValue(float value, SettingIndex index) {
    const auto lowest = static_cast<float>(GetParamMin(SettingRow, index));
    const auto highest = static_cast<float>(GetParamMax(SettingRow, index));
    value = value < lowest ? lowest : value > highest ? highest : value;
    // Not negative here, so this rounds to nearest; in double, since a float
    // just below one half plus one half is already 1.
    return static_cast<std::int32_t>(static_cast<double>(value) + 0.5);
}

}  // namespace

CVeltracePlugin* CVeltracePlugin::Create(const LV2_Feature* const* features) {
    const LV2_URID_Map* const map = FindUridMap(features);
    if (map == nullptr || map->map == nullptr) return nullptr;
    const auto id = [map](const char* uri) { return map->map(map->handle, uri); };
    Urids urids;
    urids.atomSequence = id(LV2_ATOM__Sequence);
    urids.atomObject = id(LV2_ATOM__Object);
    urids.atomBlank = id(LV2_ATOM__Blank);
    urids.atomInt = id(LV2_ATOM__Int);
    urids.atomLong = id(LV2_ATOM__Long);
    urids.atomFloat = id(LV2_ATOM__Float);
    urids.atomDouble = id(LV2_ATOM__Double);
    urids.midiEvent = id(LV2_MIDI__MidiEvent);
    urids.timePosition = id(LV2_TIME__Position);
    urids.timeFrame = id(LV2_TIME__frame);
    urids.timeSpeed = id(LV2_TIME__speed);
    return new (std::nothrow) CVeltracePlugin(urids);
}

void CVeltracePlugin::ConnectPort(std::uint32_t port, void* data) {
    switch (port) {
    case PortEventsIn: m_in = static_cast<const LV2_Atom_Sequence*>(data); break;
    case PortEventsOut: m_out = static_cast<LV2_Atom_Sequence*>(data); break;
    default:
        if (port >= kFirstSettingPort && port < kPortCount)
            m_settingPorts[port - kFirstSettingPort] = static_cast<const float*>(data);
        break;
    }
}

void CVeltracePlugin::Activate() {
    m_engine.ResetLastSent();
    m_rolling = false;
    m_speed = 0.0;
    m_frameKnown = false;
}

void CVeltracePlugin::ApplyControls() {
    for (std::uint32_t i = 0; i < kSettingPorts; ++i) {
        if (m_settingPorts[i] == nullptr) continue;
        const float value = *m_settingPorts[i];
        if (value == m_appliedSettings[i]) continue;
        m_appliedSettings[i] = value;
        if (!std::isfinite(value)) continue;  // keeps the setting it had
        const auto index = static_cast<SettingIndex>(i);
        m_engine.SetParam(SettingRow, index, SettingValue(value, index));
    }
}

void CVeltracePlugin::Run(std::uint32_t frames) {
    if (m_out == nullptr) return;
    ApplyControls();

    // The host gives the output's capacity in its size; everything written
    // stays within it.
    std::uint32_t capacity = m_out->atom.size;
    m_out->atom.type = m_urids.atomSequence;
    if (capacity >= sizeof(LV2_Atom_Sequence_Body)) {
        m_out->atom.size = sizeof(LV2_Atom_Sequence_Body);
        m_out->body.unit = 0;  // frames
        m_out->body.pad = 0;
    } else {
        m_out->atom.size = 0;  // not even an empty sequence fits: every event is dropped
        capacity = 0;
    }
    if (m_in == nullptr) return;  // no input: an empty output

    // The cycle's events up to the first that does not lie wholly within the
    // input, in stretches between transport positions, so that a start or
    // loop takes effect between the events around it.
    const auto* const limit = reinterpret_cast<const std::uint8_t*>(&m_in->body) + m_in->atom.size;
    const LV2_Atom_Event* stretch = lv2_atom_sequence_begin(&m_in->body);
    const LV2_Atom_Event* event = stretch;
    LONG midiEvents = 0;  // in the stretch so far
    for (; EventFits(event, limit); event = lv2_atom_sequence_next(event)) {
        if (event->body.type == m_urids.midiEvent) {
            ++midiEvents;
        } else if (IsPosition(*event)) {
            Filter(stretch, event, midiEvents, limit, capacity);
            FollowTransport(*reinterpret_cast<const LV2_Atom_Object*>(&event->body), event->time.frames);
            stretch = lv2_atom_sequence_next(event);
            midiEvents = 0;
        }
    }
    Filter(stretch, event, midiEvents, limit, capacity);

    if (m_frameKnown) m_frameAtCycleStart += m_speed * frames;
}

void CVeltracePlugin::Filter(const LV2_Atom_Event* begin, const LV2_Atom_Event* end, LONG midiEvents,
                             const std::uint8_t* limit, std::uint32_t capacity) {
    if (midiEvents == 0) return;
    CAtomInputQueue input(*m_in, begin, end, midiEvents, m_urids.midiEvent);
    CAtomOutputQueue output(*m_out, capacity, *m_in, limit, m_urids.midiEvent);
    m_engine.OnEvents(&input, &output);
    m_dropped += output.Dropped();
}

bool CVeltracePlugin::IsPosition(const LV2_Atom_Event& event) const {
    if (event.body.type != m_urids.atomObject && event.body.type != m_urids.atomBlank) return false;
    if (event.body.size < sizeof(LV2_Atom_Object_Body)) return false;
    return reinterpret_cast<const LV2_Atom_Object&>(event.body).body.otype == m_urids.timePosition;
}

bool CVeltracePlugin::Number(const LV2_Atom* atom, double& value) const {
    if (atom->type == m_urids.atomInt && atom->size >= sizeof(std::int32_t))
        value = reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
    else if (atom->type == m_urids.atomLong && atom->size >= sizeof(std::int64_t))
        value = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
    else if (atom->type == m_urids.atomFloat && atom->size >= sizeof(float))
        value = reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
    else if (atom->type == m_urids.atomDouble && atom->size >= sizeof(double))
        value = reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
    else
        return false;
    return std::isfinite(value);
}

// A sequencer's transport calls, from the host's positions: the filter gets
// its start when the transport starts rolling, and its loop when a rolling
// position jumps back. Both forget the master value sent last. A jump forward
// is no loop: it is what a cycle the host dropped under load looks like, and
// hosts pass a relocation through a stopped cycle, which is a start.
void CVeltracePlugin::FollowTransport(const LV2_Atom_Object& position, std::int64_t offset) {
    bool haveFrame = false, haveSpeed = false;
    double frame = 0.0, speed = 0.0;
    // The properties, each only if it lies wholly within the object.
    const auto* property = reinterpret_cast<const std::uint8_t*>(lv2_atom_object_begin(&position.body));
    const auto* const end = reinterpret_cast<const std::uint8_t*>(&position.body) + position.atom.size;
    while (end - property >= static_cast<std::ptrdiff_t>(sizeof(LV2_Atom_Property_Body))) {
        const auto& body = *reinterpret_cast<const LV2_Atom_Property_Body*>(property);
        if (body.value.size > static_cast<std::size_t>(end - property) - sizeof(LV2_Atom_Property_Body)) break;
        if (body.key == m_urids.timeFrame) haveFrame = Number(&body.value, frame);
        if (body.key == m_urids.timeSpeed) haveSpeed = Number(&body.value, speed);
        property += sizeof(LV2_Atom_Property_Body) + lv2_atom_pad_size(body.value.size);
    }

    const bool rolling = haveSpeed ? speed != 0.0 : m_rolling;
    if (!m_rolling && rolling) {
        m_engine.ResetLastSent();  // start
    } else if (m_rolling && rolling && haveFrame && m_frameKnown) {
        // More than a frame back, so that a host rounding the frames of a
        // varispeed transport is no jump.
        const double expected = m_frameAtCycleStart + m_speed * static_cast<double>(offset);
        if (frame < expected - 1.0) m_engine.ResetLastSent();  // loop
    }
    m_rolling = rolling;
    if (haveSpeed) m_speed = speed;
    if (haveFrame) {
        m_frameAtCycleStart = frame - m_speed * static_cast<double>(offset);
        m_frameKnown = true;
    }
}
