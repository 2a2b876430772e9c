// Playing one track of a MIDI file through a filter the way a sequencer does:
// its channel events are handed to the filter block by block during
// playback (or message by message as live input), and what comes out takes
// their place in the track, at their times. Portable: the filter is any
// CTrackFilter (the core itself here; in veltrace-host also the COM module
// behind the host's queues, an LV2, CLAP or VST3 instance).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "midi/midi_file.h"

struct PlaybackOptions {
    bool live = false;               // OnInput, one message at a time, instead of OnEvents
    std::uint32_t sliceTicks = 120;  // the length of one OnEvents block
};

// The two streams the filter watches, as its settings name them; 0 is
// channel pressure.
struct WatchedStreams {
    std::int32_t masterCc = 1;
    std::int32_t modifierCc = 0;
};

// The value an event carries on one stream (a controller number, or 0 for
// channel pressure), or none when it is not on that stream.
std::optional<std::int32_t> StreamValue(const MidiEvent& event, std::int32_t stream);

struct TrackSummary {
    std::uint64_t eventsIn = 0;          // channel events given to the filter
    std::uint64_t eventsOut = 0;         // channel events it sent on
    std::uint64_t masterSent = 0;        // of those, values on the master stream
    std::uint64_t repeatsDropped = 0;    // events in that nothing came out for
    std::uint64_t modifierConsumed = 0;  // modifier-stream events in (when it is not also the master)

    TrackSummary& operator+=(const TrackSummary& other);
};

// A filter as playback drives it, in the form of one kind of plug-in host.
// PlayTrack hands it a track's channel events, a block at a time during
// playback or one message at a time as live input; the filter says what
// comes out, in order, each output with the index in its block of the input
// it came from.
class CTrackFilter {
public:
    struct Output {
        std::uint32_t input;  // index in the block
        MidiEvent event;      // its tick is the input's
    };

    virtual ~CTrackFilter() = default;
    // Playback starts (the filter forgets what it sent last).
    virtual void Start() = 0;
    // The channel events of ticks fromTick..thruTick, in order; may be empty.
    virtual void PlayBlock(std::uint32_t fromTick, std::uint32_t thruTick, const std::vector<MidiEvent>& block,
                           std::vector<Output>& outputs) = 0;
    // One live message; all outputs come from it.
    virtual void PlayLive(const MidiEvent& message, std::vector<MidiEvent>& outputs) = 0;
};

// Plays `track` through `filter` from the start (Start first) and returns
// it with the filter's output in place of its channel events. Meta and
// system-exclusive events keep their times and places. The track's counts
// go to `summary`.
MidiTrack PlayTrack(CTrackFilter& filter, const MidiTrack& track, const PlaybackOptions& options,
                    const WatchedStreams& streams, TrackSummary& summary);

// Plays every track of `input` through a new filter of its own (as a
// sequencer inserts the effect per track) and returns the file with their
// output; each track's counts go to `summaries`. `trackDone`, if given, is
// told after each track, for a progress report.
MidiFile PlayFile(const MidiFile& input, const std::function<std::unique_ptr<CTrackFilter>()>& newFilter,
                  const PlaybackOptions& options, const WatchedStreams& streams, std::vector<TrackSummary>& summaries,
                  const std::function<void(const TrackSummary&)>& trackDone = {});
