#include "tools/host/mfx_track_filter.h"

#include <cstring>

#include "core/routing.h"

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

}  // namespace

MfxEvent ToEventRecord(const MidiEvent& event, std::uint32_t place) {
    MfxEvent record{};
    record.m_time = static_cast<LONG>(event.tick);
    record.m_channel = event.status & 0x0F;
    const std::uint8_t kind = event.status & 0xF0;
    if (kind == MidiControlChange) {
        record.m_type = MfxControllerEvent;
        record.m_data1 = event.data1;
        record.m_data2 = event.data2;
    } else if (kind == MidiChannelPressure) {
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
        event.status = MidiControlChange | channel;
        event.data1 = record.m_data1;
        event.data2 = record.m_data2;
    } else if (record.m_type == MfxChannelPressureEvent) {
        event.status = MidiChannelPressure | channel;
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
    event.data2 = ChannelMessageSize(record.m_status) == 2 ? 0 : record.m_data2;
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

