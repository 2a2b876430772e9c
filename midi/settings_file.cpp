#include "midi/settings_file.h"

#include "core/parameters.h"
#include "core/settings_table.h"

SettingsCells ReadSettingsStream(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    if (bytes.size() != kSettingsBytes)
        throw InputError(name + ": " + std::to_string(bytes.size()) + " bytes; a settings stream is " +
                         std::to_string(kSettingsBytes));
    SettingsCells cells = DefaultSettingsCells();
    switch (DecodeSettings(bytes.data(), bytes.size(), cells).outcome) {
    case SettingsOutcome::Loaded: return cells;
    case SettingsOutcome::WrongMagic: throw InputError(name + ": not a Veltrace settings stream (wrong magic)");
    case SettingsOutcome::WrongVersion:
        throw InputError(name + ": settings version " + std::to_string(SettingsVersionOf(bytes.data())) +
                         "; this plug-in reads version " + std::to_string(kSettingsVersion));
    default: throw InputError(name + ": cut short");  // not reached: the size was checked
    }
}

std::vector<std::uint8_t> WriteSettingsStream(const SettingsCells& cells) {
    const SettingsBytes bytes = EncodeSettings(cells);
    return {bytes.begin(), bytes.end()};
}

void CheckSettingsWithinControls(const SettingsCells& cells) {
    if (const auto index = SettingOutOfRange(cells)) throw InputError(SettingOutOfRangeMessage(*index, cells[*index]));
}

WatchedStreams StreamsOf(const SettingsCells& cells) { return {cells[MasterCc], cells[ModifierCc]}; }

MidiFile ReadMidiFile(const std::uint8_t* bytes, std::size_t size, const std::string& name) {
    try {
        return ParseMidiFile(bytes, size);
    } catch (const MidiFileError& error) {
        throw InputError(name + ": " + error.what());
    }
}
