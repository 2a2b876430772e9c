// Drives the core's two paths with messages in the neutral form of
// messages.h, through a door: the way a face hands one call's messages to the
// core. A door is a type with
//   static constexpr FilterPath kPath;     the path it runs
//   static constexpr const char* kName;    as test names show it
//   static std::vector<Msg> Pass(CFilterCore&, const std::vector<Msg>&,
//                                const std::function<void(int)>& beforeEach);
// The core's own door (Play and the router's Route) is here; the Windows
// face's (OnEvents and OnInput over the host's queues) is in
// tests/filter/path_harness.h, so the same cases run through both.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/filter_core.h"
#include "tests/core/messages.h"

template <FilterPath Path>
struct PlayDoor {
    static constexpr FilterPath kPath = Path;
    static constexpr const char* kName = Path == FilterPath::Sequenced ? "SequencedPlay" : "LivePlay";

    static std::vector<Msg> Pass(CFilterCore& core, const std::vector<Msg>& messages,
                                 const std::function<void(int)>& beforeEach) {
        std::vector<Msg> result;
        core.Play<Path>([&](auto& router) {
            for (std::size_t index = 0; index < messages.size(); ++index) {
                if (beforeEach) beforeEach(static_cast<int>(index));
                MidiBytes bytes = Encode(messages[index]);
                if (router.Route(bytes.status, bytes.data1, bytes.data2)) result.push_back(Decode(bytes));
            }
        });
        return result;
    }
};
using SequencedPlay = PlayDoor<FilterPath::Sequenced>;
using LivePlay = PlayDoor<FilterPath::Live>;

// One call of the door's path with these messages; returns what came out.
// `beforeEach` runs before the door reads each message, with its index.
template <class Door>
std::vector<Msg> Pass(CFilterCore& core, const std::vector<Msg>& messages, std::function<void(int)> beforeEach = {}) {
    return Door::Pass(core, messages, beforeEach);
}

// The master value the door's path sent last.
template <class Door>
std::int32_t LastSent(const CFilterCore& core) {
    return Door::kPath == FilterPath::Sequenced ? core.LastEventOut() : core.LastInputOut();
}

// Test names by door: "Routing/SequencedPlay.…", "Routing/OnEvents.…".
struct DoorName {
    template <class Door>
    static std::string GetName(int) {
        return Door::kName;
    }
};

inline void SetSettings(CFilterCore& core, int master, int modifier, int amount, int low, int high, int mode) {
    const int values[] = {master, modifier, amount, low, high, mode};
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) core.SetParam(SettingRow, index, values[index]);
}
