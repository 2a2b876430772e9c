// Playing a track through a filter as the host does, with the core behind
// the host's interface: what comes out where, for both paths, and the counts.
#include <gtest/gtest.h>

#include "tests/host/core_queue_filter.h"
#include "tools/host/mfx_track_filter.h"

namespace {

MidiEvent Channel(std::uint32_t tick, std::uint8_t status, std::uint8_t data1, std::uint8_t data2 = 0) {
    return {tick, status, data1, data2, 0, {}};
}
MidiEvent Meta(std::uint32_t tick, std::uint8_t type) { return {tick, 0xFF, 0, 0, type, {}}; }

// Controller 1 is the master, channel pressure the modifier (the defaults).
const MidiTrack kTrack = {{
    Meta(0, 0x03),
    Channel(0, 0xB2, 1, 64),      // master 64, modifier 0: 64
    Channel(0, 0x92, 60, 100),    // a note passes
    Meta(10, 0x01),               // a text event between the two at tick 10
    Channel(10, 0xB2, 1, 64),     // a repeat: dropped
    Channel(10, 0xD2, 48),        // pressure 48: master 91
    Channel(20, 0xB2, 0, 5),      // controller 0 passes
    Channel(30, 0xE2, 0, 64),     // pitch wheel passes
    Channel(40, 0xD2, 96),        // master 118
    Channel(50, 0xD2, 127),       // 118 again: dropped
    Meta(60, 0x2F),
}};

const std::vector<MidiEvent> kPlayed = {
    Meta(0, 0x03),          Channel(0, 0xB2, 1, 64),   Channel(0, 0x92, 60, 100), Meta(10, 0x01),
    Channel(10, 0xB2, 1, 91), Channel(20, 0xB2, 0, 5), Channel(30, 0xE2, 0, 64),  Channel(40, 0xB2, 1, 118),
    Meta(60, 0x2F),
};

TEST(Playback, BothPathsSendTheRulesOutputInPlace) {
    for (const PlaybackOptions options : {PlaybackOptions{false, 1}, PlaybackOptions{false, 15}, PlaybackOptions{false, 1000},
                                         PlaybackOptions{true, 120}}) {
        CCoreQueueFilter filter;
        TrackSummary total;
        const MidiTrack played = PlayTrack(filter, kTrack, options, WatchedStreams{}, total);
        EXPECT_EQ(played.events, kPlayed) << (options.live ? "live" : "slices of ") << options.sliceTicks;
        EXPECT_EQ(filter.m_starts, 1) << "playback starts once";
        if (!options.live) {
            EXPECT_EQ(filter.m_blocks, static_cast<int>(60 / options.sliceTicks + 1)) << "one block per slice, empty ones too";
        }
        EXPECT_EQ(total.eventsIn, 8u);
        EXPECT_EQ(total.eventsOut, 6u);
        EXPECT_EQ(total.masterSent, 3u);
        EXPECT_EQ(total.repeatsDropped, 2u);
        EXPECT_EQ(total.modifierConsumed, 3u);
    }
}

TEST(Playback, RecordsCarryEveryChannelMessage) {
    for (const std::uint8_t status : {0x80, 0x91, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6}) {
        const MidiEvent event = Channel(1234, status, 0x12, (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 0 : 0x34);
        const MfxEvent record = ToEventRecord(event, 77);
        EXPECT_EQ(FromEventRecord(record), event) << std::hex << int{status};
        EXPECT_EQ(PlaceOf(record), 77u);
        EXPECT_EQ(FromDataRecord(ToDataRecord(event)), event);
    }
    EXPECT_EQ(ToEventRecord(Channel(0, 0xD5, 99), 0).m_data2, 99) << "pressure rides in the second data byte";
    const LONG type = ToEventRecord(Channel(0, 0xB0, 1, 2), 0).m_type;  // a packed field: copied before it is compared
    EXPECT_EQ(type, MfxControllerEvent);
}

}  // namespace
