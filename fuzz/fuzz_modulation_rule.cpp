// Any six 32-bit arguments to the modulation rule: the result is always
// 0..127, and wherever the rule's own 32-bit arithmetic stays in range it is
// exactly the reference's, to the unit.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/parameters.h"
#include "tests/core/reference_rule.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::int32_t arguments[6];
    if (size < sizeof arguments) return 0;
    std::memcpy(arguments, data, sizeof arguments);
    // Often keep the mode and the settings in their bounds, where the rule lives.
    if (size > sizeof arguments && data[sizeof arguments] & 1) {
        arguments[4] = static_cast<std::int32_t>(static_cast<std::uint32_t>(arguments[4]) % 3);
        for (const int index : {0, 1, 2, 3})
            arguments[index] = static_cast<std::int32_t>(static_cast<std::uint32_t>(arguments[index]) % 128);
        arguments[5] = static_cast<std::int32_t>(static_cast<std::uint32_t>(arguments[5]) % 101);
    }
    const auto [base, modifier, low, high, mode, amount] = arguments;
    const std::int32_t result = ComputeModulatedValue(base, modifier, low, high, mode, amount);
    if (result < 0 || result > 127) std::abort();
    if (const auto expected = ReferenceRule(base, modifier, low, high, mode, amount))
        if (result != *expected) std::abort();
    return 0;
}
