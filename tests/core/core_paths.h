// Drives the core's two paths through its own door, CFilterCore::Play and the
// router's Route, with messages in the neutral form of messages.h.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/filter_core.h"
#include "tests/core/messages.h"

struct SequencedPath {
    static constexpr FilterPath kPath = FilterPath::Sequenced;
    static std::int32_t LastSent(const CFilterCore& core) { return core.LastEventOut(); }
};

struct LivePath {
    static constexpr FilterPath kPath = FilterPath::Live;
    static std::int32_t LastSent(const CFilterCore& core) { return core.LastInputOut(); }
};

struct MidiBytes {
    std::uint8_t status, data1, data2;
};

inline MidiBytes Encode(const Msg& msg) {
    const auto channel = static_cast<std::uint8_t>(msg.channel);
    const auto number = static_cast<std::uint8_t>(msg.number), value = static_cast<std::uint8_t>(msg.value);
    switch (msg.kind) {
    case Msg::Cc: return {static_cast<std::uint8_t>(0xB0 | channel), number, value};
    case Msg::Pressure: return {static_cast<std::uint8_t>(0xD0 | channel), value, 0};
    default: return {static_cast<std::uint8_t>(0x90 | channel), number, value};
    }
}

inline Msg Decode(const MidiBytes& bytes) {
    const int channel = bytes.status & 0x0F;
    switch (bytes.status & 0xF0) {
    case 0xB0: return CcMsg(bytes.data1, bytes.data2, channel);
    case 0xD0: return PressureMsg(bytes.data1, channel);
    default: return NoteMsg(bytes.data1, bytes.data2, channel);
    }
}

// One call of the path with these messages; returns what came out.
// `onMessage` runs before each message is routed.
template <class Path>
std::vector<Msg> Pass(CFilterCore& core, const std::vector<Msg>& messages, std::function<void(int)> onMessage = {}) {
    std::vector<Msg> result;
    core.Play(Path::kPath, [&](auto& router) {
        for (std::size_t index = 0; index < messages.size(); ++index) {
            if (onMessage) onMessage(static_cast<int>(index));
            MidiBytes bytes = Encode(messages[index]);
            if (router.Route(bytes.status, bytes.data1, bytes.data2)) result.push_back(Decode(bytes));
        }
    });
    return result;
}

inline void SetSettings(CFilterCore& core, int master, int modifier, int amount, int low, int high, int mode) {
    const int values[] = {master, modifier, amount, low, high, mode};
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) core.SetParam(SettingRow, index, values[index]);
}
