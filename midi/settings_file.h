// What a user hands in besides the MIDI file: a saved settings stream, and
// settings that must lie within the controls' ranges. Each check names where
// the bytes came from and the problem, in one line, for the tool's message
// and the page's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/settings_bytes.h"
#include "midi/midi_file.h"
#include "midi/playback.h"

// A problem with what the user asked for or handed in, in one line.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws InputError for a stream of the wrong size or with a bad header;
// `name` says where it came from.
SettingsCells ReadSettingsStream(const std::vector<std::uint8_t>& bytes, const std::string& name);
std::vector<std::uint8_t> WriteSettingsStream(const SettingsCells& cells);

// Throws InputError naming the first setting outside its control's range
// (as a plug-in whose settings are control values must refuse it).
void CheckSettingsWithinControls(const SettingsCells& cells);

// The streams these settings watch.
WatchedStreams StreamsOf(const SettingsCells& cells);

// A MIDI file read from `bytes`; throws InputError naming `name` and the problem.
MidiFile ReadMidiFile(const std::uint8_t* bytes, std::size_t size, const std::string& name);
