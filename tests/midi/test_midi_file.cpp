// The host's MIDI file reader and writer: what well-formed files hold, and a
// clear message for each way a file can be wrong.
#include <gtest/gtest.h>

#include "midi/midi_file.h"
#include "tests/midi/midi_bytes.h"

namespace {

MidiFile Parse(const Bytes& bytes) { return ParseMidiFile(bytes.data(), bytes.size()); }

std::string ErrorOf(const Bytes& bytes) {
    try {
        Parse(bytes);
    } catch (const MidiFileError& error) {
        return error.what();
    }
    return "no error";
}

TEST(MidiFile, EveryMalformationHasItsOwnMessage) {
    struct Case {
        const char* what;
        Bytes bytes;
        const char* message;
    };
    const Bytes note = {0x00, 0x90, 0x3C, 0x40};
    Bytes far;  // nine notes, each 2^28 - 1 ticks after the last
    for (int i = 0; i < 9; ++i) far.insert(far.end(), {0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x40});
    const Case cases[] = {
        {"empty", {}, "not a MIDI file"},
        {"another format", {'R', 'I', 'F', 'F', 0, 0, 0, 4, 'W', 'A', 'V', 'E'}, "not a MIDI file"},
        {"short header", Chunk("MThd", {0, 1, 0, 1}), "a header of 4 bytes; it needs 6"},
        {"header cut", Concat({{'M', 'T', 'h', 'd', 0, 0, 0, 6}, {0, 1, 0}}), "truncated: the header declares 6 bytes, only 3 remain"},
        {"format 2", Concat({Header(2, 1), Chunk("MTrk", kEndOfTrack)}), "format 2; only formats 0 and 1"},
        {"track chunk cut", Concat({Header(1, 1), Chunk("MTrk", kEndOfTrack, 100)}), "truncated: chunk MTrk declares 100 bytes, only 4 remain"},
        {"chunk header cut", Concat({OneTrackFile(kEndOfTrack), {'M', 'T', 'r'}}), "truncated: a chunk header of 3 bytes"},
        {"no end of track", OneTrackFile(note), "track 1: no end-of-track event"},
        {"event past the chunk", OneTrackFile({0x00, 0x90, 0x3C}), "track 1: a channel message runs past the end of the track's chunk"},
        {"meta past the chunk", OneTrackFile({0x00, 0xFF, 0x01, 0x05, 'a'}), "track 1: a meta event runs past the end of the track's chunk"},
        {"bytes after the end", OneTrackFile(Concat({kEndOfTrack, {0x00, 0x90, 0x3C}})), "track 1: 3 bytes after the end-of-track event"},
        {"running status without status", OneTrackFile(Concat({{0x00, 0x3C, 0x40}, kEndOfTrack})), "data byte 0x3C with no running status"},
        {"running status after sysex", OneTrackFile(Concat({note, {0x00, 0xF0, 0x01, 0xF7, 0x00, 0x3C, 0x40}, kEndOfTrack})), "no running status"},
        {"system common in a file", OneTrackFile(Concat({{0x00, 0xF2, 0x00, 0x00}, kEndOfTrack})), "status byte 0xF2, which has no place"},
        {"data byte above 127", OneTrackFile(Concat({{0x00, 0x90, 0x3C, 0x80}, kEndOfTrack})), "a data byte above 127"},
        {"five-byte delta", OneTrackFile(Concat({{0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 0x3C, 0x40}, kEndOfTrack})), "a delta time is longer than four bytes"},
        {"beyond 2^31 ticks", OneTrackFile(Concat({far, kEndOfTrack})), "times beyond tick 2147483647"},
        {"fewer tracks than declared", Concat({Header(1, 2), Chunk("MTrk", kEndOfTrack)}), "declares 2 tracks, the file holds 1"},
        {"format 0 with two tracks", Concat({Header(0, 2), Chunk("MTrk", kEndOfTrack), Chunk("MTrk", kEndOfTrack)}), "format 0 with 2 tracks"},
    };
    for (const Case& c : cases) EXPECT_NE(ErrorOf(c.bytes).find(c.message), std::string::npos) << c.what << ": " << ErrorOf(c.bytes);
}

TEST(MidiFile, ReadsRunningStatusMetaSysexAndSkipsOtherChunks) {
    const Bytes track = Concat({{0x00, 0x90, 0x3C, 0x40, 0x10, 0x3E, 0x41},  // running status
                                {0x00, 0xFF, 0x01, 0x02, 'h', 'i', 0x05, 0x40, 0x00},  // meta keeps running status
                                {0x81, 0x00, 0xF0, 0x03, 0x7E, 0x01, 0xF7},            // delta 128, sysex
                                {0x00, 0xD2, 0x33, 0x00, 0xC1, 0x05, 0x00, 0xE0, 0x00, 0x40},
                                kEndOfTrack});
    Bytes header = Header(1, 1, 480);
    header[7] = 8;  // a header longer than 6 bytes: the rest is skipped
    header.insert(header.end(), {0xAA, 0xBB});
    const MidiFile file = Parse(Concat({header, Chunk("XFIH", {1, 2, 3}), Chunk("MTrk", track)}));
    EXPECT_EQ(file.format, 1);
    EXPECT_EQ(file.division, 480);
    ASSERT_EQ(file.tracks.size(), 1u);
    const std::vector<MidiEvent>& events = file.tracks[0].events;
    ASSERT_EQ(events.size(), 9u);
    EXPECT_EQ(events[1].status, 0x90);
    EXPECT_EQ(events[1].data1, 0x3E);
    EXPECT_EQ(events[1].tick, 16u);
    EXPECT_EQ(events[2].payload, (Bytes{'h', 'i'}));
    EXPECT_EQ(events[3].status, 0x90) << "after a meta event";
    EXPECT_EQ(events[4].tick, 21u + 128u);
    EXPECT_EQ(events[4].payload, (Bytes{0x7E, 0x01, 0xF7}));
    EXPECT_EQ(events[5].data1, 0x33) << "channel pressure has one data byte";
    EXPECT_EQ(events[7].data2, 0x40);
    EXPECT_TRUE(events[8].IsEndOfTrack());
}

TEST(MidiFile, WhatItWritesReadsBackTheSame) {
    MidiFile file;
    file.format = 1;
    file.division = 0xE728;  // SMPTE division, kept as it is
    MidiTrack first, second;
    first.events = {{0, 0xFF, 0, 0, 0x51, {0x07, 0xA1, 0x20}}, {0, 0xB3, 1, 127, 0, {}}, {200000, 0xD3, 90, 0, 0, {}},
                    {200000, 0xF0, 0, 0, 0, {0x43, 0x12, 0xF7}}, {200000 + 0x0FFFFFFF, 0xFF, 0, 0, 0x2F, {}}};
    second.events = {{5, 0x80, 60, 0, 0, {}}};  // no end of track: the writer adds one
    file.tracks = {first, second};
    const Bytes bytes = SerializeMidiFile(file);
    const MidiFile back = Parse(bytes);
    EXPECT_EQ(back.division, file.division);
    ASSERT_EQ(back.tracks.size(), 2u);
    EXPECT_EQ(back.tracks[0].events, first.events);
    ASSERT_EQ(back.tracks[1].events.size(), 2u);
    EXPECT_EQ(back.tracks[1].events[0], second.events[0]);
    EXPECT_TRUE(back.tracks[1].events[1].IsEndOfTrack());
    EXPECT_EQ(back.tracks[1].events[1].tick, 5u);
    EXPECT_EQ(SerializeMidiFile(back), bytes);

    file.tracks[0].events.back().tick = 200000 + 0x10000000;
    EXPECT_THROW(SerializeMidiFile(file), MidiFileError) << "a gap longer than a delta time can hold";
}

}  // namespace
