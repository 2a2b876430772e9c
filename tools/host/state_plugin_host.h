// veltrace-host's CLAP and VST3 faces alike: a plug-in whose settings are its
// state, the settings' 64 bytes. A new instance's state is the filter's own
// settings; settings reach an instance as a state loaded into it, as a host
// restores a project, and the stream the plug-in itself saves is what it
// saves once it holds them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/host/host_run.h"

// Format names its Library (the loaded plug-in file: Path()), its Instance
// (one instance: SaveState, LoadState), made by Format::MakeInstance from the
// library, and its TrackFilter (a track's filter, made from the library and
// a state).
template <class Format>
class CStatePluginHost final : public CPluginHost {
    using Library = typename Format::Library;
    using Instance = typename Format::Instance;
    using TrackFilter = typename Format::TrackFilter;

public:
    explicit CStatePluginHost(const std::string& path) : m_library(path) {
        // One instance at once, so that a plug-in that does not run is told
        // before anything is written.
        Instance probe = Format::MakeInstance(m_library);
        if (!probe.SaveState(m_defaultState)) throw InputError(path + ": the plug-in keeps no state");
    }

    SettingsCells DefaultSettings() override { return ReadSettingsStream(m_defaultState, "the plug-in's own state"); }

    std::vector<std::uint8_t> SavedSettings(const SettingsCells& cells) override {
        CheckSettingsWithinControls(cells);
        Instance probe = Format::MakeInstance(m_library);
        std::vector<std::uint8_t> state;
        if (!probe.LoadState(WriteSettingsStream(cells)) || !probe.SaveState(state))
            throw InputError(m_library.Path() + ": the plug-in refused the settings");
        return state;
    }

    std::unique_ptr<CTrackFilter> NewTrackFilter(const SettingsCells& cells) override {
        CheckSettingsWithinControls(cells);
        return std::make_unique<TrackFilter>(m_library, WriteSettingsStream(cells));
    }

private:
    Library m_library;
    std::vector<std::uint8_t> m_defaultState;
};
