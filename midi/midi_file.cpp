#include "midi/midi_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint32_t kMaxTick = 0x7FFFFFFF;   // host records hold signed 32-bit times
constexpr std::uint32_t kMaxDelta = 0x0FFFFFFF;  // four seven-bit groups

std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// A cursor over one region of the file; every read is checked against its end.
class CReader {
public:
    // `where` names the region in messages ("file", "track 2"); `region` is
    // what its end is called ("file", "track's chunk").
    CReader(const std::uint8_t* begin, const std::uint8_t* end, const std::uint8_t* fileStart, std::string where,
            const char* region)
        : m_at(begin), m_end(end), m_fileStart(fileStart), m_where(std::move(where)), m_region(region) {}

    bool AtEnd() const { return m_at == m_end; }
    std::size_t Remaining() const { return static_cast<std::size_t>(m_end - m_at); }
    std::size_t Offset() const { return static_cast<std::size_t>(m_at - m_fileStart); }

    std::uint8_t Byte(const char* what) {
        Need(1, what);
        return *m_at++;
    }
    std::uint32_t Big(int bytes, const char* what) {
        Need(static_cast<std::size_t>(bytes), what);
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) value = value << 8 | *m_at++;
        return value;
    }
    // A variable-length quantity: at most four bytes, seven bits each.
    std::uint32_t VariableLength(const char* what) {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t byte = Byte(what);
            value = value << 7 | (byte & 0x7F);
            if ((byte & 0x80) == 0) return value;
        }
        Fail(std::string(what) + " is longer than four bytes");
    }
    std::vector<std::uint8_t> Bytes(std::size_t count, const char* what) {
        Need(count, what);
        std::vector<std::uint8_t> bytes(m_at, m_at + count);
        m_at += count;
        return bytes;
    }
    void Skip(std::size_t count, const char* what) {
        Need(count, what);
        m_at += count;
    }
    [[noreturn]] void Fail(const std::string& problem) const {
        throw MidiFileError(m_where + ": " + problem + " (byte " + std::to_string(Offset()) + ")");
    }

private:
    void Need(std::size_t count, const char* what) const {
        if (Remaining() < count) Fail(std::string(what) + " runs past the end of the " + m_region);
    }
    const std::uint8_t* m_at;
    const std::uint8_t* m_end;
    const std::uint8_t* m_fileStart;
    std::string m_where;
    const char* m_region;
};

MidiTrack ParseTrack(CReader& in) {
    MidiTrack track;
    std::uint64_t tick = 0;
    std::uint8_t runningStatus = 0;  // none
    for (;;) {
        if (in.AtEnd()) in.Fail("no end-of-track event");
        tick += in.VariableLength("a delta time");
        if (tick > kMaxTick) in.Fail("times beyond tick " + std::to_string(kMaxTick));
        MidiEvent event;
        event.tick = static_cast<std::uint32_t>(tick);
        const std::uint8_t first = in.Byte("an event");
        const bool running = first < 0x80;  // the status is the previous one; this is the first data byte
        if (running && runningStatus == 0) in.Fail("a data byte " + Hex(first) + " with no running status in effect");
        const std::uint8_t status = running ? runningStatus : first;
        event.status = status;
        if (status < 0xF0) {
            event.data1 = running ? first : in.Byte("a channel message");
            if (ChannelMessageSize(status) == 3) event.data2 = in.Byte("a channel message");
            if (event.data1 > 0x7F || event.data2 > 0x7F) in.Fail("a data byte above 127 in a channel message");
            runningStatus = status;
        } else if (status == 0xFF) {
            event.metaType = in.Byte("a meta event");
            const std::uint32_t length = in.VariableLength("a meta event's length");
            event.payload = in.Bytes(length, "a meta event");
            // Meta events leave running status alone, as most files expect.
        } else if (status == 0xF0 || status == 0xF7) {
            const std::uint32_t length = in.VariableLength("a system-exclusive event's length");
            event.payload = in.Bytes(length, "a system-exclusive event");
            runningStatus = 0;  // system-exclusive events cancel running status
        } else {
            in.Fail("status byte " + Hex(status) + ", which has no place in a MIDI file");
        }
        const bool end = event.IsEndOfTrack();
        track.events.push_back(std::move(event));
        if (end) break;
    }
    if (!in.AtEnd())
        in.Fail(std::to_string(in.Remaining()) + " bytes after the end-of-track event (the chunk is longer than its track)");
    return track;
}

void PutBig(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void PutVariableLength(std::vector<std::uint8_t>& out, std::uint32_t value) {
    std::uint8_t groups[5];
    int count = 0;
    do {
        groups[count++] = value & 0x7F;
        value >>= 7;
    } while (value != 0);
    while (count > 1) out.push_back(groups[--count] | 0x80);
    out.push_back(groups[0]);
}

}  // namespace

bool MidiEvent::operator==(const MidiEvent& other) const {
    return tick == other.tick && status == other.status && data1 == other.data1 && data2 == other.data2 &&
           metaType == other.metaType && payload == other.payload;
}

MidiFile ParseMidiFile(const std::uint8_t* bytes, std::size_t size) {
    CReader file(bytes, bytes + size, bytes, "file", "file");
    if (size < 4 || std::memcmp(bytes, "MThd", 4) != 0) throw MidiFileError("not a MIDI file: it does not begin with MThd");
    file.Big(4, "the header");
    const std::uint32_t headerLength = file.Big(4, "the header");
    if (headerLength < 6) file.Fail("a header of " + std::to_string(headerLength) + " bytes; it needs 6");
    if (headerLength > file.Remaining())
        file.Fail("truncated: the header declares " + std::to_string(headerLength) + " bytes, only " +
                  std::to_string(file.Remaining()) + " remain");
    MidiFile midi;
    midi.format = static_cast<std::uint16_t>(file.Big(2, "the header"));
    const std::uint32_t declaredTracks = file.Big(2, "the header");
    midi.division = static_cast<std::uint16_t>(file.Big(2, "the header"));
    file.Bytes(headerLength - 6, "the header");
    if (midi.format > 1) file.Fail("format " + std::to_string(midi.format) + "; only formats 0 and 1 are played");

    while (!file.AtEnd()) {
        if (file.Remaining() < 8) file.Fail("truncated: a chunk header of " + std::to_string(file.Remaining()) + " bytes");
        const std::vector<std::uint8_t> type = file.Bytes(4, "a chunk header");
        const std::uint32_t length = file.Big(4, "a chunk header");
        const std::string name(type.begin(), type.end());
        if (length > file.Remaining())
            file.Fail("truncated: chunk " + name + " declares " + std::to_string(length) + " bytes, only " +
                      std::to_string(file.Remaining()) + " remain");
        const std::size_t start = file.Offset();
        file.Skip(length, "a chunk");
        if (name != "MTrk") continue;  // a chunk of another kind: skipped
        CReader track(bytes + start, bytes + start + length, bytes, "track " + std::to_string(midi.tracks.size() + 1),
                      "track's chunk");
        midi.tracks.push_back(ParseTrack(track));
    }
    if (midi.tracks.size() != declaredTracks)
        throw MidiFileError("file: the header declares " + std::to_string(declaredTracks) + " tracks, the file holds " +
                            std::to_string(midi.tracks.size()));
    if (midi.format == 0 && midi.tracks.size() != 1)
        throw MidiFileError("file: format 0 with " + std::to_string(midi.tracks.size()) + " tracks; it holds one");
    return midi;
}

std::vector<std::uint8_t> SerializeMidiFile(const MidiFile& file) {
    std::vector<std::uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    PutBig(out, file.format, 2);
    PutBig(out, static_cast<std::uint32_t>(file.tracks.size()), 2);
    PutBig(out, file.division, 2);
    for (std::size_t number = 1; number <= file.tracks.size(); ++number) {
        const MidiTrack& track = file.tracks[number - 1];
        const std::size_t start = out.size();
        out.insert(out.end(), {'M', 'T', 'r', 'k', 0, 0, 0, 0});
        std::uint32_t previous = 0;
        for (const MidiEvent& event : track.events) {
            const std::uint32_t delta = event.tick >= previous ? event.tick - previous : 0;
            if (delta > kMaxDelta)
                throw MidiFileError("track " + std::to_string(number) + ": a gap of " + std::to_string(delta) +
                                    " ticks between two events; a delta time holds at most " + std::to_string(kMaxDelta));
            PutVariableLength(out, delta);
            previous = std::max(previous, event.tick);
            out.push_back(event.status);
            if (event.IsChannelMessage()) {
                out.push_back(event.data1);
                if (ChannelMessageSize(event.status) == 3) out.push_back(event.data2);
                continue;
            }
            if (event.status == 0xFF) out.push_back(event.metaType);
            PutVariableLength(out, static_cast<std::uint32_t>(event.payload.size()));
            out.insert(out.end(), event.payload.begin(), event.payload.end());
        }
        if (track.events.empty() || !track.events.back().IsEndOfTrack()) out.insert(out.end(), {0x00, 0xFF, 0x2F, 0x00});
        const std::uint32_t length = static_cast<std::uint32_t>(out.size() - start - 8);
        for (int i = 0; i < 4; ++i) out[start + 4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    }
    return out;
}
