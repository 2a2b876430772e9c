// What veltrace-host is asked to do: its command line, the settings it lays
// over the filter's, and the files it reads and writes. Portable.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/settings_bytes.h"
#include "midi/playback.h"
#include "midi/settings_file.h"

// The command's help, its setting options written from the settings table.
std::string HostUsage();

// The option that names the plug-in's file: the COM module on Windows, the
// LV2 bundle elsewhere.
#ifdef _WIN32
constexpr char kPluginOption[] = "--dll";
#else
constexpr char kPluginOption[] = "--lv2";
#endif

// Which of the plug-in's editions the tool plays through.
enum class PluginFormat {
    Native,  // the COM module on Windows, the LV2 plug-in elsewhere (kPluginOption)
    Clap,    // --clap FILE
    Vst3,    // --vst3 BUNDLE
};

struct HostOptions {
    std::string input;
    std::string output;
    PluginFormat format = PluginFormat::Native;
    std::string plugin;            // the option's file; empty: the native plug-in as installed
    std::string settingsFile;      // empty: start from the filter's own settings
    std::string saveSettingsFile;  // empty: do not save
    // The six settings named on the command line, in table order (MasterCc
    // .. Mode); the others keep what the filter or the settings file has.
    std::array<std::optional<std::int32_t>, kParamsPerRow> settings;
    PlaybackOptions playback;
    bool help = false;
};

// Throws InputError naming the option and the problem.
HostOptions ParseHostOptions(const std::vector<std::string>& arguments);

void ApplySettingOptions(const HostOptions& options, SettingsCells& cells);

// Whole files. Reading throws InputError if the file cannot be read. Writing
// goes to a temporary file beside the target that then replaces it, so the
// target is never left half-written; on failure nothing is left behind.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
void WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Whether two paths name the same file (after making them absolute; on
// Windows without regard to case).
bool SameFile(const std::string& first, const std::string& second);
