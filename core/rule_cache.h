// The rule's results for one filter's settings, kept across calls by a face
// that runs its filter on one thread (an LV2 instance's run): a result once
// worked out is looked up, and nothing is cleared or worked out again until
// the settings change. Results are the rule's own, to the unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "parameters.h"
#include "routing.h"

class CRuleCache {
public:
    // Ready for a new filter's settings, so that a filter that keeps them
    // clears nothing at its first call.
    CRuleCache() {
        const std::int32_t* const defaults = kDefaultParams[SettingRow];
        Prepare({defaults[MasterCc], defaults[ModifierCc], defaults[EffectAmount], defaults[LowIn], defaults[HighIn],
                 defaults[Mode]});
    }

    // [the face's one thread] Ready for these settings: what was kept for
    // other settings is forgotten.
    void Prepare(const FilterSettings& settings) {
        if (m_ready && settings.lowIn == m_low && settings.highIn == m_high && settings.mode == m_mode &&
            settings.effectAmount == m_amount)
            return;
        m_low = settings.lowIn;
        m_high = settings.highIn;
        m_mode = settings.mode;
        m_amount = settings.effectAmount;
        std::memset(m_results, kUnknown, sizeof m_results);
        m_ready = true;
    }

    [[gnu::always_inline]] std::int32_t operator()(std::int32_t base, std::int32_t modifier) {
        // Not both MIDI values: not kept. Two tests, so that a caller whose
        // value is known to be one spends one.
        if (static_cast<std::uint32_t>(base) >= kValues || static_cast<std::uint32_t>(modifier) >= kValues)
            return ComputeModulatedValue(base, modifier, m_low, m_high, m_mode, m_amount);
        const std::uint8_t result = m_results[Slot(base, modifier)];
        return result != kUnknown ? result : Fill(base, modifier);
    }

private:
    static constexpr std::uint32_t kValues = 128;

    static std::size_t Slot(std::int32_t base, std::int32_t modifier) {
        return std::size_t{static_cast<std::uint32_t>(modifier)} * kValues + static_cast<std::uint32_t>(base);
    }
    // Out of the loop's way: it runs once per pair of values.
    [[gnu::noinline]] std::int32_t Fill(std::int32_t base, std::int32_t modifier) {
        const std::int32_t result = ComputeModulatedValue(base, modifier, m_low, m_high, m_mode, m_amount);
        m_results[Slot(base, modifier)] = static_cast<std::uint8_t>(result);
        return result;
    }
    static constexpr std::uint8_t kUnknown = 0xFF;  // never a result: those are 0..127

    bool m_ready = false;
    std::int32_t m_low = 0, m_high = 0, m_mode = 0, m_amount = 0;
    std::uint8_t m_results[kValues * kValues];  // by modifier, then base
};
