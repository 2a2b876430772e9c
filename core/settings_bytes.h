// The filter's settings as the 64 bytes a host keeps in its project: a 16-byte
// header (magic, version, header length, value length) and the twelve cells
// of the parameter table, all 32-bit little-endian, cells stored as the table
// holds them. Every face reads and writes this one format.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "parameters.h"

constexpr std::uint32_t kSettingsMagic = 0xB825E09A;  // the first 32 bits of the filter's class id
constexpr std::uint32_t kSettingsVersion = 1;
constexpr std::uint32_t kSettingsHeaderBytes = 16;
constexpr std::uint32_t kSettingsValueBytes = kParamCells * 4;
constexpr std::uint32_t kSettingsBytes = kSettingsHeaderBytes + kSettingsValueBytes;
static_assert(kSettingsBytes == 64, "the settings are 64 bytes");

using SettingsBytes = std::array<std::uint8_t, kSettingsBytes>;

SettingsBytes EncodeSettings(const SettingsCells& cells);
// The 16-byte header alone, as the first write of the whole.
std::array<std::uint8_t, kSettingsHeaderBytes> EncodeSettingsHeader();

// Whether a header is one this filter reads: the magic and the version are
// checked, the two length fields are not looked at.
enum class SettingsHeader { Good, WrongMagic, WrongVersion };
SettingsHeader CheckSettingsHeader(const std::uint8_t* header16);
std::uint32_t SettingsVersionOf(const std::uint8_t* header16);

// One cell to its four bytes and back.
void EncodeSettingsCell(std::int32_t value, std::uint8_t* bytes4);
std::int32_t DecodeSettingsCell(const std::uint8_t* bytes4);

// Reading settings from `size` bytes: a bad header stores nothing; a cut
// keeps the cells read in full before it. `cells` holds what was read, the
// cells after the cut as they were.
enum class SettingsOutcome {
    Loaded,        // all twelve cells
    ShortHeader,   // fewer than 16 bytes: nothing read
    WrongMagic,    // nothing read
    WrongVersion,  // nothing read
    CutShort,      // a cell not there in full: the cells before it read
};
struct SettingsRead {
    SettingsOutcome outcome;
    std::size_t cellsRead;
};
SettingsRead DecodeSettings(const std::uint8_t* bytes, std::size_t size, SettingsCells& cells);

// The first setting (row 0) outside the bounds a control offers (GetParamMin
// .. GetParamMax), if any: only a damaged or foreign file holds one.
std::optional<std::uint32_t> SettingOutOfRange(const SettingsCells& cells);
