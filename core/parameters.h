// The parameter table's layout and bounds, and the one modulation rule that
// both event paths share. Everything here is pure: no lock, no allocation.
#pragma once

#include <array>
#include <cstdint>

#include "settings_table.h"

// Rows of the parameter table.
enum ParamRow : std::uint32_t {
    SettingRow = 0,   // the six live settings
    CcAssignRow = 1,  // one controller assignment per setting; shown and saved, never read by the event paths
};

constexpr std::uint32_t kParamRows = 2;
constexpr std::uint32_t kParamCells = kParamRows * kParamsPerRow;

// The twelve cells, in table order: SettingRow, then CcAssignRow.
using SettingsCells = std::array<std::int32_t, kParamCells>;

// The value of every cell of a new filter, in table order.
constexpr std::int32_t kDefaultParams[kParamRows][kParamsPerRow] = {
    {kSettingTable[MasterCc].defaultValue, kSettingTable[ModifierCc].defaultValue,
     kSettingTable[EffectAmount].defaultValue, kSettingTable[LowIn].defaultValue, kSettingTable[HighIn].defaultValue,
     kSettingTable[Mode].defaultValue},
    {128, 128, 128, 128, 128, 128},
};
static_assert(kParamsPerRow == 6, "a row's defaults name each setting");

// The same as twelve cells in table order.
SettingsCells DefaultSettingsCells();

// Lowest value the page offers for a cell (the settings table's bounds for
// row 0); 0 for a cell that does not exist.
std::int32_t GetParamMin(std::uint32_t row, std::uint32_t index);

// Highest value the page offers for a cell; 0 for a cell that does not exist.
std::int32_t GetParamMax(std::uint32_t row, std::uint32_t index);

// Keeps a value within the MIDI range 0..127.
inline std::int32_t ClampToMidi(std::int64_t value) {
    if (value > 127) return 127;
    if (value < 0) return 0;
    return static_cast<std::int32_t>(value);
}

// The Add and Sub rule in two stages, for a caller that applies one modifier
// value to many master values. The scale, amount times the modifier's
// fraction divided by 100 with each step in single precision, depends on the
// modifier and the settings alone.
float ModulationScale(std::int32_t modifier, std::int32_t low, std::int32_t high, std::int32_t amount);

// Add (ModeAdd) or Sub (any other mode) with a scale from ModulationScale:
// exactly what ComputeModulatedValue gives for the same arguments.
inline std::int32_t ApplyModulationScale(std::int32_t base, float scale, std::int32_t mode) {
    const std::int64_t room = mode == ModeAdd ? 128 - std::int64_t{base} : std::int64_t{base} + 1;
    // |scale * room| <= 2^31 / 100 * (2^31 + 128) < 2^56: always representable.
    const std::int64_t whole = static_cast<std::int64_t>(scale * static_cast<float>(room));
    return ClampToMidi(mode == ModeAdd ? base + whole : base - whole);
}

// The modulated master value, 0..127, for any six 32-bit arguments.
//
// Add and Sub scale by where the modifier lies between low and high and work
// in single precision in a fixed order, so results match to the unit; Rel64
// shifts the base by the modifier's distance from 64. Any other mode gives 0.
// Arguments far outside the settings' bounds (a loaded stream can hold any
// value) are computed in wider integers so nothing overflows.
std::int32_t ComputeModulatedValue(std::int32_t base, std::int32_t modifier, std::int32_t low,
                                   std::int32_t high, std::int32_t mode, std::int32_t amount);
