// What the page shows of a file that went through the filter, worked out
// from the input and the output in one pass each: the streams a listener can
// pick (a track and a channel), the plot of one of them, the bars and beats
// under it, and the output as timed messages for playing to a MIDI device.
// Portable: nothing here knows the browser.
#pragma once

#include <cstdint>
#include <vector>

#include "core/routing.h"
#include "midi/midi_file.h"

// One track's channel: how many master values went in and came out there,
// and how many modifier values went in.
struct StreamMoves {
    std::uint32_t track = 0;
    std::uint32_t channel = 0;
    std::uint64_t masterIn = 0;
    std::uint64_t masterOut = 0;
    std::uint64_t modifierIn = 0;
};

// The streams that carry the master or the modifier, at most `limit` of them
// (those where the master moves most), in track and channel order.
std::vector<StreamMoves> ListStreams(const MidiFile& input, const MidiFile& output, std::int32_t master,
                                     std::int32_t modifier, std::size_t limit);

// The index in `streams` of the one to show first: where the master moves
// most after the filter (then before it, then where the modifier moves most);
// 0 for an empty list.
std::size_t BusiestStream(const std::vector<StreamMoves>& streams);

// The plot of one stream of one track's channel (a controller, or channel
// pressure for 0) in kPlotColumns columns of equal time up to `end`: each
// column holds the lowest and highest value in it and the last one (the
// latest tick), or -1 three times for a column without any.
constexpr std::uint32_t kPlotColumns = 1200;
std::vector<std::int32_t> StreamColumns(const MidiFile& file, std::uint32_t track, std::uint32_t channel,
                                        std::int32_t stream, std::uint32_t end);

// The latest tick of any track, at least 1.
std::uint32_t EndTick(const MidiFile& file);

// The time signatures, in tick order, as (tick, beats in a bar, the beat's
// note value as a power of two) triples; at most `limit` of them.
std::vector<std::int32_t> Meters(const MidiFile& file, std::size_t limit);

// Every channel message of every track in the order a sequencer plays them,
// with its time in milliseconds after the tempo changes before it (500,000
// microseconds a quarter until the first; SMPTE divisions count real time).
struct TimedMessages {
    std::vector<double> milliseconds;
    std::vector<std::uint32_t> messages;  // PackedMessage
};

// A channel message as one number for the page's script: status | data1 << 8
// | data2 << 16 | its size in bytes << 24.
inline std::uint32_t PackedMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    return status | std::uint32_t{data1} << 8 | std::uint32_t{data2} << 16 | ChannelMessageSize(status) << 24;
}
TimedMessages ScheduleFile(const MidiFile& file);
