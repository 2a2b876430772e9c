#include "tools/host/playback.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The host's side of a queue: a vector that serves records and collects
// what the filter adds. It lives on the host's stack; references are not
// counted.
template <class QueueInterface, class Record>
class CVectorQueue final : public QueueInterface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Add(const Record* record) override {
        m_records.push_back(*record);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) override {
        *count = static_cast<LONG>(m_records.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAt(LONG index, Record* record) override {
        if (index < 0 || static_cast<std::size_t>(index) >= m_records.size()) return E_FAIL;
        *record = m_records[static_cast<std::size_t>(index)];
        return S_OK;
    }

    std::vector<Record> m_records;
};

using CEventQueue = CVectorQueue<IMfxEventQueue, MfxEvent>;
using CDataQueue = CVectorQueue<IMfxDataQueue, MfxData>;

constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kChannelPressure = 0xD0;

bool OnStream(const MidiEvent& event, std::int32_t stream) {
    const std::uint8_t kind = event.status & 0xF0;
    if (stream == 0) return kind == kChannelPressure;
    return kind == kControlChange && event.data1 == stream;
}

// An output event in its place: the place of the input it came from.
struct Placed {
    std::uint32_t place;
    MidiEvent event;
};

}  // namespace

TrackSummary& TrackSummary::operator+=(const TrackSummary& other) {
    eventsIn += other.eventsIn;
    eventsOut += other.eventsOut;
    masterSent += other.masterSent;
    repeatsDropped += other.repeatsDropped;
    modifierConsumed += other.modifierConsumed;
    return *this;
}

MfxEvent ToEventRecord(const MidiEvent& event, std::uint32_t place) {
    MfxEvent record{};
    record.m_time = static_cast<LONG>(event.tick);
    record.m_channel = event.status & 0x0F;
    const std::uint8_t kind = event.status & 0xF0;
    if (kind == kControlChange) {
        record.m_type = MfxControllerEvent;
        record.m_data1 = event.data1;
        record.m_data2 = event.data2;
    } else if (kind == kChannelPressure) {
        record.m_type = MfxChannelPressureEvent;
        record.m_data2 = event.data1;  // the amount is the record's second data byte
    } else {
        record.m_type = kind;
        record.m_data1 = event.data1;
        record.m_data2 = event.data2;
    }
    std::memcpy(record.m_reserved, &place, sizeof place);
    return record;
}

std::uint32_t PlaceOf(const MfxEvent& record) {
    std::uint32_t place;
    std::memcpy(&place, record.m_reserved, sizeof place);
    return place;
}

MidiEvent FromEventRecord(const MfxEvent& record) {
    MidiEvent event;
    event.tick = static_cast<std::uint32_t>(record.m_time);
    const std::uint8_t channel = record.m_channel & 0x0F;
    if (record.m_type == MfxControllerEvent) {
        event.status = kControlChange | channel;
        event.data1 = record.m_data1;
        event.data2 = record.m_data2;
    } else if (record.m_type == MfxChannelPressureEvent) {
        event.status = kChannelPressure | channel;
        event.data1 = record.m_data2;
    } else {
        event.status = static_cast<std::uint8_t>(record.m_type) | channel;
        event.data1 = record.m_data1;
        event.data2 = record.m_data2;
    }
    return event;
}

MfxData ToDataRecord(const MidiEvent& event) {
    MfxData record{};
    record.m_time = static_cast<LONG>(event.tick);
    record.m_status = event.status;
    record.m_data1 = event.data1;
    record.m_data2 = event.data2;
    return record;
}

MidiEvent FromDataRecord(const MfxData& record) {
    MidiEvent event;
    event.tick = static_cast<std::uint32_t>(record.m_time);
    event.status = record.m_status;
    event.data1 = record.m_data1;
    event.data2 = DataBytesOf(record.m_status) == 2 ? record.m_data2 : 0;
    return event;
}

struct CMfxTrackFilter::Queues {
    CEventQueue input, sent;
    CDataQueue liveInput, liveSent;
};

CMfxTrackFilter::CMfxTrackFilter(IMfxEventFilter& filter) : m_filter(filter), m_queues(std::make_unique<Queues>()) {}
CMfxTrackFilter::~CMfxTrackFilter() = default;

void CMfxTrackFilter::Start() { m_filter.OnStart(0); }

void CMfxTrackFilter::PlayBlock(std::uint32_t fromTick, std::uint32_t thruTick, const std::vector<MidiEvent>& block,
                                std::vector<Output>& outputs) {
    Queues& queues = *m_queues;
    queues.input.m_records.clear();
    queues.sent.m_records.clear();
    for (std::uint32_t index = 0; index < block.size(); ++index)
        queues.input.m_records.push_back(ToEventRecord(block[index], index));
    m_filter.OnEvents(static_cast<LONG>(fromTick), static_cast<LONG>(thruTick), &queues.input, &queues.sent);
    for (const MfxEvent& record : queues.sent.m_records) outputs.push_back({PlaceOf(record), FromEventRecord(record)});
}

void CMfxTrackFilter::PlayLive(const MidiEvent& message, std::vector<MidiEvent>& outputs) {
    Queues& queues = *m_queues;
    queues.liveInput.m_records.assign(1, ToDataRecord(message));
    queues.liveSent.m_records.clear();
    m_filter.OnInput(&queues.liveInput, &queues.liveSent);
    for (const MfxData& record : queues.liveSent.m_records) outputs.push_back(FromDataRecord(record));
}

MidiTrack PlayTrack(IMfxEventFilter& filter, const MidiTrack& track, const PlaybackOptions& options,
                    const WatchedStreams& streams, TrackSummary& summary) {
    CMfxTrackFilter trackFilter(filter);
    return PlayTrack(trackFilter, track, options, streams, summary);
}

MidiTrack PlayTrack(CTrackFilter& filter, const MidiTrack& track, const PlaybackOptions& options,
                    const WatchedStreams& streams, TrackSummary& summary) {
    summary = TrackSummary{};
    std::vector<Placed> output;
    output.reserve(track.events.size());
    const auto send = [&](std::uint32_t place, MidiEvent event) {
        ++summary.eventsOut;
        if (OnStream(event, streams.masterCc)) ++summary.masterSent;
        output.push_back({place, std::move(event)});
    };

    filter.Start();
    if (options.live) {
        std::vector<MidiEvent> sent;
        for (std::uint32_t place = 0; place < track.events.size(); ++place) {
            const MidiEvent& event = track.events[place];
            if (!event.IsChannelMessage()) continue;
            sent.clear();
            filter.PlayLive(event, sent);
            for (MidiEvent& out : sent) send(place, std::move(out));
        }
    } else {
        const std::uint64_t slice = std::max<std::uint32_t>(options.sliceTicks, 1);
        const std::uint64_t lastTick = track.events.empty() ? 0 : track.events.back().tick;
        std::vector<MidiEvent> block;
        std::vector<std::uint32_t> places;  // of the block's events in the track
        std::vector<CTrackFilter::Output> sent;
        std::uint32_t next = 0;  // the next event to hand over
        for (std::uint64_t from = 0; from <= lastTick; from += slice) {
            block.clear();
            places.clear();
            sent.clear();
            for (; next < track.events.size() && track.events[next].tick < from + slice; ++next) {
                if (!track.events[next].IsChannelMessage()) continue;
                block.push_back(track.events[next]);
                places.push_back(next);
            }
            const auto thru = static_cast<std::uint32_t>(std::min<std::uint64_t>(from + slice - 1, 0x7FFFFFFF));
            filter.PlayBlock(static_cast<std::uint32_t>(from), thru, block, sent);
            for (CTrackFilter::Output& out : sent)
                if (out.input < places.size()) send(places[out.input], std::move(out.event));
        }
    }

    MidiTrack played;
    played.events.reserve(output.size() + track.events.size());
    std::size_t nextOut = 0;
    for (std::uint32_t place = 0; place < track.events.size(); ++place) {
        const MidiEvent& event = track.events[place];
        if (event.IsChannelMessage()) {
            ++summary.eventsIn;
            if (streams.modifierCc != streams.masterCc && OnStream(event, streams.modifierCc)) ++summary.modifierConsumed;
            // The filter keeps the order of what it sends; each output takes the place of its input.
            for (; nextOut < output.size() && output[nextOut].place == place; ++nextOut)
                played.events.push_back(std::move(output[nextOut].event));
        } else {
            played.events.push_back(event);
        }
    }
    summary.repeatsDropped = summary.eventsIn - summary.eventsOut;  // the filter drops nothing but repeats
    return played;
}
