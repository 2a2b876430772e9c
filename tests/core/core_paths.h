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

// One call of the path with these messages; returns what came out.
// `onMessage` runs before each message is routed.
template <class Path>
std::vector<Msg> Pass(CFilterCore& core, const std::vector<Msg>& messages, std::function<void(int)> onMessage = {}) {
    std::vector<Msg> result;
    core.Play<Path::kPath>([&](auto& router) {
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
