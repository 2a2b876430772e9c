// The modulation rule exactly as written, for the tests and the fuzzer to
// hold the core's rule against.
#pragma once

#include <cstdint>
#include <optional>

#include "core/parameters.h"

// The rule exactly as written for in-range settings, in 32-bit arithmetic.
// Returns nothing where that arithmetic would leave the 32-bit range.
inline std::optional<std::int32_t> ReferenceRule(std::int32_t base, std::int32_t modifier, std::int32_t low,
                                                 std::int32_t high, std::int32_t mode, std::int32_t amount) {
    std::int32_t result = 0;
    if (mode == ModeRel64) {
        std::int32_t distance = 0, product = 0;
        if (__builtin_sub_overflow(modifier, 64, &distance) || __builtin_mul_overflow(amount, distance, &product) ||
            __builtin_add_overflow(base, product / 100, &result))
            return std::nullopt;
    } else if (mode == ModeAdd || mode == ModeSub) {
        float fraction = 0.0f;
        if (modifier >= high) {
            fraction = 1.0f;
        } else if (modifier > low) {
            std::int32_t offset = 0, span = 0;
            if (__builtin_sub_overflow(modifier, low, &offset) || __builtin_sub_overflow(high, low, &span))
                return std::nullopt;
            fraction = static_cast<float>(offset) / static_cast<float>(span);
        }
        std::int32_t room = 0;
        if (mode == ModeAdd ? __builtin_sub_overflow(128, base, &room) : __builtin_add_overflow(base, 1, &room))
            return std::nullopt;
        float step = static_cast<float>(amount) * fraction;
        step = step / 100.0f;
        step = step * static_cast<float>(room);
        if (!(step > -2147483648.0f && step < 2147483648.0f)) return std::nullopt;
        const std::int32_t whole = static_cast<std::int32_t>(step);
        if (mode == ModeAdd ? __builtin_add_overflow(base, whole, &result) : __builtin_sub_overflow(base, whole, &result))
            return std::nullopt;
    } else {
        return 0;
    }
    return result > 127 ? 127 : result < 0 ? 0 : result;
}
