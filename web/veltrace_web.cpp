// The page's WebAssembly: the filter core, the MIDI-file half of
// veltrace-host and the property page's label rules, behind a small C
// interface for the page's script. A file runs in a Web Worker (RunFile and
// the results after it); settings, labels and the live path run on the
// page's own thread. Strings and byte buffers stay owned here until the next
// call of the same kind.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/filter_core.h"
#include "core/settings_bytes.h"
#include "core/settings_table.h"
#include "page/page_rules.h"
#include "tools/host/core_track_filter.h"
#include "tools/host/host_options.h"
#include "tools/host/midi_file.h"
#include "tools/host/playback.h"

namespace {

std::string g_error;
std::vector<std::uint8_t> g_output;
std::vector<TrackSummary> g_summaries;
std::vector<std::int32_t> g_plot[3];  // StreamColumns: master in, master out, modifier in
std::uint32_t g_plotEnd = 1;
std::string g_label;
SettingsBytes g_settingsBytes{};
CFilterCore g_live;  // the live path's filter, for as long as the page is open

// How far a run has got, for the page's progress bar.
EM_JS(void, ReportProgress, (double done, double total), {
    if (Module["onProgress"]) Module["onProgress"](done, total);
});

SettingsCells CellsFrom(const std::int32_t* cells) {
    SettingsCells result;
    std::copy(cells, cells + kParamCells, result.begin());
    return result;
}

// The plot of one stream (a controller, or channel pressure for 0) over
// every track, in kPlotColumns columns of equal time up to `end`: each column
// holds the lowest and highest value in it and the last one (the latest
// tick), or -1 three times for a column without any. One pass, no sorting,
// however large the file.
constexpr std::uint32_t kPlotColumns = 1200;

std::vector<std::int32_t> StreamColumns(const MidiFile& file, std::int32_t stream, std::uint32_t end) {
    std::vector<std::int32_t> columns(kPlotColumns * 3, -1);
    std::vector<std::int64_t> lastTick(kPlotColumns, -1);
    for (const MidiTrack& track : file.tracks)
        for (const MidiEvent& event : track.events) {
            const std::optional<std::int32_t> onStream = StreamValue(event, stream);
            if (!onStream) continue;
            const std::int32_t value = *onStream;
            const auto column = static_cast<std::size_t>(std::uint64_t{event.tick} * (kPlotColumns - 1) / end);
            std::int32_t* cell = &columns[column * 3];
            if (cell[0] < 0 || value < cell[0]) cell[0] = value;
            if (value > cell[1]) cell[1] = value;
            if (std::int64_t{event.tick} >= lastTick[column]) {
                lastTick[column] = event.tick;
                cell[2] = value;
            }
        }
    return columns;
}

std::uint32_t EndTick(const MidiFile& file) {
    std::uint32_t end = 1;
    for (const MidiTrack& track : file.tracks)
        if (!track.events.empty()) end = std::max(end, track.events.back().tick);
    return end;
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

// A MIDI file through one new filter per track on the sequenced path, as
// veltrace-host plays it. 1 when the output is ready, 0 with vt_error().
EMSCRIPTEN_KEEPALIVE int vt_run_file(const std::uint8_t* bytes, int size, const std::int32_t* cells, const char* name) {
    g_error.clear();
    try {
        const MidiFile input = ReadMidiFile(bytes, static_cast<std::size_t>(size), name);
        const SettingsCells settings = CellsFrom(cells);
        CheckSettingsWithinControls(settings);
        const double total = static_cast<double>(ChannelEvents(input)) + 1;
        double done = 0;
        ReportProgress(done, total);
        std::vector<TrackSummary> summaries;
        const MidiFile output = PlayFile(
            input, [&] { return std::make_unique<CCoreTrackFilter>(settings); }, PlaybackOptions{}, StreamsOf(settings),
            summaries, [&](const TrackSummary& track) {
                done += static_cast<double>(track.eventsIn);
                ReportProgress(done, total);
            });
        g_output = SerializeMidiFile(output);
        g_summaries = std::move(summaries);
        g_plotEnd = EndTick(input);
        g_plot[0] = StreamColumns(input, settings[MasterCc], g_plotEnd);
        g_plot[1] = StreamColumns(output, settings[MasterCc], g_plotEnd);
        g_plot[2] = StreamColumns(input, settings[ModifierCc], g_plotEnd);
        return 1;
    } catch (const std::exception& error) {
        g_error = error.what();
        return 0;
    }
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* vt_output_data() { return g_output.data(); }
EMSCRIPTEN_KEEPALIVE int vt_output_size() { return static_cast<int>(g_output.size()); }
EMSCRIPTEN_KEEPALIVE int vt_track_count() { return static_cast<int>(g_summaries.size()); }

// One figure of a track's summary, in the tool's column order.
EMSCRIPTEN_KEEPALIVE double vt_summary(int track, int column) {
    const TrackSummary& s = g_summaries.at(static_cast<std::size_t>(track));
    const std::uint64_t figures[] = {s.eventsIn, s.eventsOut, s.masterSent, s.repeatsDropped, s.modifierConsumed};
    return column >= 0 && column < 5 ? static_cast<double>(figures[column]) : 0;
}

EMSCRIPTEN_KEEPALIVE const std::int32_t* vt_plot_data(int which) { return g_plot[which].data(); }
EMSCRIPTEN_KEEPALIVE int vt_plot_size(int which) { return static_cast<int>(g_plot[which].size()); }
EMSCRIPTEN_KEEPALIVE double vt_plot_end() { return g_plotEnd; }

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
    g_label = SettingLabelText(static_cast<std::uint32_t>(index), value, mode).value_or("");
    return g_label.c_str();
}

// The live path.
EMSCRIPTEN_KEEPALIVE void vt_live_settings(const std::int32_t* cells) { g_live.SetCells(CellsFrom(cells)); }
EMSCRIPTEN_KEEPALIVE void vt_live_start() { g_live.ResetLastSent(); }

// One channel message through the live path: what leaves as status |
// data1 << 8 | data2 << 16, or -1 when nothing leaves.
EMSCRIPTEN_KEEPALIVE int vt_live_message(int status, int data1, int data2) {
    auto s = static_cast<std::uint8_t>(status), d1 = static_cast<std::uint8_t>(data1), d2 = static_cast<std::uint8_t>(data2);
    bool leaves = false;
    g_live.Play<FilterPath::Live>([&](auto& router) { leaves = router.Route(s, d1, d2); });
    return leaves ? s | d1 << 8 | d2 << 16 : -1;
}

}  // extern "C"
