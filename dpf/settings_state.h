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

// A state read through `read(buffer, size)` (the bytes it read, 0 at the
// end, below 0 for an error), one byte more than a state holds to tell a
// longer stream: its settings as SettingsOfState gives them.
template <class Read>
std::optional<SettingValues> ReadState(Read&& read) {
    std::uint8_t bytes[kSettingsBytes + 1];
    std::size_t size = 0;
    while (size < sizeof bytes) {
        const std::int64_t count = read(bytes + size, sizeof bytes - size);
        if (count < 0) return std::nullopt;
        if (count == 0) break;
        const auto left = sizeof bytes - size;
        size += static_cast<std::size_t>(count) < left ? static_cast<std::size_t>(count) : left;
    }
    return SettingsOfState(bytes, size);
}

// The state of these settings written through `write(bytes, size)` (the
// bytes it wrote, 0 or below for an error); whether all of it was.
template <class Write>
bool WriteState(const SettingValues& settings, Write&& write) {
    const SettingsBytes bytes = StateOf(settings);
    for (std::size_t written = 0; written < bytes.size();) {
        const std::int64_t count = write(bytes.data() + written, bytes.size() - written);
        if (count <= 0) return false;
        written += static_cast<std::size_t>(count);
    }
    return true;
}

// DPF's own state text for these settings (each parameter's symbol and
// whole value, as DPF writes them), for handing settings to its VST3 state.
std::string DpfStateOf(const SettingValues& settings);

// The settings in DPF's state text: every setting named once by its symbol
// with a whole value within its bounds (DPF's placeholder parameter aside),
// or none.
std::optional<SettingValues> SettingsOfDpfState(const char* text, std::size_t size);
