#include "engine/parameters.h"

std::int32_t GetParamMin(std::uint32_t, std::uint32_t) { return 0; }

std::int32_t GetParamMax(std::uint32_t row, std::uint32_t index) {
    switch (row) {
    case SettingRow:
        if (index == EffectAmount) return 100;
        if (index == Mode) return 2;
        return 127;
    case CcAssignRow:
        return 128;
    default:
        return 0;
    }
}

namespace {

std::int32_t ClampToMidi(std::int64_t value) {
    if (value > 127) return 127;
    if (value < 0) return 0;
    return static_cast<std::int32_t>(value);
}

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

std::int32_t ComputeModulatedValue(std::int32_t base, std::int32_t modifier, std::int32_t low,
                                   std::int32_t high, std::int32_t mode, std::int32_t amount) {
    switch (mode) {
    case ModeRel64: {
        // |amount * (modifier - 64)| < 2^63, so the product cannot overflow.
        const std::int64_t shift = std::int64_t{amount} * (std::int64_t{modifier} - 64) / 100;
        return ClampToMidi(base + shift);
    }
    case ModeAdd:
    case ModeSub: {
        // Each step rounds to single precision, in this order; the last unit
        // of the result depends on it.
        const float fraction = ModifierFraction(modifier, low, high);
        float step = static_cast<float>(amount) * fraction;
        step = step / 100.0f;
        const std::int64_t room = mode == ModeAdd ? 128 - std::int64_t{base} : std::int64_t{base} + 1;
        step = step * static_cast<float>(room);
        // |step| <= 2^31 / 100 * (2^31 + 128) < 2^56: always representable.
        const std::int64_t whole = static_cast<std::int64_t>(step);
        return ClampToMidi(mode == ModeAdd ? base + whole : base - whole);
    }
    default:
        return 0;
    }
}
