#include "engine/filter_engine.h"

namespace {

bool IsCell(std::uint32_t row, std::uint32_t index) { return row < kParamRows && index < kParamsPerRow; }

}  // namespace

CFilterEngine::CFilterEngine() {
    for (std::uint32_t row = 0; row < kParamRows; ++row)
        for (std::uint32_t index = 0; index < kParamsPerRow; ++index)
            m_params[row][index] = kDefaultParams[row][index];
}

std::int32_t CFilterEngine::GetParam(std::uint32_t row, std::uint32_t index) const {
    if (!IsCell(row, index)) return 0;
    CCriticalLock::Guard guard(m_lock);
    return m_params[row][index];
}

void CFilterEngine::SetParam(std::uint32_t row, std::uint32_t index, std::int32_t value) {
    if (!IsCell(row, index)) return;
    CCriticalLock::Guard guard(m_lock);
    m_params[row][index] = value;
}

void CFilterEngine::ResetLastSent() {
    m_lastInputOut.store(-1, std::memory_order_relaxed);
    m_lastEventOut.store(-1, std::memory_order_relaxed);
}

CFilterEngine::Settings CFilterEngine::ReadSettings() const {
    // The six under one hold of the lock: one round trip instead of six, on
    // every call of the real-time paths, and a consistent snapshot besides
    // (nothing relies on it; the page still writes one cell at a time).
    Settings settings;
    {
        CCriticalLock::Guard guard(m_lock);
        const std::int32_t* const row = m_params[SettingRow];
        settings.masterCc = row[MasterCc];
        settings.modifierCc = row[ModifierCc];
        settings.effectAmount = row[EffectAmount];
        settings.lowIn = row[LowIn];
        settings.highIn = row[HighIn];
        settings.mode = row[Mode];
    }
    return settings;
}
