// The Windows face's doors into the core (see tests/core/core_paths.h): the
// loops OnEvents and OnInput run (event_paths.h), over fake host queues, with
// messages in the neutral form turned into host records and back. The routing
// cases run through them (test_queue_routing.cpp); record-level details
// (carried bytes, data-byte layout) are tested per path in
// test_event_records.cpp.
#pragma once

#include <functional>
#include <vector>

#include "fake_queues.h"
#include "filter/event_paths.h"
#include "tests/core/core_paths.h"

// One call of a queue door's loop over these messages as records; what it
// added, decoded. `beforeEach` runs at the start of every GetAt.
template <class Door>
std::vector<Msg> PassQueues(CFilterCore& core, const std::vector<Msg>& messages,
                            const std::function<void(int)>& beforeEach) {
    std::vector<typename Door::Record> records;
    for (const Msg& msg : messages) records.push_back(Door::Encode(msg));
    typename Door::Queue input(records), output;
    if (beforeEach) input.m_onGetAt = [&beforeEach](LONG index) { beforeEach(static_cast<int>(index)); };
    Door::Run(core, input, output);
    std::vector<Msg> result;
    for (const auto& record : output.m_added) result.push_back(Door::Decode(record));
    return result;
}

struct SequencedOnEvents {
    static constexpr FilterPath kPath = FilterPath::Sequenced;
    static constexpr const char* kName = "OnEvents";
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
    static std::vector<Msg> Pass(CFilterCore& core, const std::vector<Msg>& messages,
                                 const std::function<void(int)>& beforeEach) {
        return PassQueues<SequencedOnEvents>(core, messages, beforeEach);
    }
};

struct LiveOnInput {
    static constexpr FilterPath kPath = FilterPath::Live;
    static constexpr const char* kName = "OnInput";
    using Record = MfxData;
    using Queue = CFakeDataQueue;

    static MfxData Encode(const Msg& msg) {
        const MidiBytes bytes = ::Encode(msg);
        return {0, bytes.status, bytes.data1, bytes.data2, 0};
    }
    static Msg Decode(const MfxData& data) { return ::Decode({data.m_status, data.m_data1, data.m_data2}); }
    static void Run(CFilterCore& core, Queue& input, Queue& output) { RunLivePath(core, &input, &output); }
    static std::vector<Msg> Pass(CFilterCore& core, const std::vector<Msg>& messages,
                                 const std::function<void(int)>& beforeEach) {
        return PassQueues<LiveOnInput>(core, messages, beforeEach);
    }
};
