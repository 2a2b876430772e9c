#include "tools/host/host_run.h"

#include <cstdio>
#include <string>

#include "midi/midi_file.h"

namespace {

void PrintSummary(const std::vector<TrackSummary>& tracks) {
    std::printf("%-6s %10s %10s %12s %16s %18s\n", "track", "events in", "events out", "master sent", "repeats dropped",
                "modifier consumed");
    TrackSummary total;
    const auto row = [](const char* name, const TrackSummary& s) {
        std::printf("%-6s %10llu %10llu %12llu %16llu %18llu\n", name, static_cast<unsigned long long>(s.eventsIn),
                    static_cast<unsigned long long>(s.eventsOut), static_cast<unsigned long long>(s.masterSent),
                    static_cast<unsigned long long>(s.repeatsDropped), static_cast<unsigned long long>(s.modifierConsumed));
    };
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        row(std::to_string(i + 1).c_str(), tracks[i]);
        total += tracks[i];
    }
    row("total", total);
}

int Run(const HostOptions& options, const PluginLoader& loadPlugin) {
    if (SameFile(options.input, options.output))
        throw InputError(options.output + ": the output would overwrite the input");
    const std::vector<std::uint8_t> bytes = ReadWholeFile(options.input);
    const MidiFile input = ReadMidiFile(bytes.data(), bytes.size(), options.input);
    SettingsCells cells{};
    bool fromFile = false;
    if (!options.settingsFile.empty()) {
        cells = ReadSettingsStream(ReadWholeFile(options.settingsFile), options.settingsFile);
        fromFile = true;
    }

    const std::unique_ptr<CPluginHost> plugin = loadPlugin(options);
    // Settings that are not named keep what a new filter holds.
    if (!fromFile) cells = plugin->DefaultSettings();
    ApplySettingOptions(options, cells);
    if (!options.saveSettingsFile.empty()) WriteFileReplacing(options.saveSettingsFile, plugin->SavedSettings(cells));

    std::vector<TrackSummary> summaries;
    const MidiFile output = PlayFile(input, [&] { return plugin->NewTrackFilter(cells); }, options.playback,
                                     StreamsOf(cells), summaries);
    WriteFileReplacing(options.output, SerializeMidiFile(output));
    PrintSummary(summaries);
    return 0;
}

}  // namespace

int HostMain(int argc, char** argv, const PluginLoader& loadPlugin) {
    HostOptions options;
    try {
        options = ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const InputError& error) {
        std::fprintf(stderr, "veltrace-host: %s (veltrace-host --help tells more)\n", error.what());
        return 2;
    }
    try {
        if (options.help) {
            std::fputs(HostUsage().c_str(), stdout);
            return 0;
        }
        return Run(options, loadPlugin);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "veltrace-host: %s\n", error.what());
        return 1;
    }
}
