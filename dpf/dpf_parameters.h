// How the plug-in's parameters lie in DPF, for the DPF class and the entries
// in front of it.
#pragma once

#include <cstdint>

#include "core/settings_table.h"

// DPF's parameters: a placeholder first, then the six settings. DPF 1.6's
// VST3 wrapper takes its first parameter for one of its MIDI controllers
// (it reads as 0, refuses changes, and turns its automation into controller
// messages), so that place is held by a read-only parameter that hosts are
// not shown; the CLAP entry lists the settings alone.
constexpr std::uint32_t kPlaceholderParameter = 0;
constexpr std::uint32_t kFirstSettingParameter = 1;
constexpr std::uint32_t kDpfParameterCount = kFirstSettingParameter + kParamsPerRow;
