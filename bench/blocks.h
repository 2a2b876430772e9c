// The block both benchmarks run: 4096 records, half master and modifier
// moves, half other events (notes and controller 7).
#pragma once

#include <vector>

#include "filter/mfx.h"

inline constexpr int kBlock = 4096;

inline std::vector<MfxEvent> EventBlock() {
    std::vector<MfxEvent> events(kBlock);
    for (int i = 0; i < kBlock; ++i) {
        MfxEvent& event = events[static_cast<size_t>(i)];
        event.m_time = i;
        switch (i % 4) {
        case 0: event.m_type = MfxControllerEvent, event.m_data1 = 1, event.m_data2 = static_cast<BYTE>(i * 7 % 128); break;
        case 1: event.m_type = MfxChannelPressureEvent, event.m_data2 = static_cast<BYTE>(i * 13 % 128); break;
        case 2: event.m_type = 1, event.m_data1 = 60, event.m_data2 = 100; break;
        default: event.m_type = MfxControllerEvent, event.m_data1 = 7, event.m_data2 = 90; break;
        }
    }
    return events;
}

inline std::vector<MfxData> DataBlock() {
    std::vector<MfxData> messages(kBlock);
    for (int i = 0; i < kBlock; ++i) {
        MfxData& data = messages[static_cast<size_t>(i)];
        data.m_time = i;
        switch (i % 4) {
        case 0: data.m_status = 0xB0, data.m_data1 = 1, data.m_data2 = static_cast<BYTE>(i * 7 % 128); break;
        case 1: data.m_status = 0xD0, data.m_data1 = static_cast<BYTE>(i * 13 % 128); break;
        case 2: data.m_status = 0x90, data.m_data1 = 60, data.m_data2 = 100; break;
        default: data.m_status = 0xB0, data.m_data1 = 7, data.m_data2 = 90; break;
        }
    }
    return messages;
}
