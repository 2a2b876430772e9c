// Standard MIDI Files (formats 0 and 1) in memory, read from and written to
// bytes. Portable: no Windows header is needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/routing.h"

// One event of a track, at an absolute time in ticks.
struct MidiEvent {
    std::uint32_t tick = 0;
    // 0x80..0xEF: a channel message; 0xF0 or 0xF7: system exclusive (or its
    // escape form); 0xFF: a meta event.
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;  // channel messages
    std::uint8_t data2 = 0;  // channel messages with two data bytes
    std::uint8_t metaType = 0;
    std::vector<std::uint8_t> payload;  // meta and system-exclusive bytes

    bool IsChannelMessage() const { return status >= 0x80 && status < 0xF0; }
    bool IsEndOfTrack() const { return status == 0xFF && metaType == 0x2F; }
    bool operator==(const MidiEvent& other) const;
};

// A track's events in order; the last one is the end of the track.
struct MidiTrack {
    std::vector<MidiEvent> events;
};

struct MidiFile {
    std::uint16_t format = 1;
    std::uint16_t division = 480;  // ticks per quarter note, or the SMPTE form, kept as it is
    std::vector<MidiTrack> tracks;
};

// What is wrong with a file, in one line that names the problem and where.
class MidiFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The channel message in `size` bytes (status first), as a plug-in sent it,
// as an event at `tick`: data bytes the message does not have are 0.
inline MidiEvent ChannelEvent(std::uint32_t tick, const std::uint8_t* bytes, std::uint32_t size) {
    MidiEvent event;
    event.tick = tick;
    event.status = bytes[0];
    event.data1 = size > 1 ? bytes[1] : 0;
    event.data2 = size > 2 && ChannelMessageSize(bytes[0]) != 2 ? bytes[2] : 0;
    return event;
}

// Reads a whole file. Throws MidiFileError for anything that is not a
// well-formed format 0 or 1 file: no header, a truncated chunk, an event
// that runs past its track's chunk, bytes after a track's end, a track
// without an end, a status byte that has no place in a file, times beyond
// 2^31 - 1 ticks. Chunks of unknown types are skipped, as the format asks.
MidiFile ParseMidiFile(const std::uint8_t* bytes, std::size_t size);

// Writes a file: header, then one track chunk per track, without running
// status. A track whose events do not end with an end of track gets one.
// Throws MidiFileError for a gap between two events of a track that is
// longer than a delta time can hold (2^28 - 1 ticks).
std::vector<std::uint8_t> SerializeMidiFile(const MidiFile& file);
