// Any bytes as a MIDI file. The reader either names a problem or gives a
// file that the writer writes and the reader reads back the same; a file that
// reads plays through the core as the host's queues carry it (the Windows
// face) and through the core directly (the browser's page), the two give the
// same track, and everything sent is a well-formed channel message, no more
// of them than went in.
#include <cstdint>
#include <cstdlib>

#include "core/settings_bytes.h"
#include "midi/core_track_filter.h"
#include "midi/midi_file.h"
#include "tests/host/core_queue_filter.h"
#include "tools/host/mfx_track_filter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MidiFile file;
    try {
        file = ParseMidiFile(data, size);
    } catch (const MidiFileError&) {
        return 0;
    }
    try {
        const std::vector<std::uint8_t> written = SerializeMidiFile(file);
        const MidiFile back = ParseMidiFile(written.data(), written.size());
        if (back.tracks.size() != file.tracks.size()) std::abort();
        for (size_t i = 0; i < file.tracks.size(); ++i)
            if (back.tracks[i].events != file.tracks[i].events) std::abort();
    } catch (const MidiFileError&) {
        // Only a gap longer than a delta time can hold cannot be written.
    }
    for (const MidiTrack& track : file.tracks) {
        for (const bool live : {false, true}) {
            const PlaybackOptions options{live, static_cast<std::uint32_t>(1 + size % 300)};
            CCoreQueueFilter filter;
            TrackSummary summary;
            const MidiTrack played = PlayTrack(filter, track, options, WatchedStreams{}, summary);
            if (summary.eventsOut > summary.eventsIn || played.events.size() > track.events.size()) std::abort();
            CCoreTrackFilter core(DefaultSettingsCells());
            TrackSummary coreSummary;
            if (PlayTrack(core, track, options, WatchedStreams{}, coreSummary).events != played.events) std::abort();
            for (const MidiEvent& event : played.events)
                if (event.IsChannelMessage() && (event.data1 > 127 || event.data2 > 127)) std::abort();
        }
    }
    return 0;
}
