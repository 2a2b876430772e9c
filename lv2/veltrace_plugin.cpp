#include "lv2/veltrace_plugin.h"

#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>

#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>

#include "core/parameters.h"

#if defined(__BYTE_ORDER__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "output events are composed as little-endian words");
#endif

namespace {

constexpr std::uint32_t kEventHeader = sizeof(LV2_Atom_Event);
// A MIDI message of up to 8 bytes takes its header and one padded word.
constexpr std::uint32_t kShortEvent = kEventHeader + 8;

// Eight bytes of an atom buffer, which LV2 aligns to 64 bits.
inline std::uint64_t LoadWord(const void* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// The first bytes of a body that ends the input (up to 8 of its `size`), as
// a little-endian word with zeros after it: its padding may lie beyond the
// input.
std::uint64_t LoadPart(const std::uint8_t* bytes, std::uint32_t size) {
    std::uint64_t word = 0;
    for (std::uint32_t i = 0; i < size && i < 8; ++i) word |= std::uint64_t{bytes[i]} << 8 * i;
    return word;
}

const LV2_URID_Map* FindUridMap(const LV2_Feature* const* features) {
    for (; features != nullptr && *features != nullptr; ++features)
        if (std::strcmp((*features)->URI, LV2_URID__map) == 0) return static_cast<const LV2_URID_Map*>((*features)->data);
    return nullptr;
}

// The output sequence being written within the capacity the host gave it.
// An event that does not fit is dropped and counted; nothing is written past
// the end, padding included. Written in 64-bit words: the host's buffers are
// 64-bit aligned, as LV2 asks. `Checked` false: the room is known to hold
// everything (as in most cycles), so no event's room is checked.
template <bool Checked>
class COutputSequence {
public:
    COutputSequence(LV2_Atom_Sequence& sequence, std::uint32_t capacity)
        : m_sequence(sequence),
          m_cursor(reinterpret_cast<std::uint64_t*>(&sequence.body + 1)),
          m_end(m_cursor + (capacity - sizeof(LV2_Atom_Sequence_Body)) / 8) {}
    // The sequence's size, once everything is written.
    void Finish() {
        m_sequence.atom.size = static_cast<std::uint32_t>(reinterpret_cast<std::uint8_t*>(m_cursor) -
                                                          reinterpret_cast<std::uint8_t*>(&m_sequence.body));
    }
    COutputSequence(const COutputSequence&) = delete;
    COutputSequence& operator=(const COutputSequence&) = delete;

    // The input event again, byte for byte (its body `size` bytes), at
    // `frame`, its padding zeroed.
    void Copy(std::int64_t frame, const LV2_Atom_Event& event, std::uint32_t size) {
        const std::uint64_t words = (std::uint64_t{kEventHeader} + size + 7) / 8;
        if (Checked && words > static_cast<std::uint64_t>(m_end - m_cursor)) return Drop();
        m_cursor[words - 1] = 0;
        std::memcpy(m_cursor + 1, reinterpret_cast<const std::uint8_t*>(&event) + 8, kEventHeader - 8 + size);
        m_cursor[0] = static_cast<std::uint64_t>(frame);
        m_cursor += words;
    }

    // A message of up to 8 bytes at `frame`: its body's size and type as one
    // word, and the body as a little-endian word, padding included.
    void Write(std::int64_t frame, std::uint64_t sizeAndType, std::uint64_t body) {
        if (Checked && m_end - m_cursor < kShortEvent / 8) return Drop();
        m_cursor[0] = static_cast<std::uint64_t>(frame);
        m_cursor[1] = sizeAndType;
        m_cursor[2] = body;
        m_cursor += kShortEvent / 8;
    }

    std::uint32_t Dropped() const { return m_dropped; }

private:
    void Drop() { ++m_dropped; }

    LV2_Atom_Sequence& m_sequence;
    std::uint64_t* m_cursor;
    std::uint64_t* const m_end;  // the room's end, in whole words
    std::uint32_t m_dropped = 0;
};

}  // namespace

CVeltracePlugin* CVeltracePlugin::Create(double sampleRate, const LV2_Feature* const* features) {
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
    urids.timeBar = id(LV2_TIME__bar);
    urids.timeBarBeat = id(LV2_TIME__barBeat);
    urids.timeBeat = id(LV2_TIME__beat);
    urids.timeBeatsPerMinute = id(LV2_TIME__beatsPerMinute);
    return new (std::nothrow) CVeltracePlugin(urids, sampleRate);
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
    // The controls are applied again at the next cycle; one that is not
    // connected, or not finite, leaves its setting as a new instance has it.
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index)
        m_core.SetParam(SettingRow, index, kDefaultParams[SettingRow][index]);
    m_core.ForgetHistory();
    m_transport = Transport{};
    m_clock = 0;
    for (float& applied : m_appliedSettings) applied = NAN;
}

void CVeltracePlugin::ApplyControls() {
    for (std::uint32_t i = 0; i < kSettingPorts; ++i) {
        if (m_settingPorts[i] == nullptr) continue;
        const float value = *m_settingPorts[i];
        if (value == m_appliedSettings[i]) continue;
        m_appliedSettings[i] = value;
        // Rounded into the setting's bounds; a value that is not finite keeps
        // the setting it had.
        m_core.SetParam(SettingRow, i, SettingFromHostValue(i, value, m_core.GetParam(SettingRow, i)));
    }
}

void CVeltracePlugin::Run(std::uint32_t frames) {
    // Without both sequences connected there is nothing to read or write:
    // the output stays as the host left it.
    if (m_in == nullptr || m_out == nullptr) return;
    ApplyControls();

    // The host gives the output's capacity in its size. Where not even an
    // empty sequence fits, the output is left empty and every event dropped.
    std::uint32_t capacity = m_out->atom.size;
    m_out->atom.type = m_urids.atomSequence;
    const bool sequenceFits = capacity >= sizeof(LV2_Atom_Sequence_Body);
    if (sequenceFits) {
        m_out->body.unit = 0;  // frames
        m_out->body.pad = 0;
    } else {
        capacity = sizeof(LV2_Atom_Sequence_Body);  // room for no event
    }

    // Events up to the first that does not lie wholly within the input. Each
    // leaves within the cycle and never before the one left last, whatever
    // frames the host wrote.
    const auto* const limit = reinterpret_cast<const std::uint8_t*>(&m_in->body) + m_in->atom.size;
    const std::int64_t lastFrame = frames > 0 ? std::int64_t{frames} - 1 : 0;
    // No event leaves larger than it came: where the output holds the whole
    // input, padding included, no event's room need be checked.
    const bool outputChecked = capacity < ((std::uint64_t{m_in->atom.size} + 7) & ~std::uint64_t{7});
    m_core.Play<FilterPath::Sequenced>(m_results, [&](auto& router) {
        if (outputChecked)
            RouteCycle<true>(router, limit, lastFrame, capacity);
        else
            RouteCycle<false>(router, limit, lastFrame, capacity);
    });
    if (!sequenceFits) m_out->atom.size = 0;
    m_clock += frames;
}

template <bool OutputChecked, class Router>
void CVeltracePlugin::RouteCycle(Router& router, const std::uint8_t* limit, std::int64_t lastFrame,
                                 std::uint32_t capacity) {
    COutputSequence<OutputChecked> output(*m_out, capacity);
    // An event's body size and type, read as one word, less that of a
    // one-byte MIDI message: a MIDI message of n bytes is n - 1.
    const std::uint64_t midiEvent = m_urids.midiEvent;
    const std::uint64_t oneByteMidi = midiEvent << 32 | 1;
    constexpr std::uint64_t kPressure = 1, kControl = 2, kShortMidi = 8;  // 2, 3 and up to 8 bytes
    // The master's form, its status and controller, and where its value goes:
    // the router's type says which.
    const bool pressureIsMaster = router.MasterIsPressure();
    const std::uint64_t masterForm = oneByteMidi + (pressureIsMaster ? kPressure : kControl);
    const std::uint64_t masterHead = pressureIsMaster ? 0xD0u : 0xB0u | std::uint32_t{router.MasterController()} << 8;
    const unsigned valueShift = pressureIsMaster ? 8 : 16;

    // Each event leaves within the cycle and never before the one left last,
    // whatever frames the host wrote. `message` is the body's first word, of
    // which only the first `size` bytes are looked at (a short message leaves
    // with the word as read: its padding, or zeros where the input ends).
    // Inlined at both its calls (GNU's attribute: the standard one does not
    // reach a lambda's body), so the usual event costs no call.
    std::int64_t floor = 0;
    const auto route = [&](const LV2_Atom_Event& event, std::uint64_t form,
                           std::uint64_t message) __attribute__((always_inline)) {
        std::int64_t frame = event.time.frames;
        if (frame < floor)
            frame = floor;  // out of order
        else if (frame > lastFrame)
            frame = lastFrame;  // beyond the cycle
        floor = frame;

        // A control change or channel pressure of its own size, read as the
        // core's Route reads one: a data byte of 128 or more is taken as it
        // stands (a controller number beyond 127 is no stream; a value beyond
        // 127 goes through the rule, which sends a MIDI value), so that every
        // face gives the same answer to a malformed message.
        StreamRole role = NeitherStream;
        std::int32_t value = 0;
        const std::uint64_t kind = form - oneByteMidi;
        if (kind == kControl) {
            if ((message & 0xF0) == 0xB0) {
                role = router.ControllerRole(static_cast<std::uint8_t>(message >> 8));
                value = static_cast<std::uint8_t>(message >> 16);
            }
        } else if (kind == kPressure && (message & 0xF0) == 0xD0) {
            role = router.PressureRole();
            value = static_cast<std::uint8_t>(message >> 8);
        }
        if (role != NeitherStream) {
            if (router.Move(role, value)) {
                const std::uint64_t channel = message & 0x0F, amount = static_cast<std::uint32_t>(value);
                output.Write(frame, masterForm, masterHead | channel | amount << valueShift);
            }
        } else if (kind < kShortMidi) {  // one padded word
            output.Write(frame, form, message);
        } else if (form >> 32 == midiEvent) {
            output.Copy(frame, event, static_cast<std::uint32_t>(form));
        } else if (IsPosition(event)) {
            FollowTransport(reinterpret_cast<const LV2_Atom_Object&>(event.body), m_clock + frame);
        }
    };

    // The input ends at `limit`. One check serves an event: when the next
    // event's header still lies within the input, so do this one's body and
    // padding. Otherwise this event is the last: its body must lie within the
    // input, or the cycle ends before it.
    auto at = reinterpret_cast<std::uintptr_t>(lv2_atom_sequence_begin(&m_in->body));
    const auto end = reinterpret_cast<std::uintptr_t>(limit);
    if (at + kEventHeader <= end) {
        for (;;) {
            const auto& event = *reinterpret_cast<const LV2_Atom_Event*>(at);
            const std::uint64_t form = LoadWord(&event.body);
            const auto size = static_cast<std::uint32_t>(form);
            // Padded in 64 bits: a damaged size near 2^32 must not wrap to a small one.
            const std::uint64_t padded = (std::uint64_t{size} + 7) & ~std::uint64_t{7};
            const auto* const body = reinterpret_cast<const std::uint8_t*>(&event + 1);
            if (at + padded + 2 * kEventHeader > end) {
                if (size <= end - (at + kEventHeader)) route(event, form, LoadPart(body, size));
                break;
            }
            route(event, form, LoadWord(body));
            at += kEventHeader + padded;
        }
    }
    output.Finish();
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
// transport jumps back. Both forget the master value sent last. A jump
// forward is no loop: it is what a cycle the host dropped under load looks
// like, and hosts pass a relocation through a stopped cycle, which is a start.
//
// Hosts say where the transport is in frames, or only in bars and beats; and
// not all say how fast it moves. Where the speed is missing, a place that
// moves on while the transport was stopped is a start, and a place that
// stays put while it rolled is a stop.
void CVeltracePlugin::FollowTransport(const LV2_Atom_Object& position, std::int64_t now) {
    bool haveFrame = false, haveSpeed = false, haveBar = false, haveBarBeat = false, haveBeat = false;
    double frame = 0.0, speed = 0.0, bar = 0.0, barBeat = 0.0, beat = 0.0, number = 0.0;
    // The properties, each only if it lies wholly within the object.
    const auto* property = reinterpret_cast<const std::uint8_t*>(lv2_atom_object_begin(&position.body));
    const auto* const end = reinterpret_cast<const std::uint8_t*>(&position.body) + position.atom.size;
    while (end - property >= static_cast<std::ptrdiff_t>(sizeof(LV2_Atom_Property_Body))) {
        const auto& body = *reinterpret_cast<const LV2_Atom_Property_Body*>(property);
        if (body.value.size > static_cast<std::size_t>(end - property) - sizeof(LV2_Atom_Property_Body)) break;
        if (body.key == m_urids.timeFrame) haveFrame = Number(&body.value, frame);
        else if (body.key == m_urids.timeSpeed) haveSpeed = Number(&body.value, speed);
        else if (body.key == m_urids.timeBar) haveBar = Number(&body.value, bar);
        else if (body.key == m_urids.timeBarBeat) haveBarBeat = Number(&body.value, barBeat);
        else if (body.key == m_urids.timeBeat) haveBeat = Number(&body.value, beat);
        else if (body.key == m_urids.timeBeatsPerMinute && Number(&body.value, number) && number > 0.0)
            m_transport.beatsPerMinute = number;
        property += sizeof(LV2_Atom_Property_Body) + lv2_atom_pad_size(body.value.size);
    }

    Transport& transport = m_transport;
    Place place;
    if (haveFrame)
        place = {PlaceUnit::Frames, 0.0, frame};
    else if (haveBeat)
        place = {PlaceUnit::Beats, 0.0, beat};
    else if (haveBar && haveBarBeat)
        place = {PlaceUnit::Bars, bar, barBeat};

    // How far one frame moves the transport at speed 1, in the last place's
    // unit, and how far a place may lie from the expected one without being
    // a jump (a frame, so that a host rounding a varispeed transport's frames
    // is none).
    const double perFrame = transport.place.unit == PlaceUnit::Frames ? 1.0
                            : transport.beatsPerMinute > 0.0 && m_sampleRate > 0.0
                                ? transport.beatsPerMinute / (60.0 * m_sampleRate)
                                : 0.0;
    const double tolerance = place.unit == PlaceUnit::Frames ? 1.0 : perFrame + 1e-6;
    const double elapsed = static_cast<double>(now - transport.placeClock);
    const double advance = transport.rolling ? transport.speed * perFrame * elapsed : 0.0;
    // How far the new place lies ahead of `along` past the last one: a later
    // bar is always ahead, an earlier one always behind.
    const bool comparable = place.unit != PlaceUnit::None && place.unit == transport.place.unit;
    const auto ahead = [&](double along) {
        if (place.bar > transport.place.bar) return HUGE_VAL;
        if (place.bar < transport.place.bar) return -HUGE_VAL;
        return place.along - (transport.place.along + along);
    };

    bool rolling = transport.rolling;
    double newSpeed = transport.speed;
    if (haveSpeed) {
        rolling = speed != 0.0;
        newSpeed = speed;
    } else if (comparable && elapsed > 0.0) {
        const double moved = ahead(0.0);
        if (!transport.rolling && moved > tolerance) {
            rolling = true;  // the place moved on: the transport started
            newSpeed = place.unit == PlaceUnit::Frames ? moved / elapsed : 1.0;
        } else if (transport.rolling && std::fabs(moved) <= tolerance) {
            rolling = false;  // the place stayed put: the transport stopped
        }
    }

    if (!transport.rolling && rolling) {
        m_core.ResetLastSent();  // start
    } else if (transport.rolling && rolling && comparable && ahead(advance) < -tolerance) {
        m_core.ResetLastSent();  // loop
    }

    if (place.unit != PlaceUnit::None) {
        transport.place = place;
    } else if (transport.place.unit != PlaceUnit::None) {
        transport.place.along += advance;  // where it is now: the speed may change from here
    }
    transport.placeClock = now;
    transport.rolling = rolling;
    transport.speed = newSpeed;
}
