#include "web/file_views.h"

#include <algorithm>
#include <array>
#include <optional>
#include <tuple>

#include "midi/playback.h"

namespace {

constexpr std::uint8_t kMeta = 0xFF, kTempo = 0x51, kTimeSignature = 0x58;
constexpr std::uint32_t kChannels = 16;

std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> Moves(const StreamMoves& s) {
    return {s.masterOut, s.masterIn, s.modifierIn};
}

}  // namespace

std::vector<StreamMoves> ListStreams(const MidiFile& input, const MidiFile& output, std::int32_t master,
                                     std::int32_t modifier, std::size_t limit) {
    std::vector<StreamMoves> streams;
    for (std::uint32_t track = 0; track < input.tracks.size(); ++track) {
        std::array<StreamMoves, kChannels> channels{};
        for (const MidiEvent& event : input.tracks[track].events) {
            if (!event.IsChannelMessage()) continue;
            StreamMoves& here = channels[event.status & 0x0F];
            here.masterIn += StreamValue(event, master) ? 1 : 0;
            here.modifierIn += StreamValue(event, modifier) ? 1 : 0;
        }
        if (track < output.tracks.size())
            for (const MidiEvent& event : output.tracks[track].events)
                if (event.IsChannelMessage() && StreamValue(event, master)) ++channels[event.status & 0x0F].masterOut;
        for (std::uint32_t channel = 0; channel < kChannels; ++channel) {
            StreamMoves& here = channels[channel];
            if (here.masterIn + here.masterOut + here.modifierIn == 0) continue;
            here.track = track;
            here.channel = channel;
            streams.push_back(here);
        }
    }
    if (streams.size() > limit) {
        std::stable_sort(streams.begin(), streams.end(),
                         [](const StreamMoves& a, const StreamMoves& b) { return Moves(a) > Moves(b); });
        streams.resize(limit);
        std::sort(streams.begin(), streams.end(), [](const StreamMoves& a, const StreamMoves& b) {
            return std::tie(a.track, a.channel) < std::tie(b.track, b.channel);
        });
    }
    return streams;
}

std::size_t BusiestStream(const std::vector<StreamMoves>& streams) {
    std::size_t busiest = 0;
    for (std::size_t index = 1; index < streams.size(); ++index)
        if (Moves(streams[index]) > Moves(streams[busiest])) busiest = index;
    return busiest;
}

std::vector<std::int32_t> StreamColumns(const MidiFile& file, std::uint32_t track, std::uint32_t channel,
                                        std::int32_t stream, std::uint32_t end) {
    std::vector<std::int32_t> columns(kPlotColumns * 3, -1);
    if (track >= file.tracks.size()) return columns;
    std::vector<std::int64_t> lastTick(kPlotColumns, -1);
    for (const MidiEvent& event : file.tracks[track].events) {
        if (!event.IsChannelMessage() || (event.status & 0x0F) != channel) continue;
        const std::optional<std::int32_t> onStream = StreamValue(event, stream);
        if (!onStream) continue;
        const std::int32_t value = *onStream;
        const auto column = static_cast<std::size_t>(std::uint64_t{event.tick} * (kPlotColumns - 1) / end);
        std::int32_t* cell = &columns[column * 3];
        if (cell[0] < 0 || value < cell[0]) cell[0] = value;
        if (value > cell[1]) cell[1] = value;
        if (std::int64_t{event.tick} >= lastTick[column]) {
            lastTick[column] = event.tick;
            cell[2] = value;
        }
    }
    return columns;
}

std::uint32_t EndTick(const MidiFile& file) {
    std::uint32_t end = 1;
    for (const MidiTrack& track : file.tracks)
        if (!track.events.empty()) end = std::max(end, track.events.back().tick);
    return end;
}

std::vector<std::int32_t> Meters(const MidiFile& file, std::size_t limit) {
    std::vector<std::array<std::int32_t, 3>> found;
    for (const MidiTrack& track : file.tracks)
        for (const MidiEvent& event : track.events)
            if (event.status == kMeta && event.metaType == kTimeSignature && event.payload.size() >= 2 &&
                event.payload[0] > 0 && event.payload[1] < 8)
                found.push_back({static_cast<std::int32_t>(event.tick), event.payload[0], event.payload[1]});
    // A later track's change at the same tick wins, as it is read last.
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a[0] < b[0]; });
    std::vector<std::int32_t> meters;
    for (const auto& meter : found) {
        if (!meters.empty() && meters[meters.size() - 3] == meter[0]) meters.resize(meters.size() - 3);
        if (meters.size() / 3 >= limit) break;
        meters.insert(meters.end(), meter.begin(), meter.end());
    }
    return meters;
}

TimedMessages ScheduleFile(const MidiFile& file) {
    struct Timed {
        std::uint32_t tick;
        std::uint32_t tempo;    // microseconds a quarter, for a tempo change
        std::uint32_t message;  // 0 for a tempo change
    };
    std::vector<Timed> events;
    for (const MidiTrack& track : file.tracks)
        for (const MidiEvent& event : track.events) {
            if (event.IsChannelMessage()) {
                events.push_back({event.tick, 0, PackedMessage(event.status, event.data1, event.data2)});
            } else if (event.status == kMeta && event.metaType == kTempo && event.payload.size() >= 3) {
                const std::uint32_t tempo = std::uint32_t{event.payload[0]} << 16 |
                                            std::uint32_t{event.payload[1]} << 8 | event.payload[2];
                if (tempo > 0) events.push_back({event.tick, tempo, 0});
            }
        }
    // Tracks play together: by tick, each track's own order kept, a tempo
    // change before the messages at its tick.
    std::stable_sort(events.begin(), events.end(), [](const Timed& a, const Timed& b) {
        return a.tick != b.tick ? a.tick < b.tick : (a.message == 0 && b.message != 0);
    });
    TimedMessages timed;
    const bool smpte = (file.division & 0x8000) != 0;
    const double framesPerSecond = smpte ? -static_cast<double>(static_cast<std::int8_t>(file.division >> 8)) : 0;
    const double ticksPerSecond = smpte ? (framesPerSecond == 29 ? 29.97 : framesPerSecond) * (file.division & 0xFF) : 0;
    const double ticksPerQuarter = file.division > 0 ? file.division : 480;
    double since = 0, sinceTick = 0, msPerTick = 500.0 / ticksPerQuarter;
    for (const Timed& event : events) {
        const double ms = smpte ? (ticksPerSecond > 0 ? event.tick * 1000.0 / ticksPerSecond : 0)
                                : since + (event.tick - sinceTick) * msPerTick;
        if (event.message == 0) {
            since = ms;
            sinceTick = event.tick;
            msPerTick = event.tempo / 1000.0 / ticksPerQuarter;
            continue;
        }
        timed.milliseconds.push_back(ms);
        timed.messages.push_back(event.message);
    }
    return timed;
}
