// What veltrace-host does, whichever kind of plug-in it plays through: read
// the file and the settings, play each track through a filter of its own,
// write the result, print what the filters did. Each face of the tool (the
// COM module on Windows, the LV2 plug-in on Linux) supplies the plug-in and
// its main calls HostMain. Portable.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "midi/playback.h"
#include "tools/host/host_options.h"

// A loaded plug-in, as the tool uses it.
class CPluginHost {
public:
    virtual ~CPluginHost() = default;
    // The settings a new filter holds.
    virtual SettingsCells DefaultSettings() = 0;
    // The settings stream the plug-in itself writes once it holds `cells`.
    virtual std::vector<std::uint8_t> SavedSettings(const SettingsCells& cells) = 0;
    // A new filter for one track, holding `cells`.
    virtual std::unique_ptr<CTrackFilter> NewTrackFilter(const SettingsCells& cells) = 0;
};

// Loads the plug-in the options name; throws InputError naming the problem.
using PluginLoader = std::function<std::unique_ptr<CPluginHost>(const HostOptions&)>;

// The whole command: options, help, the run, messages on stderr. Returns the
// exit status: 0 done, 1 a problem with the files or the plug-in, 2 a
// problem with the command line.
int HostMain(int argc, char** argv, const PluginLoader& loadPlugin);
