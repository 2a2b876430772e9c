// Drives either event path with messages written in one neutral form, so the
// routing cases are written once and checked on both paths. Record-level
// details (carried bytes, data-byte layout) are tested per path elsewhere.
#pragma once

#include <functional>
#include <vector>

#include "filter/event_paths.h"
#include "fake_queues.h"
#include "tests/core/messages.h"

struct SequencedPath {
    using Record = MfxEvent;
    using Queue = CFakeEventQueue;
    static constexpr LONG kNoteType = 1;

    static MfxEvent Encode(const Msg& msg) {
        MfxEvent event{};
        event.m_channel = static_cast<BYTE>(msg.channel);
        event.m_type = msg.kind == Msg::Cc ? MfxControllerEvent
                       : msg.kind == Msg::Pressure ? MfxChannelPressureEvent
                                                   : kNoteType;
        event.m_data1 = static_cast<BYTE>(msg.number);
        event.m_data2 = static_cast<BYTE>(msg.value);
        return event;
    }
    static Msg Decode(const MfxEvent& event) {
        const Msg::Kind kind = event.m_type == MfxControllerEvent        ? Msg::Cc
                               : event.m_type == MfxChannelPressureEvent ? Msg::Pressure
                                                                         : Msg::Note;
        return {kind, event.m_data1, event.m_data2, event.m_channel};
    }
    static void Run(CFilterCore& core, Queue& input, Queue& output) { RunSequencedPath(core, &input, &output); }
    static std::int32_t LastSent(const CFilterCore& core) { return core.LastEventOut(); }
};

struct LivePath {
    using Record = MfxData;
    using Queue = CFakeDataQueue;

    static MfxData Encode(const Msg& msg) {
        const MidiBytes bytes = ::Encode(msg);
        return {0, bytes.status, bytes.data1, bytes.data2, 0};
    }
    static Msg Decode(const MfxData& data) { return ::Decode({data.m_status, data.m_data1, data.m_data2}); }
    static void Run(CFilterCore& core, Queue& input, Queue& output) { RunLivePath(core, &input, &output); }
    static std::int32_t LastSent(const CFilterCore& core) { return core.LastInputOut(); }
};

// One call of the path with these messages; returns what came out.
// `onGetAt` runs at the start of every GetAt of the input queue.
template <class Path>
std::vector<Msg> Pass(CFilterCore& core, const std::vector<Msg>& messages,
                      std::function<void(LONG)> onGetAt = {}) {
    std::vector<typename Path::Record> records;
    for (const Msg& msg : messages) records.push_back(Path::Encode(msg));
    typename Path::Queue input(records), output;
    input.m_onGetAt = std::move(onGetAt);
    Path::Run(core, input, output);
    std::vector<Msg> result;
    for (const auto& record : output.m_added) result.push_back(Path::Decode(record));
    return result;
}

inline void SetSettings(CFilterCore& core, int master, int modifier, int amount, int low, int high, int mode) {
    const int values[] = {master, modifier, amount, low, high, mode};
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) core.SetParam(SettingRow, index, values[index]);
}
