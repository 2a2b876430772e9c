#include "filter_core.h"

namespace {

bool IsCell(std::uint32_t row, std::uint32_t index) { return row < kParamRows && index < kParamsPerRow; }

}  // namespace

CFilterCore::CFilterCore() { SetCells(DefaultSettingsCells()); }

std::int32_t CFilterCore::GetParam(std::uint32_t row, std::uint32_t index) const {
    if (!IsCell(row, index)) return 0;
    return m_params[row][index].load(std::memory_order_relaxed);
}

void CFilterCore::SetParam(std::uint32_t row, std::uint32_t index, std::int32_t value) {
    if (!IsCell(row, index)) return;
    m_params[row][index].store(value, std::memory_order_relaxed);
}

void CFilterCore::SetCells(const SettingsCells& cells) {
    for (std::uint32_t cell = 0; cell < kParamCells; ++cell)
        m_params[cell / kParamsPerRow][cell % kParamsPerRow].store(cells[cell], std::memory_order_relaxed);
}

void CFilterCore::ResetLastSent() {
    m_memories.lastInputOut.store(-1, std::memory_order_relaxed);
    m_memories.lastEventOut.store(-1, std::memory_order_relaxed);
}

void CFilterCore::ForgetHistory() {
    ResetLastSent();
    m_memories.lastMaster.store(0, std::memory_order_relaxed);
    m_memories.lastModifier.store(0, std::memory_order_relaxed);
}

FilterSettings CFilterCore::ReadSettings() const {
    const std::atomic<std::int32_t>* const row = m_params[SettingRow];
    FilterSettings settings;
    settings.masterCc = row[MasterCc].load(std::memory_order_relaxed);
    settings.modifierCc = row[ModifierCc].load(std::memory_order_relaxed);
    settings.effectAmount = row[EffectAmount].load(std::memory_order_relaxed);
    settings.lowIn = row[LowIn].load(std::memory_order_relaxed);
    settings.highIn = row[HighIn].load(std::memory_order_relaxed);
    settings.mode = row[Mode].load(std::memory_order_relaxed);
    return settings;
}
