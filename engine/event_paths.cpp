// The sequenced path (OnEvents) and the live path (OnInput). Both reduce a
// controller or channel-pressure message to a StreamMove, route it by the
// same rule, and write the master output back in their own record form.
#include "engine/filter_engine.h"

#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(__BYTE_ORDER__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "records are composed as little-endian words");
#endif

namespace {

// The host's Add reads a record right after the path has rewritten it. A read
// that spans several smaller stores cannot take its bytes from them and waits
// until they reach the cache, a stall that cost the sequenced path more than
// all its routing. So its master output is composed in registers and written
// with one store that covers what the host reads first.

// Bytes 6..11 of a sequenced record (type, controller number, value), within
// its first 16, written with one 16-byte store.
void WriteEventHead(MfxEvent& event, LONG type, BYTE number, BYTE value) {
    std::uint64_t low, high;  // bytes 0..7 and 8..15, little-endian
    std::memcpy(&low, reinterpret_cast<const BYTE*>(&event), 8);
    std::memcpy(&high, reinterpret_cast<const BYTE*>(&event) + 8, 8);
    const std::uint32_t typeBits = static_cast<std::uint32_t>(type);
    low = (low & 0x0000FFFFFFFFFFFFull) | std::uint64_t{typeBits & 0xFFFF} << 48;
    high = (high & 0xFFFFFFFF00000000ull) | std::uint64_t{typeBits >> 16} | std::uint64_t{number} << 16 |
           std::uint64_t{value} << 24;
#if defined(__SSE2__)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&event), _mm_set_epi64x(static_cast<long long>(high),
                                                                        static_cast<long long>(low)));
#else
    std::memcpy(reinterpret_cast<BYTE*>(&event), &low, 8);
    std::memcpy(reinterpret_cast<BYTE*>(&event) + 8, &high, 8);
#endif
}

// The live path's master output, in the form of the message it replaces:
// the status kind and controller number are fixed for the call, the channel
// and the carried bytes are kept. Composed in one 8-byte word without a
// branch on the form, and written with one store, like the sequenced head.
class CLiveMasterForm {
public:
    CLiveMasterForm(bool pressureIsMaster, std::int32_t controller)
        : m_head(pressureIsMaster ? std::uint64_t{MidiChannelPressure} << 32
                                  : std::uint64_t{MidiControlChange} << 32 |
                                        std::uint64_t{static_cast<BYTE>(controller)} << 40),
          // Channel pressure carries its amount in the first data byte; the
          // second repeats it. A controller's value is its second data byte.
          m_valueSpread(pressureIsMaster ? (1ull << 40 | 1ull << 48) : 1ull << 48) {}

    void Write(MfxData& data, BYTE value) const {
        std::uint64_t word;  // little-endian: time, status, data1, data2, carried byte
        std::memcpy(&word, &data, sizeof word);
        word = (word & kKept) | m_head | value * m_valueSpread;
        std::memcpy(&data, &word, sizeof word);
    }

private:
    // The time (bytes 0..3), the channel (low nibble of byte 4), the carried byte 7.
    static constexpr std::uint64_t kKept = 0xFF00000FFFFFFFFFull;
    const std::uint64_t m_head;         // status kind in byte 4, controller number in byte 5
    const std::uint64_t m_valueSpread;  // multiplied by the value, puts it where it goes
};

// The modulation rule with one call's settings, chosen once per call so that
// the per-event work carries no test of the mode (WithRule).

// The settings the rule reads.
struct RuleSettings {
    std::int32_t low, high, mode, amount;
};

// Add and Sub spend most of their work on the modifier's scale (two
// single-precision divisions), which depends on the modifier value alone: it
// is worked out the first time the call meets that value and kept for the
// rest of the call. Nothing is worked out before it is needed, so a short
// call, or one right after the page changed a setting, costs no more than the
// plain rule, but for marking the 128 scales unknown (a 512-byte fill); results
// are the rule's own, to the unit, since both go through the same two stages.
template <std::int32_t AddOrSub>
class CScaledRule {
public:
    // A scale is never NaN (amount and fraction are finite): NaN marks one
    // not yet worked out.
    explicit CScaledRule(const RuleSettings& settings)
        : m_low(settings.low), m_high(settings.high), m_amount(settings.amount) {
        for (float& scale : m_scale) scale = std::numeric_limits<float>::quiet_NaN();
    }

    std::int32_t operator()(std::int32_t base, std::int32_t modifier) {
        if (static_cast<std::uint32_t>(modifier) >= kValues)  // not a MIDI value: the plain rule
            return ComputeModulatedValue(base, modifier, m_low, m_high, AddOrSub, m_amount);
        float scale = m_scale[modifier];
        if (scale != scale) {  // not yet worked out in this call
            scale = ModulationScale(modifier, m_low, m_high, m_amount);
            m_scale[modifier] = scale;
        }
        return ApplyModulationScale(base, scale, AddOrSub);
    }

private:
    static constexpr std::uint32_t kValues = 128;
    const std::int32_t m_low, m_high, m_amount;
    float m_scale[kValues];
};

// Rel64 (integer arithmetic, nothing worth keeping) and any other mode.
class CPlainRule {
public:
    explicit CPlainRule(const RuleSettings& settings) : m_settings(settings) {}
    std::int32_t operator()(std::int32_t base, std::int32_t modifier) const {
        return ComputeModulatedValue(base, modifier, m_settings.low, m_settings.high, m_settings.mode,
                                     m_settings.amount);
    }

private:
    const RuleSettings m_settings;
};

// Runs `play` with the rule for these settings.
template <class Play>
void WithRule(const RuleSettings& settings, Play play) {
    switch (settings.mode) {
    case ModeAdd: {
        CScaledRule<ModeAdd> rule(settings);
        play(rule);
        break;
    }
    case ModeSub: {
        CScaledRule<ModeSub> rule(settings);
        play(rule);
        break;
    }
    default: {
        CPlainRule rule(settings);
        play(rule);
        break;
    }
    }
}

}  // namespace

CFilterEngine::Watch CFilterEngine::WatchFor(const Settings& settings) {
    // Controller 0 is the real controller 0, never pressure; pressure belongs
    // to whichever stream is set to 0.
    //
    // A stream setting outside 0..127 can only come from a damaged settings
    // stream. It names no MIDI stream, so it watches nothing: a modifier
    // there never moves, and with a master there nothing is sent at all,
    // since its number could not be sent as a MIDI data byte.
    const auto isStream = [](std::int32_t number) { return number >= 0 && number <= 127; };
    const bool masterIsStream = isStream(settings.masterCc);
    const std::int32_t master = masterIsStream ? settings.masterCc : kNoStream;
    const std::int32_t modifier = masterIsStream && isStream(settings.modifierCc) ? settings.modifierCc : kNoStream;
    Watch watch;
    watch.masterController = master > 0 ? master : kNoStream;
    watch.modifierController = modifier > 0 ? modifier : kNoStream;
    watch.pressureRole = static_cast<StreamRole>((master == 0 ? unsigned{MasterStream} : 0u) |
                                                 (modifier == 0 ? unsigned{ModifierStream} : 0u));
    return watch;
}

template <CFilterEngine::StreamRole Role, class Rule>
inline bool CFilterEngine::RouteMoveOf(Rule& rule, std::atomic<std::int32_t>& lastSent, std::int32_t& value) {
    std::int32_t master, modifier;
    if constexpr ((Role & MasterStream) != 0) {
        master = value;
        m_lastMaster.store(master, std::memory_order_relaxed);
        modifier = m_lastModifier.load(std::memory_order_relaxed);
        value = rule(master, modifier);
    } else {
        master = m_lastMaster.load(std::memory_order_relaxed);
    }
    if constexpr ((Role & ModifierStream) != 0) {
        // When one stream is both, the modifier takes the value as it now
        // stands, already modulated once.
        modifier = value;
        m_lastModifier.store(modifier, std::memory_order_relaxed);
        value = rule(master, modifier);
    }
    if (value == lastSent.load(std::memory_order_relaxed)) return false;
    lastSent.store(value, std::memory_order_relaxed);
    return true;
}

template <class Rule>
inline bool CFilterEngine::RouteMove(Rule& rule, std::atomic<std::int32_t>& lastSent, StreamRole role,
                                     std::int32_t& value) {
    switch (role) {
    case MasterStream: return RouteMoveOf<MasterStream>(rule, lastSent, value);
    case ModifierStream: return RouteMoveOf<ModifierStream>(rule, lastSent, value);
    default: return RouteMoveOf<BothStreams>(rule, lastSent, value);
    }
}

void CFilterEngine::OnEvents(IMfxEventQueue* input, IMfxEventQueue* output) {
    if (input == nullptr || output == nullptr) return;
    LONG count = 0;
    if (FAILED(input->GetCount(&count)) || count <= 0) return;
    // Read before the first record is touched; an empty call, which hosts
    // make all the time, needs no settings and takes no lock.
    const Settings settings = ReadSettings();
    WithRule({settings.lowIn, settings.highIn, settings.mode, settings.effectAmount},
             [&](auto& rule) { PlayEvents(WatchFor(settings), rule, count, input, output); });
}

template <class Rule>
void CFilterEngine::PlayEvents(const Watch watch, Rule& rule, LONG count, IMfxEventQueue* input,
                               IMfxEventQueue* output) {
    // Channel pressure goes out with number 0.
    const LONG outputType = watch.PressureIsMaster() ? MfxChannelPressureEvent : MfxControllerEvent;
    const BYTE outputNumber = static_cast<BYTE>(watch.PressureIsMaster() ? 0 : watch.masterController);

    // One buffer for the whole block, with room for a longer host record
    // (whose GetAt fills the room too: only the named record starts cleared).
    union alignas(64) {
        MfxEvent event;
        BYTE room[kHostEventRecordRoom];
    } buffer;
    MfxEvent& event = buffer.event = MfxEvent{};
    for (LONG index = 0; index < count; ++index) {
        event.m_port = 0;
        event.m_channel = 0;
        if (FAILED(input->GetAt(index, &event))) continue;

        StreamRole role = NeitherStream;
        if (event.m_type == MfxControllerEvent)
            role = watch.ControllerRole(event.m_data1);
        else if (event.m_type == MfxChannelPressureEvent)
            role = watch.pressureRole;
        if (role != NeitherStream) {
            std::int32_t value = event.m_data2;  // controller value or pressure amount alike
            if (!RouteMove(rule, m_lastEventOut, role, value)) continue;
            WriteEventHead(event, outputType, outputNumber, static_cast<BYTE>(value));
        }
        output->Add(&event);  // a failed Add loses only this record
    }
}

void CFilterEngine::OnInput(IMfxDataQueue* input, IMfxDataQueue* output) {
    if (input == nullptr || output == nullptr) return;
    LONG count = 0;
    if (FAILED(input->GetCount(&count)) || count <= 0) return;
    const Settings settings = ReadSettings();  // as in OnEvents
    WithRule({settings.lowIn, settings.highIn, settings.mode, settings.effectAmount},
             [&](auto& rule) { PlayInput(WatchFor(settings), rule, count, input, output); });
}

template <class Rule>
void CFilterEngine::PlayInput(const Watch watch, Rule& rule, LONG count, IMfxDataQueue* input,
                              IMfxDataQueue* output) {
    const CLiveMasterForm masterForm(watch.PressureIsMaster(), watch.masterController);

    // One buffer for the whole call, with room for a longer host record.
    union alignas(8) {
        MfxData data;
        BYTE room[kHostDataRecordRoom];
    } buffer;
    MfxData& data = buffer.data = MfxData{};
    for (LONG index = 0; index < count; ++index) {
        if (FAILED(input->GetAt(index, &data))) continue;

        const BYTE kind = data.m_status & 0xF0;
        StreamRole role = NeitherStream;
        std::int32_t value = 0;
        if (kind == MidiControlChange) {
            role = watch.ControllerRole(data.m_data1);
            value = data.m_data2;
        } else if (kind == MidiChannelPressure) {
            role = watch.pressureRole;
            value = data.m_data1;
        }
        if (role != NeitherStream) {
            if (!RouteMove(rule, m_lastInputOut, role, value)) continue;
            masterForm.Write(data, static_cast<BYTE>(value));
        }
        output->Add(&data);  // a failed Add loses only this message
    }
}
