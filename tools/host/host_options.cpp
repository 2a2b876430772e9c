#include "tools/host/host_options.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/parameters.h"
#include "core/settings_bytes.h"

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// A whole decimal number within [lowest, highest], or nothing.
std::optional<std::int32_t> Number(const std::string& text, std::int32_t lowest, std::int32_t highest) {
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), ::isdigit)) return std::nullopt;
    const long value = std::stol(text);
    if (value < lowest || value > highest) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::string Range(const SettingDescription& setting) {
    return std::to_string(setting.minimum) + ".." + std::to_string(setting.maximum);
}

// "add, sub or rel64": the mode's names as the option takes them.
std::string ModeWords(const char* separator, const char* last) {
    std::string words;
    for (std::uint32_t mode = 0; mode < kModeCount; ++mode)
        words += (mode == 0 ? "" : mode + 1 == kModeCount ? last : separator) + Lower(kModeNames[mode]);
    return words;
}

// The values a controller setting takes, in words.
std::string ControllerValues(const SettingDescription& setting) {
    return "1.." + std::to_string(setting.maximum) + ", or " + Lower(kPressureName) + " (0)";
}

// What the option of a setting takes, for a mistake.
std::string Takes(const SettingDescription& setting) {
    switch (setting.display) {
    case SettingDisplay::Controller: return "a controller number " + ControllerValues(setting);
    case SettingDisplay::ModeName: return ModeWords(", ", " or ");
    default: return Range(setting);
    }
}

std::int32_t SettingValue(std::uint32_t index, const std::string& text) {
    const SettingDescription& setting = kSettingTable[index];
    const std::string lower = Lower(text);
    if (setting.display == SettingDisplay::ModeName) {
        for (std::uint32_t mode = 0; mode < kModeCount; ++mode)
            if (lower == Lower(kModeNames[mode])) return static_cast<std::int32_t>(mode);
    } else if (setting.display == SettingDisplay::Controller && lower == Lower(kPressureName)) {
        return 0;
    } else if (const auto value = Number(text, setting.minimum, setting.maximum)) {
        return *value;
    }
    throw InputError(std::string("--") + setting.option + " must be " + Takes(setting) + ", not '" + text + "'");
}

}  // namespace

std::string HostUsage() {
    std::string usage =
        "usage: veltrace-host [options] INPUT.mid OUTPUT.mid\n"
        "Plays a MIDI file through the Veltrace plug-in as a sequencer does, one filter per track,\n"
        "and writes what comes out.\n";
    const auto line = [&usage](std::string option, const std::string& meaning) {
        option.resize(std::max<std::size_t>(option.size() + 1, 23), ' ');
        usage += "  " + option + meaning + "\n";
    };
    for (const SettingDescription& setting : kSettingTable) {
        const std::string option = std::string("--") + setting.option;
        switch (setting.display) {
        case SettingDisplay::Controller:
            line(option + " N|" + Lower(kPressureName), std::string(setting.meaning) + ", " + ControllerValues(setting));
            break;
        case SettingDisplay::ModeName: line(option + " " + ModeWords("|", "|"), setting.meaning); break;
        default: line(option + " N", std::string(setting.meaning) + ", " + Range(setting)); break;
        }
    }
    line("--settings FILE", "start from a saved 64-byte settings stream");
    line("--save-settings FILE", "write the filter's settings stream after the options");
    line("--live", "send the events one at a time, as live input, instead of in playback blocks");
    line("--slice TICKS", "ticks per playback block, 1..1000000 (default 120)");
#ifdef _WIN32
    line("--dll PATH", "load the plug-in from this file instead of the registry");
#else
    line("--lv2 BUNDLE", "load the plug-in from this bundle instead of the installed ones");
#endif
    line("--clap FILE", "play through the CLAP edition in this file (Veltrace.clap)");
    line("--vst3 BUNDLE", "play through the VST3 edition in this bundle (Veltrace.vst3)");
    return usage;
}

HostOptions ParseHostOptions(const std::vector<std::string>& arguments) {
    HostOptions options;
    std::vector<std::string> files;
    std::string named;  // the option that named the plug-in
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> attached;  // --name=value
        if (name.rfind("--", 0) == 0 && name.find('=') != std::string::npos) {
            attached = name.substr(name.find('=') + 1);
            name = name.substr(0, name.find('='));
        }
        const auto value = [&]() -> std::string {
            if (attached) return *attached;
            if (i + 1 == arguments.size()) throw InputError(name + " needs a value");
            return arguments[++i];
        };
        const auto flag = [&] {
            if (attached) throw InputError(name + " takes no value");
        };
        const auto setting = std::find_if(std::begin(kSettingTable), std::end(kSettingTable),
                                          [&](const SettingDescription& row) { return name == std::string("--") + row.option; });
        if (setting != std::end(kSettingTable)) {
            const auto index = static_cast<std::uint32_t>(setting - std::begin(kSettingTable));
            options.settings[index] = SettingValue(index, value());
        } else if (name == "--settings") {
            options.settingsFile = value();
        } else if (name == "--save-settings") {
            options.saveSettingsFile = value();
        } else if (name == kPluginOption || name == "--clap" || name == "--vst3") {
            const PluginFormat format = name == "--clap"   ? PluginFormat::Clap
                                        : name == "--vst3" ? PluginFormat::Vst3
                                                           : PluginFormat::Native;
            if (!named.empty() && named != name)
                throw InputError(name + " and " + named + ": name one plug-in (" + kPluginOption + ", --clap or --vst3)");
            named = name;
            options.format = format;
            options.plugin = value();
        } else if (name == "--slice") {
            const std::string ticks = value();
            const auto slice = Number(ticks, 1, 1000000);
            if (!slice) throw InputError("--slice must be 1..1000000 ticks, not '" + ticks + "'");
            options.playback.sliceTicks = static_cast<std::uint32_t>(*slice);
        } else if (name == "--live") {
            flag();
            options.playback.live = true;
        } else if (name == "--help" || name == "-h") {
            flag();
            options.help = true;
        } else if (name.size() > 1 && name[0] == '-') {
            throw InputError("unknown option " + name);
        } else {
            files.push_back(arguments[i]);
        }
    }
    if (options.help) return options;
    if (files.size() != 2)
        throw InputError("expected INPUT.mid and OUTPUT.mid, got " + std::to_string(files.size()) + " file names");
    options.input = files[0];
    options.output = files[1];
    return options;
}

void ApplySettingOptions(const HostOptions& options, SettingsCells& cells) {
    for (std::size_t index = 0; index < options.settings.size(); ++index)
        if (options.settings[index]) cells[SettingRow * kParamsPerRow + index] = *options.settings[index];
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw InputError(path + ": cannot be opened for reading");
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw InputError(path + ": cannot be read");
    return bytes;
}

void WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const std::string partial = path + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (!out) throw InputError(path + ": cannot be written");
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::remove(partial.c_str());
            throw InputError(path + ": cannot be written in full");
        }
    }
    std::error_code error;
    std::filesystem::rename(partial, path, error);  // replaces an existing file, at once
    if (error) {
        std::remove(partial.c_str());
        throw InputError(path + ": cannot be written (" + error.message() + ")");
    }
}

bool SameFile(const std::string& first, const std::string& second) {
    std::error_code error;
    if (std::filesystem::equivalent(first, second, error)) return true;
    const auto normal = [](const std::string& path) {
        std::error_code ignored;
        std::string text = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ignored), ignored).string();
#ifdef _WIN32
        text = Lower(text);
#endif
        return text;
    };
    return normal(first) == normal(second);
}
