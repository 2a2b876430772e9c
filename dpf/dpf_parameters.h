// How the plug-in's parameters lie in DPF, for the DPF class and the entries
// in front of it.
#pragma once

#include <cstdint>

#include "core/settings_table.h"

// DPF's parameters: a placeholder first, then the six settings. DPF 1.6's
// VST3 wrapper takes its first parameter for one of its MIDI controllers
// (it reads as 0, refuses changes, and turns its automation into controller
// messages), and its JACK program sets the first parameter it finds
// assigned to a controller from that controller on channel 1, taking 0 (a
// Bank Select) for an assignment. So that place is held by a parameter that
// does nothing, which the CLAP and VST3 entries do not show hosts.
constexpr std::uint32_t kPlaceholderParameter = 0;
inline constexpr char kPlaceholderSymbol[] = "unused";
constexpr std::uint32_t kFirstSettingParameter = 1;
constexpr std::uint32_t kDpfParameterCount = kFirstSettingParameter + kParamsPerRow;

// The setting a DPF parameter id stands for: below kParamsPerRow for one of
// the settings; the placeholder and ids DPF does not have wrap past them.
constexpr std::uint32_t SettingOfParameter(std::uint32_t id) { return id - kFirstSettingParameter; }

// DPF's programs: a new filter's settings first (DPF's JACK program loads the
// first at its start), then the presets.
constexpr std::uint32_t kDefaultsProgram = 0;
constexpr std::uint32_t kFirstPresetProgram = 1;
constexpr std::uint32_t kDpfProgramCount = kFirstPresetProgram + kPresetCount;
inline constexpr char kDefaultsProgramName[] = "Default settings";
