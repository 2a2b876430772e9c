// What a user hands in, checked before any filter sees it: a MIDI file, a
// saved settings stream, and settings that must lie within the controls'
// ranges. Each refusal is an InputError naming where the bytes came from and
// the problem, in one line, for the tool's message and the page's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/settings_bytes.h"
#include "midi/input_error.h"
#include "midi/midi_file.h"
#include "midi/playback.h"

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
