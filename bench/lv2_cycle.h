// The LV2 benchmarks' cycle: the records of EventBlock as MIDI events at
// frames 0..4095, in the plug-in's input, with room in its output for all.
#pragma once

#include "bench/blocks.h"
#include "tests/lv2/lv2_host.h"

// Room for the cycle: 4096 events of 24 bytes, and the sequence's header.
inline constexpr std::uint32_t kLv2CycleRoom = 1 << 17;

inline void WriteEventCycle(CLv2TestHost& host) {
    host.Clear();
    for (const MfxEvent& event : EventBlock()) {
        const std::uint8_t channel = event.m_channel & 0x0F;
        if (event.m_type == MfxControllerEvent) {
            const std::uint8_t bytes[] = {static_cast<std::uint8_t>(0xB0 | channel), event.m_data1, event.m_data2};
            host.Midi(event.m_time, bytes, 3);
        } else if (event.m_type == MfxChannelPressureEvent) {
            const std::uint8_t bytes[] = {static_cast<std::uint8_t>(0xD0 | channel), event.m_data2};
            host.Midi(event.m_time, bytes, 2);
        } else {
            const std::uint8_t bytes[] = {static_cast<std::uint8_t>(0x90 | channel), event.m_data1, event.m_data2};
            host.Midi(event.m_time, bytes, 3);
        }
    }
}
