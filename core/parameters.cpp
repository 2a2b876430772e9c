#include "parameters.h"

SettingsCells DefaultSettingsCells() {
    SettingsCells cells;
    for (std::uint32_t cell = 0; cell < kParamCells; ++cell)
        cells[cell] = kDefaultParams[cell / kParamsPerRow][cell % kParamsPerRow];
    return cells;
}

std::int32_t GetParamMin(std::uint32_t row, std::uint32_t index) {
    return row == SettingRow && index < kParamsPerRow ? kSettingTable[index].minimum : 0;
}

// An assignment is a controller number, or 128 for none.
std::int32_t GetParamMax(std::uint32_t row, std::uint32_t index) {
    if (index >= kParamsPerRow) return 0;
    switch (row) {
    case SettingRow: return kSettingTable[index].maximum;
    case CcAssignRow: return 128;
    default: return 0;
    }
}

namespace {

// Where the modifier lies between low and high, 0..1. The test against high
// comes first, so low >= high never divides by zero or a negative span.
float ModifierFraction(std::int32_t modifier, std::int32_t low, std::int32_t high) {
    if (modifier >= high) return 1.0f;
    if (modifier <= low) return 0.0f;
    const std::int64_t offset = std::int64_t{modifier} - low;  // both differences may exceed 32 bits
    const std::int64_t span = std::int64_t{high} - low;
    return static_cast<float>(offset) / static_cast<float>(span);
}

}  // namespace

float ModulationScale(std::int32_t modifier, std::int32_t low, std::int32_t high, std::int32_t amount) {
    // Each step rounds to single precision, in this order; the last unit of
    // the result depends on it.
    float scale = static_cast<float>(amount) * ModifierFraction(modifier, low, high);
    scale = scale / 100.0f;
    return scale;
}

std::int32_t ComputeModulatedValue(std::int32_t base, std::int32_t modifier, std::int32_t low,
                                   std::int32_t high, std::int32_t mode, std::int32_t amount) {
    switch (mode) {
    case ModeRel64: {
        // |amount * (modifier - 64)| < 2^63, so the product cannot overflow.
        const std::int64_t shift = std::int64_t{amount} * (std::int64_t{modifier} - 64) / 100;
        return ClampToMidi(base + shift);
    }
    case ModeAdd:
    case ModeSub:
        return ApplyModulationScale(base, ModulationScale(modifier, low, high, amount), mode);
    default:
        return 0;
    }
}
