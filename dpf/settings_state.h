// The plug-in's state in CLAP and VST3 hosts: the six settings as the
// filter's 64-byte settings stream, the form the Windows module keeps in a
// project and veltrace-host --save-settings writes, so one such file loads as
// a state. The controller assignments are saved as a new filter holds them.
// Portable: no plug-in format's type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/settings_bytes.h"

using SettingValues = std::array<std::int32_t, kParamsPerRow>;

SettingsBytes StateOf(const SettingValues& settings);

// The settings a state holds: exactly 64 bytes, this filter's header and
// version, every setting within its bounds; none for anything else.
std::optional<SettingValues> SettingsOfState(const std::uint8_t* bytes, std::size_t size);

// DPF's own state text for these settings (each parameter's symbol and
// whole value, as DPF writes them), for handing settings to its VST3 state.
std::string DpfStateOf(const SettingValues& settings);

// The settings in DPF's state text: every setting named once by its symbol
// with a whole value within its bounds (DPF's placeholder parameter aside),
// or none.
std::optional<SettingValues> SettingsOfDpfState(const char* text, std::size_t size);
