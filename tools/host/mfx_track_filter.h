// A filter behind the host's MIDI-effect interface, as veltrace-host plays
// it through the COM module: blocks go to OnEvents as host records, live
// messages to OnInput as packed short messages.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "filter/mfx.h"
#include "midi/playback.h"

class CMfxTrackFilter final : public CTrackFilter {
public:
    explicit CMfxTrackFilter(IMfxEventFilter& filter);
    ~CMfxTrackFilter() override;
    CMfxTrackFilter(const CMfxTrackFilter&) = delete;
    CMfxTrackFilter& operator=(const CMfxTrackFilter&) = delete;

    void Start() override;
    void PlayBlock(std::uint32_t fromTick, std::uint32_t thruTick, const std::vector<MidiEvent>& block,
                   std::vector<Output>& outputs) override;
    void PlayLive(const MidiEvent& message, std::vector<MidiEvent>& outputs) override;

private:
    struct Queues;
    IMfxEventFilter& m_filter;
    std::unique_ptr<Queues> m_queues;
};

// PlayTrack through a filter behind the host's MIDI-effect interface.
MidiTrack PlayTrack(IMfxEventFilter& filter, const MidiTrack& track, const PlaybackOptions& options,
                    const WatchedStreams& streams, TrackSummary& summary);

// A channel event as a host record and back. Types the filter passes
// untouched carry the message's status nibble (0x80, 0x90, ...) as their
// type; the event's place (in its block) rides in the record's carried tail.
MfxEvent ToEventRecord(const MidiEvent& event, std::uint32_t place);
MidiEvent FromEventRecord(const MfxEvent& record);
std::uint32_t PlaceOf(const MfxEvent& record);
MfxData ToDataRecord(const MidiEvent& event);
MidiEvent FromDataRecord(const MfxData& record);
