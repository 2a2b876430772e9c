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

// The two ways a host drives a filter. They share the values seen last on
// each stream; each keeps its own memory of the master value it sent last.
enum class FilterPath { Sequenced, Live };

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

    // [any thread] Playback started or looped: forget the master value each
    // path sent last, so the next one is sent even if it repeats.
    void ResetLastSent();
    // [any thread] Every memory as a new filter holds it (the table stays).
    void ForgetHistory();

    // [host thread] Runs `loop(router)` once, with a CRouter for `path` and
    // the settings as they stand now; they serve the whole call, and a change
    // made meanwhile takes effect with the next. `loop` is called with a
    // router of one of three types (one per kind of rule), so it must be a
    // generic lambda. Allocates nothing, takes no lock.
    template <class Loop>
    void Play(FilterPath path, Loop&& loop);

    // The settings as a call reads them (row 0, one cell at a time).
    FilterSettings ReadSettings() const;

    // Run-time memories, for inspection.
    std::int32_t LastMaster() const { return m_lastMaster.load(std::memory_order_relaxed); }
    std::int32_t LastModifier() const { return m_lastModifier.load(std::memory_order_relaxed); }
    std::int32_t LastEventOut() const { return m_lastEventOut.load(std::memory_order_relaxed); }
    std::int32_t LastInputOut() const { return m_lastInputOut.load(std::memory_order_relaxed); }

private:
    std::atomic<std::int32_t> m_params[kParamRows][kParamsPerRow];

    // The paths may run on different host threads at once; relaxed atomics
    // keep these free of data races, and nothing relies on an order between
    // the two paths' updates.
    std::atomic<std::int32_t> m_lastInputOut{-1};  // live path's last master value sent; -1 = none
    std::atomic<std::int32_t> m_lastEventOut{-1};  // sequenced path's last master value sent; -1 = none
    std::atomic<std::int32_t> m_lastMaster{0};     // last value seen on the master stream, both paths
    std::atomic<std::int32_t> m_lastModifier{0};   // last value seen on the modifier stream, both paths
};

template <class Loop>
void CFilterCore::Play(FilterPath path, Loop&& loop) {
    const FilterSettings settings = ReadSettings();
    const StreamWatch watch = StreamWatch::For(settings);
    const PathMemories memories{m_lastMaster, m_lastModifier,
                                path == FilterPath::Sequenced ? m_lastEventOut : m_lastInputOut};
    WithRule(settings, [&](auto& rule) {
        CRouter<std::remove_reference_t<decltype(rule)>> router(watch, rule, memories);
        loop(router);
    });
}
