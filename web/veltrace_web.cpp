// The page's WebAssembly: the filter core, the MIDI-file library and the
// settings table's labels, behind a small C interface for the page's script.
// A file runs in a Web Worker (RunFile and the results after it); settings,
// labels and the live path run on the page's own thread. Strings and byte
// buffers stay owned here until the next call of the same kind.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/filter_core.h"
#include "core/routing.h"
#include "core/rule_cache.h"
#include "core/settings_bytes.h"
#include "core/settings_table.h"
#include "midi/core_track_filter.h"
#include "midi/midi_file.h"
#include "midi/playback.h"
#include "midi/settings_file.h"
#include "web/file_views.h"

namespace {

std::string g_error;
// The last run, held for the plot of another stream and for playing it.
MidiFile g_input, g_output;
std::int32_t g_master = 1, g_modifier = 0;
std::vector<std::uint8_t> g_outputBytes;
std::vector<TrackSummary> g_summaries;
std::vector<StreamMoves> g_streams;
std::vector<std::int32_t> g_plot[3];  // StreamColumns: master in, master out, modifier in
std::uint32_t g_plotEnd = 1;
std::vector<std::int32_t> g_meters;
TimedMessages g_schedule;
std::string g_label;
SettingsBytes g_settingsBytes{};
CFilterCore g_live;  // the live path's filter, for as long as the page is open
CRuleCache g_liveResults;  // its rule's results: the page's one thread runs it

// The largest MIDI file the page takes. The worker's WebAssembly memory ends
// at 2 GB, and a file of the densest kind (two bytes an event) needs about 23
// times its size there (the events in and out, and the bytes of both).
constexpr std::size_t kLargestFileBytes = 64u << 20;
// The streams the plot offers at most, and the time signatures it draws.
constexpr std::size_t kStreamsListed = 128, kMetersKept = 4096;

// How far a run has got, for the page's progress bar.
EM_JS(void, ReportProgress, (double done, double total), {
    if (Module["onProgress"]) Module["onProgress"](done, total);
});

SettingsCells CellsFrom(const std::int32_t* cells) {
    SettingsCells result;
    std::copy(cells, cells + kParamCells, result.begin());
    return result;
}

// 73400320 as "73,400,320".
std::string Grouped(std::uint64_t number) {
    std::string digits = std::to_string(number);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

// A null name (the page had no memory even for it) reads "the file".
std::string TooLarge(const char* name, std::uint64_t size, const std::string& why) {
    return std::string(name ? name : "the file") + ": " + Grouped(size) + " bytes; " + why + ": veltrace-host plays it";
}

void ForgetRun() {
    g_input = MidiFile{};
    g_output = MidiFile{};
    g_outputBytes = {};
    g_summaries = {};
    g_streams = {};
    g_meters = {};
    g_schedule = TimedMessages{};
    for (auto& series : g_plot) series = {};
}

void Plot(std::uint32_t track, std::uint32_t channel) {
    g_plot[0] = StreamColumns(g_input, track, channel, g_master, g_plotEnd);
    g_plot[1] = StreamColumns(g_output, track, channel, g_master, g_plotEnd);
    g_plot[2] = StreamColumns(g_input, track, channel, g_modifier, g_plotEnd);
}

// A row of the table; an index outside it reads the first, never past it.
std::uint32_t SettingIndexOf(int index) { return index >= 0 && index < static_cast<int>(kParamsPerRow) ? index : 0; }
const SettingDescription& Setting(int index) { return kSettingTable[SettingIndexOf(index)]; }
const SettingsPreset& Preset(int preset) {
    return kPresets[preset >= 0 && preset < static_cast<int>(kPresetCount) ? preset : 0];
}

std::uint64_t ChannelEvents(const MidiFile& file) {
    std::uint64_t count = 0;
    for (const MidiTrack& track : file.tracks)
        for (const MidiEvent& event : track.events) count += event.IsChannelMessage() ? 1 : 0;
    return count;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE const char* vt_error() { return g_error.c_str(); }

// 1 when the page takes a file of `size` bytes, 0 with vt_error().
EMSCRIPTEN_KEEPALIVE int vt_check_size(double size, const char* name) {
    g_error.clear();
    if (size <= static_cast<double>(kLargestFileBytes)) return 1;
    g_error = TooLarge(name, static_cast<std::uint64_t>(size),
                       "the page takes MIDI files of up to " + Grouped(kLargestFileBytes) + " bytes (" + std::to_string(kLargestFileBytes >> 20) + " MB)");
    return 0;
}

// The message for a file whose bytes the page could not even take in.
EMSCRIPTEN_KEEPALIVE void vt_no_memory(double size, const char* name) {
    g_error = TooLarge(name, static_cast<std::uint64_t>(size), "the browser could not give the page the memory it needs");
}

// A MIDI file through one new filter per track on the sequenced path, as
// veltrace-host plays it. 1 when the output is ready, 0 with vt_error().
EMSCRIPTEN_KEEPALIVE int vt_run_file(const std::uint8_t* bytes, int size, const std::int32_t* cells, const char* name) {
    g_error.clear();
    ForgetRun();
    try {
        g_input = ReadMidiFile(bytes, static_cast<std::size_t>(size), name);
        const SettingsCells settings = CellsFrom(cells);
        CheckSettingsWithinControls(settings);
        const double total = static_cast<double>(ChannelEvents(g_input)) + 1;
        double done = 0;
        ReportProgress(done, total);
        g_output = PlayFile(
            g_input, [&] { return std::make_unique<CCoreTrackFilter>(settings); }, PlaybackOptions{}, StreamsOf(settings),
            g_summaries, [&](const TrackSummary& track) {
                done += static_cast<double>(track.eventsIn);
                ReportProgress(done, total);
            });
        g_outputBytes = SerializeMidiFile(g_output);
        g_master = settings[MasterCc];
        g_modifier = settings[ModifierCc];
        g_plotEnd = EndTick(g_input);
        g_meters = Meters(g_input, kMetersKept);
        g_streams = ListStreams(g_input, g_output, g_master, g_modifier, kStreamsListed);
        if (!g_streams.empty()) {
            const StreamMoves& busiest = g_streams[BusiestStream(g_streams)];
            Plot(busiest.track, busiest.channel);
        } else {
            Plot(0, 0);
        }
        return 1;
    } catch (const std::bad_alloc&) {
        ForgetRun();
        vt_no_memory(size, name);
        return 0;
    } catch (const std::exception& error) {
        ForgetRun();
        g_error = error.what();
        return 0;
    }
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* vt_output_data() { return g_outputBytes.data(); }
EMSCRIPTEN_KEEPALIVE int vt_output_size() { return static_cast<int>(g_outputBytes.size()); }
EMSCRIPTEN_KEEPALIVE int vt_track_count() { return static_cast<int>(g_summaries.size()); }

// One figure of a track's summary, in the tool's column order.
EMSCRIPTEN_KEEPALIVE double vt_summary(int track, int column) {
    const TrackSummary& s = g_summaries.at(static_cast<std::size_t>(track));
    const std::uint64_t figures[] = {s.eventsIn, s.eventsOut, s.masterSent, s.repeatsDropped, s.modifierConsumed};
    return column >= 0 && column < 5 ? static_cast<double>(figures[column]) : 0;
}

// The streams the plot offers (track, channel, master in, master out,
// modifier in), and the one it shows first.
EMSCRIPTEN_KEEPALIVE int vt_stream_count() { return static_cast<int>(g_streams.size()); }
EMSCRIPTEN_KEEPALIVE double vt_stream(int index, int field) {
    const StreamMoves& s = g_streams.at(static_cast<std::size_t>(index));
    const std::uint64_t fields[] = {s.track, s.channel, s.masterIn, s.masterOut, s.modifierIn};
    return field >= 0 && field < 5 ? static_cast<double>(fields[field]) : 0;
}
EMSCRIPTEN_KEEPALIVE int vt_busiest_stream() { return static_cast<int>(BusiestStream(g_streams)); }

// The plot of another stream of the last run.
EMSCRIPTEN_KEEPALIVE void vt_plot_stream(int track, int channel) {
    Plot(static_cast<std::uint32_t>(track), static_cast<std::uint32_t>(channel) & 0x0F);
}
EMSCRIPTEN_KEEPALIVE const std::int32_t* vt_plot_data(int which) { return g_plot[which].data(); }
EMSCRIPTEN_KEEPALIVE int vt_plot_size(int which) { return static_cast<int>(g_plot[which].size()); }
EMSCRIPTEN_KEEPALIVE double vt_plot_end() { return g_plotEnd; }
// The ticks of a quarter note, or the SMPTE form; and the time signatures as
// (tick, beats, note value's power of two) triples.
EMSCRIPTEN_KEEPALIVE int vt_division() { return g_input.division; }
EMSCRIPTEN_KEEPALIVE const std::int32_t* vt_meters_data() { return g_meters.data(); }
EMSCRIPTEN_KEEPALIVE int vt_meters_size() { return static_cast<int>(g_meters.size()); }

// The last output's channel messages with their times, for playing it.
EMSCRIPTEN_KEEPALIVE int vt_schedule() {
    g_schedule = ScheduleFile(g_output);
    return static_cast<int>(g_schedule.messages.size());
}
EMSCRIPTEN_KEEPALIVE const double* vt_schedule_times() { return g_schedule.milliseconds.data(); }
EMSCRIPTEN_KEEPALIVE const std::uint32_t* vt_schedule_messages() { return g_schedule.messages.data(); }

// The settings table, from which the page builds its controls and presets.
EMSCRIPTEN_KEEPALIVE int vt_cell_count() { return static_cast<int>(kParamCells); }
EMSCRIPTEN_KEEPALIVE int vt_settings_bytes() { return static_cast<int>(kSettingsBytes); }
EMSCRIPTEN_KEEPALIVE int vt_setting_count() { return static_cast<int>(kParamsPerRow); }
EMSCRIPTEN_KEEPALIVE const char* vt_setting_symbol(int index) { return Setting(index).symbol; }
EMSCRIPTEN_KEEPALIVE const char* vt_setting_name(int index) { return Setting(index).name; }
EMSCRIPTEN_KEEPALIVE int vt_setting_minimum(int index) { return Setting(index).minimum; }
EMSCRIPTEN_KEEPALIVE int vt_setting_maximum(int index) { return Setting(index).maximum; }
// 1 for the setting shown as a list of names (the mode), 0 for a number.
EMSCRIPTEN_KEEPALIVE int vt_setting_is_list(int index) { return Setting(index).display == SettingDisplay::ModeName; }
// 1 for a setting that names a controller (0 standing for channel pressure).
EMSCRIPTEN_KEEPALIVE int vt_setting_is_controller(int index) {
    return Setting(index).display == SettingDisplay::Controller;
}
EMSCRIPTEN_KEEPALIVE int vt_preset_count() { return static_cast<int>(kPresetCount); }
EMSCRIPTEN_KEEPALIVE const char* vt_preset_label(int preset) { return Preset(preset).label; }
EMSCRIPTEN_KEEPALIVE int vt_preset_value(int preset, int index) { return Preset(preset).values[SettingIndexOf(index)]; }
EMSCRIPTEN_KEEPALIVE void vt_default_cells(std::int32_t* out) {
    const SettingsCells cells = DefaultSettingsCells();
    std::copy(cells.begin(), cells.end(), out);
}

// A saved settings stream, checked as the tool checks one: 1 with the cells
// in `out`, 0 with vt_error().
EMSCRIPTEN_KEEPALIVE int vt_read_settings(const std::uint8_t* bytes, int size, const char* name, std::int32_t* out) {
    g_error.clear();
    try {
        const SettingsCells cells = ReadSettingsStream(std::vector<std::uint8_t>(bytes, bytes + size), name);
        CheckSettingsWithinControls(cells);
        std::copy(cells.begin(), cells.end(), out);
        return 1;
    } catch (const std::exception& error) {
        g_error = error.what();
        return 0;
    }
}

// The 64 bytes the filter saves for these cells.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* vt_write_settings(const std::int32_t* cells) {
    g_settingsBytes = EncodeSettings(CellsFrom(cells));
    return g_settingsBytes.data();
}

// The property page's text beside a setting; empty where it shows none.
EMSCRIPTEN_KEEPALIVE const char* vt_label(int index, int value, int mode) {
    g_label = SettingValueText(static_cast<std::uint32_t>(index), value, mode).value_or("");
    return g_label.c_str();
}

// The live path.
EMSCRIPTEN_KEEPALIVE void vt_live_settings(const std::int32_t* cells) { g_live.SetCells(CellsFrom(cells)); }
EMSCRIPTEN_KEEPALIVE void vt_live_start() { g_live.ResetLastSent(); }

// One channel message of `length` bytes through the live path: what leaves,
// packed as the schedule's messages are (Packed), or -1 when nothing leaves
// (a repeat), -2 for a message shorter than its status needs (never padded).
EMSCRIPTEN_KEEPALIVE int vt_live_message(int status, int data1, int data2, int length) {
    auto s = static_cast<std::uint8_t>(status), d1 = static_cast<std::uint8_t>(data1), d2 = static_cast<std::uint8_t>(data2);
    if (static_cast<std::uint32_t>(length) < ChannelMessageSize(s)) return -2;
    bool leaves = false;
    g_live.Play<FilterPath::Live>(g_liveResults, [&](auto& router) { leaves = router.Route(s, d1, d2); });
    return leaves ? static_cast<int>(PackedMessage(s, d1, d2)) : -1;
}

}  // extern "C"
