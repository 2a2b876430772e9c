// One filter, as every face of the plug-in runs it: its parameter table, the
// memories of its two paths (sequenced playback and live input), start and
// loop, and the routing of each channel message. Standard C++ only; a face
// turns its host's events into calls of the router that Play hands its loop.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>

#include "parameters.h"
#include "routing.h"
#include "rule_cache.h"

// Real-time paths read the cells while another thread writes them: that must
// never take a lock behind the scenes.
static_assert(std::atomic<std::int32_t>::is_always_lock_free, "the table's cells are lock-free atomics");

class CFilterCore {
public:
    CFilterCore();
    CFilterCore(const CFilterCore&) = delete;
    CFilterCore& operator=(const CFilterCore&) = delete;

    // [any thread] One cell of the table. Each cell is an atomic of its own,
    // so a setting changed on one thread is never torn for a path running on
    // another, and nobody waits. No bounds test on the value: keeping a cell
    // in range is the caller's business. A row or index outside the table
    // reads 0 and writes nothing.
    std::int32_t GetParam(std::uint32_t row, std::uint32_t index) const;
    void SetParam(std::uint32_t row, std::uint32_t index, std::int32_t value);
    // [any thread] All twelve cells, in table order.
    void SetCells(const SettingsCells& cells);

    // [any thread] Playback started or looped: forget the master value each
    // path sent last, so the next one is sent even if it repeats.
    void ResetLastSent();
    // [any thread] Every memory as a new filter holds it (the table stays).
    void ForgetHistory();

    // [host thread] Runs `loop(router)` once, with a CRouter for `Path` and
    // the settings as they stand now; they serve the whole call, and a change
    // made meanwhile takes effect with the next. `loop` is called with a
    // router of one of three types (one per kind of rule), so it must be a
    // generic lambda. Allocates nothing, takes no lock.
    template <FilterPath Path, class Loop>
    void Play(Loop&& loop);
    // The same with the rule's results kept in `cache` across calls, for a
    // face that runs the filter on one thread. The router's type says what
    // channel pressure is (one of four), so the loop tests nothing for it.
    template <FilterPath Path, class Loop>
    void Play(CRuleCache& cache, Loop&& loop);

    // Run-time memories, for inspection.
    std::int32_t LastMaster() const { return m_memories.lastMaster.load(std::memory_order_relaxed); }
    std::int32_t LastModifier() const { return m_memories.lastModifier.load(std::memory_order_relaxed); }
    std::int32_t LastEventOut() const { return m_memories.lastEventOut.load(std::memory_order_relaxed); }
    std::int32_t LastInputOut() const { return m_memories.lastInputOut.load(std::memory_order_relaxed); }

private:
    // The settings as a call reads them (row 0, one cell at a time).
    FilterSettings ReadSettings() const;

    std::atomic<std::int32_t> m_params[kParamRows][kParamsPerRow];

    FilterMemories m_memories;
};

template <FilterPath Path, class Loop>
void CFilterCore::Play(Loop&& loop) {
    const FilterSettings settings = ReadSettings();
    const StreamWatch watch = StreamWatch::For(settings);
    WithRule(settings, [&](auto& rule) {
        CRouter<std::remove_reference_t<decltype(rule)>, Path> router(watch, rule, m_memories);
        loop(router);
    });
}

template <FilterPath Path, class Loop>
void CFilterCore::Play(CRuleCache& cache, Loop&& loop) {
    const FilterSettings settings = ReadSettings();
    cache.Prepare(settings);
    const StreamWatch watch = StreamWatch::For(settings);
    const auto play = [&](auto pressure) {
        CRouter<CRuleCache, Path, decltype(pressure)::value> router(watch, cache, m_memories);
        loop(router);
    };
    switch (watch.pressureRole) {
    case NeitherStream: play(std::integral_constant<int, NeitherStream>{}); break;
    case MasterStream: play(std::integral_constant<int, MasterStream>{}); break;
    case ModifierStream: play(std::integral_constant<int, ModifierStream>{}); break;
    case BothStreams: play(std::integral_constant<int, BothStreams>{}); break;
    }
}
