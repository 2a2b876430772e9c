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

namespace {

// The host's Add reads a record right after the path has rewritten it. A read
// that spans several smaller stores cannot take its bytes from them and waits
// until they reach the cache, a stall that cost the sequenced path more than
// all its routing. So its master output is composed in registers and written
// with one store that covers what the host reads first. (A live message is
// read as one 8-byte word; measured, its byte stores cost nothing extra.)

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

}  // namespace

// The modulation rule with one call's settings. Add and Sub spend most of
// their work on the modifier's scale (two single-precision divisions), which
// depends on the modifier value alone: it is worked out the first time the
// call meets that value and kept for the rest of the call. Nothing is worked
// out before it is needed, so a short call, or one right after the page
// changed a setting, costs no more than the plain rule; results are the
// rule's own, to the unit, since both go through the same two stages.
class CFilterEngine::CCallRule {
public:
    explicit CCallRule(const Settings& settings)
        : m_low(settings.lowIn), m_high(settings.highIn), m_mode(settings.mode), m_amount(settings.effectAmount),
          m_scaled(m_mode == ModeAdd || m_mode == ModeSub) {}

    std::int32_t operator()(std::int32_t base, std::int32_t modifier) {
        if (m_scaled && static_cast<std::uint32_t>(modifier) < kValues) {
            if (!m_started) Start();
            float scale = m_scale[modifier];
            if (scale != scale) {  // not yet worked out in this call
                scale = ModulationScale(modifier, m_low, m_high, m_amount);
                m_scale[modifier] = scale;
            }
            return ApplyModulationScale(base, scale, m_mode);
        }
        return ComputeModulatedValue(base, modifier, m_low, m_high, m_mode, m_amount);
    }

private:
    static constexpr std::uint32_t kValues = 128;  // a MIDI value; anything else takes the plain rule

    // Marks every scale unknown, on the first move of the call: a call
    // without moves pays nothing. A scale is never NaN: amount and fraction
    // are finite.
    void Start() {
        for (float& scale : m_scale) scale = std::numeric_limits<float>::quiet_NaN();
        m_started = true;
    }

    const std::int32_t m_low, m_high, m_mode, m_amount;
    const bool m_scaled;  // Add or Sub
    bool m_started = false;
    float m_scale[kValues];
};

inline CFilterEngine::Route CFilterEngine::RouteMove(const Settings& settings, CCallRule& rule,
                                                     std::atomic<std::int32_t>& lastSent, StreamMove& move) {
    const std::int32_t master = settings.masterCc;
    const std::int32_t modifier = settings.modifierCc;
    bool isMasterMove = false;
    bool isModifierMove = false;

    // Controller 0 is the real controller 0, never pressure; pressure belongs
    // to whichever stream is set to controller 0.
    if (move.pressure) {
        isMasterMove = master == 0;
        isModifierMove = modifier == 0;
    } else if (move.number != 0) {
        isMasterMove = move.number == master;
        isModifierMove = move.number == modifier;
    }
    if (!isMasterMove && !isModifierMove) return Route::PassUnchanged;

    std::int32_t lastMaster = m_lastMaster.load(std::memory_order_relaxed);
    std::int32_t lastModifier = m_lastModifier.load(std::memory_order_relaxed);
    if (isMasterMove) {
        lastMaster = move.value;
        m_lastMaster.store(lastMaster, std::memory_order_relaxed);
        move.value = rule(lastMaster, lastModifier);
    }
    if (isModifierMove) {
        // When one stream is both, the modifier takes the value as it now
        // stands, already modulated once.
        lastModifier = move.value;
        m_lastModifier.store(lastModifier, std::memory_order_relaxed);
        move.value = rule(lastMaster, lastModifier);
    }

    // What leaves is always the master stream: controller `master`, or
    // channel pressure when that is 0.
    move.number = master;
    move.pressure = master == 0;
    if (move.value == lastSent.load(std::memory_order_relaxed)) return Route::Drop;
    lastSent.store(move.value, std::memory_order_relaxed);
    return Route::SendMaster;
}

void CFilterEngine::OnEvents(IMfxEventQueue* input, IMfxEventQueue* output) {
    if (input == nullptr || output == nullptr) return;
    LONG count = 0;
    if (FAILED(input->GetCount(&count)) || count <= 0) return;
    // Read before the first record is touched; an empty call, which hosts
    // make all the time, needs no settings and takes no lock.
    const Settings settings = ReadSettings();
    CCallRule rule(settings);

    // One buffer for the whole block, with room for a longer host record.
    union alignas(64) {
        MfxEvent event;
        BYTE room[kHostEventRecordRoom];
    } buffer{};
    MfxEvent& event = buffer.event;
    for (LONG index = 0; index < count; ++index) {
        event.m_port = 0;
        event.m_channel = 0;
        if (FAILED(input->GetAt(index, &event))) continue;

        if (event.m_type == MfxControllerEvent || event.m_type == MfxChannelPressureEvent) {
            const bool pressure = event.m_type == MfxChannelPressureEvent;
            StreamMove move{pressure, pressure ? 0 : event.m_data1, event.m_data2};
            const Route route = RouteMove(settings, rule, m_lastEventOut, move);
            if (route == Route::Drop) continue;
            if (route == Route::SendMaster)
                WriteEventHead(event, move.pressure ? MfxChannelPressureEvent : MfxControllerEvent,
                               static_cast<BYTE>(move.number), static_cast<BYTE>(move.value));
        }
        output->Add(&event);  // a failed Add loses only this record
    }
}

void CFilterEngine::OnInput(IMfxDataQueue* input, IMfxDataQueue* output) {
    if (input == nullptr || output == nullptr) return;
    LONG count = 0;
    if (FAILED(input->GetCount(&count)) || count <= 0) return;
    // Read before the first record is touched; an empty call, which hosts
    // make all the time, needs no settings and takes no lock.
    const Settings settings = ReadSettings();
    CCallRule rule(settings);

    // One buffer for the whole call, with room for a longer host record.
    union alignas(8) {
        MfxData data;
        BYTE room[kHostDataRecordRoom];
    } buffer{};
    MfxData& data = buffer.data;
    for (LONG index = 0; index < count; ++index) {
        if (FAILED(input->GetAt(index, &data))) continue;

        const BYTE kind = data.m_status & 0xF0;
        const BYTE channel = data.m_status & 0x0F;
        if (kind == MidiControlChange || kind == MidiChannelPressure) {
            const bool pressure = kind == MidiChannelPressure;
            StreamMove move{pressure, pressure ? 0 : data.m_data1, pressure ? data.m_data1 : data.m_data2};
            const Route route = RouteMove(settings, rule, m_lastInputOut, move);
            if (route == Route::Drop) continue;
            if (route == Route::SendMaster) {
                const BYTE value = static_cast<BYTE>(move.value);
                if (move.pressure) {
                    data.m_status = static_cast<BYTE>(MidiChannelPressure | channel);
                    data.m_data1 = value;
                    data.m_data2 = value;
                } else {
                    data.m_status = static_cast<BYTE>(MidiControlChange | channel);
                    data.m_data1 = static_cast<BYTE>(move.number);
                    data.m_data2 = value;
                }
            }
        }
        output->Add(&data);  // a failed Add loses only this message
    }
}
