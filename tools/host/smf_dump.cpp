// smf_dump FILE.mid [--rewrite OUT.mid]: reads a MIDI file with the host's
// reader and prints every event as "track tick bytes" (channel messages in
// full, meta events as ff, type and data, system exclusive as its status and
// data), or writes the file back with the host's writer. The interop tests
// hold this against independent MIDI tools.
#include <cstdio>
#include <string>

#include "midi/midi_file.h"
#include "tools/host/host_options.h"

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--rewrite")) {
        std::fputs("usage: smf_dump FILE.mid [--rewrite OUT.mid]\n", stderr);
        return 2;
    }
    try {
        const std::vector<std::uint8_t> bytes = ReadWholeFile(argv[1]);
        const MidiFile file = ParseMidiFile(bytes.data(), bytes.size());
        if (argc == 4) {
            WriteFileReplacing(argv[3], SerializeMidiFile(file));
            return 0;
        }
        std::printf("format %u division %u tracks %zu\n", file.format, file.division, file.tracks.size());
        for (std::size_t track = 0; track < file.tracks.size(); ++track) {
            for (const MidiEvent& event : file.tracks[track].events) {
                std::printf("%zu %u %02x", track + 1, event.tick, event.status);
                if (event.IsChannelMessage()) {
                    std::printf(" %02x", event.data1);
                    if (ChannelMessageSize(event.status) == 3) std::printf(" %02x", event.data2);
                } else {
                    if (event.status == 0xFF) std::printf(" %02x", event.metaType);
                    for (const std::uint8_t byte : event.payload) std::printf(" %02x", byte);
                }
                std::printf("\n");
            }
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "smf_dump: %s\n", error.what());
        return 1;
    }
}
