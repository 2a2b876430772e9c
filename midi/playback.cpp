#include "midi/playback.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kChannelPressure = 0xD0;

// An output event in its place: the place of the input it came from.
struct Placed {
    std::uint32_t place;
    MidiEvent event;
};

}  // namespace

std::optional<std::int32_t> StreamValue(const MidiEvent& event, std::int32_t stream) {
    const std::uint8_t kind = event.status & 0xF0;
    if (stream == 0 && kind == kChannelPressure) return event.data1;
    if (stream != 0 && kind == kControlChange && event.data1 == stream) return event.data2;
    return std::nullopt;
}

TrackSummary& TrackSummary::operator+=(const TrackSummary& other) {
    eventsIn += other.eventsIn;
    eventsOut += other.eventsOut;
    masterSent += other.masterSent;
    repeatsDropped += other.repeatsDropped;
    modifierConsumed += other.modifierConsumed;
    return *this;
}

MidiTrack PlayTrack(CTrackFilter& filter, const MidiTrack& track, const PlaybackOptions& options,
                    const WatchedStreams& streams, TrackSummary& summary) {
    summary = TrackSummary{};
    std::vector<Placed> output;
    output.reserve(track.events.size());
    const auto send = [&](std::uint32_t place, MidiEvent event) {
        ++summary.eventsOut;
        if (StreamValue(event, streams.masterCc)) ++summary.masterSent;
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
            if (streams.modifierCc != streams.masterCc && StreamValue(event, streams.modifierCc))
                ++summary.modifierConsumed;
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

MidiFile PlayFile(const MidiFile& input, const std::function<std::unique_ptr<CTrackFilter>()>& newFilter,
                  const PlaybackOptions& options, const WatchedStreams& streams, std::vector<TrackSummary>& summaries,
                  const std::function<void(const TrackSummary&)>& trackDone) {
    MidiFile output = input;
    summaries.assign(input.tracks.size(), TrackSummary{});
    for (std::size_t i = 0; i < input.tracks.size(); ++i) {
        const std::unique_ptr<CTrackFilter> filter = newFilter();
        output.tracks[i] = PlayTrack(*filter, input.tracks[i], options, streams, summaries[i]);
        if (trackDone) trackDone(summaries[i]);
    }
    return output;
}
