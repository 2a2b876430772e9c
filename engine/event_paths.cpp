// The sequenced path (OnEvents) and the live path (OnInput). Both reduce a
// controller or channel-pressure message to a StreamMove, route it by the
// same rule, and write the master output back in their own record form.
#include "engine/filter_engine.h"

inline std::int32_t CFilterEngine::Modulate(const Settings& settings, std::int32_t base, std::int32_t modifier) {
    return ComputeModulatedValue(base, modifier, settings.lowIn, settings.highIn, settings.mode,
                                 settings.effectAmount);
}

inline CFilterEngine::Route CFilterEngine::RouteMove(const Settings& settings, std::atomic<std::int32_t>& lastSent,
                                                     StreamMove& move) {
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
        move.value = Modulate(settings, lastMaster, lastModifier);
    }
    if (isModifierMove) {
        // When one stream is both, the modifier takes the value as it now
        // stands, already modulated once.
        lastModifier = move.value;
        m_lastModifier.store(lastModifier, std::memory_order_relaxed);
        move.value = Modulate(settings, lastMaster, lastModifier);
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
    const Settings settings = ReadSettings();
    LONG count = 0;
    if (FAILED(input->GetCount(&count))) return;

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
            const Route route = RouteMove(settings, m_lastEventOut, move);
            if (route == Route::Drop) continue;
            if (route == Route::SendMaster) {
                event.m_type = move.pressure ? MfxChannelPressureEvent : MfxControllerEvent;
                event.m_data1 = static_cast<BYTE>(move.number);
                event.m_data2 = static_cast<BYTE>(move.value);
            }
        }
        output->Add(&event);  // a failed Add loses only this record
    }
}

void CFilterEngine::OnInput(IMfxDataQueue* input, IMfxDataQueue* output) {
    if (input == nullptr || output == nullptr) return;
    const Settings settings = ReadSettings();
    LONG count = 0;
    if (FAILED(input->GetCount(&count))) return;

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
            const Route route = RouteMove(settings, m_lastInputOut, move);
            if (route == Route::Drop) continue;
            if (route == Route::SendMaster) {
                const BYTE value = static_cast<BYTE>(move.value);
                if (move.pressure) {
                    // Channel pressure carries its amount in the first data
                    // byte; the second repeats it.
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
