// The portable heart of one filter: its parameter table under its lock, the
// run-time memories of the two event paths, and the paths themselves. The COM
// filter object owns one of these and forwards its entry points to it.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/critical_lock.h"
#include "engine/mfx.h"
#include "engine/parameters.h"

// Only the named bytes of the host's records are fixed: a host's own record
// may be longer than ours, and its GetAt fills a whole one, its Add copies a
// whole one. The buffers the paths hand the host leave this much room.
constexpr std::size_t kHostEventRecordRoom = 256;
constexpr std::size_t kHostDataRecordRoom = 64;

class CFilterEngine {
public:
    CFilterEngine();
    CFilterEngine(const CFilterEngine&) = delete;
    CFilterEngine& operator=(const CFilterEngine&) = delete;

    // [any thread] One cell of the table, under the lock for that cell alone.
    // No bounds test on the value: keeping a cell in range is the caller's
    // business. A row or index outside the table reads 0 and writes nothing.
    std::int32_t GetParam(std::uint32_t row, std::uint32_t index) const;
    void SetParam(std::uint32_t row, std::uint32_t index, std::int32_t value);

    // [host thread] Playback started or looped: forget the master value each
    // path sent last, so the next one is sent even if it repeats.
    void ResetLastSent();

    // [host thread] One block of sequenced events from input to output. Master
    // and modifier moves leave as modulated master values, repeats of the
    // last one sent are dropped, everything else passes unchanged. Failures of
    // the host's queues are absorbed. Allocates nothing.
    void OnEvents(IMfxEventQueue* input, IMfxEventQueue* output);

    // [host thread] The same for live short messages.
    void OnInput(IMfxDataQueue* input, IMfxDataQueue* output);

    // Run-time memories, for inspection.
    std::int32_t LastMaster() const { return m_lastMaster.load(std::memory_order_relaxed); }
    std::int32_t LastModifier() const { return m_lastModifier.load(std::memory_order_relaxed); }
    std::int32_t LastEventOut() const { return m_lastEventOut.load(std::memory_order_relaxed); }
    std::int32_t LastInputOut() const { return m_lastInputOut.load(std::memory_order_relaxed); }

private:
    // Stands for a stream setting that names no stream: it matches nothing.
    static constexpr std::int32_t kNoStream = -1;

    // Row 0 as read at the start of one call; it serves the whole call.
    struct Settings {
        std::int32_t masterCc;
        std::int32_t modifierCc;
        std::int32_t effectAmount;
        std::int32_t lowIn;
        std::int32_t highIn;
        std::int32_t mode;
    };

    // What a message is to one call: a move of the master stream, of the
    // modifier stream, of both (one stream set as both), or of neither.
    enum StreamRole : unsigned { NeitherStream = 0, MasterStream = 1, ModifierStream = 2, BothStreams = 3 };

    // The two streams as one call matches messages against them.
    struct Watch {
        std::int32_t masterController;    // the master's controller number, or kNoStream
        std::int32_t modifierController;  // the modifier's, or kNoStream
        StreamRole pressureRole;          // what channel pressure is (the stream set to 0)

        // What leaves is always the master stream: controller
        // masterController, or channel pressure when that stream is 0.
        bool PressureIsMaster() const { return (pressureRole & MasterStream) != 0; }
        StreamRole ControllerRole(std::int32_t number) const {
            if (number == masterController) return number == modifierController ? BothStreams : MasterStream;
            return number == modifierController ? ModifierStream : NeitherStream;
        }
    };

    Settings ReadSettings() const;
    static Watch WatchFor(const Settings& settings);
    // Both paths' one rule for a master or modifier move: updates the shared
    // memories and the path's own last-sent value, leaves the master value to
    // send in `value`, and says whether to send it (false: a repeat). Inlined
    // into each path once per role, so each kind of move runs straight
    // through; `rule` is the modulation rule chosen for the call's mode
    // (event_paths.cpp).
    template <class Rule>
    [[gnu::always_inline]] bool RouteMove(Rule& rule, std::atomic<std::int32_t>& lastSent, StreamRole role,
                                          std::int32_t& value);
    template <StreamRole Role, class Rule>
    [[gnu::always_inline]] bool RouteMoveOf(Rule& rule, std::atomic<std::int32_t>& lastSent, std::int32_t& value);
    // The two paths' loops over a non-empty block, once per kind of rule.
    template <class Rule>
    void PlayEvents(Watch watch, Rule& rule, LONG count, IMfxEventQueue* input, IMfxEventQueue* output);
    template <class Rule>
    void PlayInput(Watch watch, Rule& rule, LONG count, IMfxDataQueue* input, IMfxDataQueue* output);

    mutable CCriticalLock m_lock;  // guards m_params: one cell at a time, or row 0 at the start of a path's call
    std::int32_t m_params[kParamRows][kParamsPerRow];

    // The paths may run on different host threads at once; relaxed atomics
    // keep these free of data races, and nothing relies on an order between
    // the two paths' updates.
    std::atomic<std::int32_t> m_lastInputOut{-1};  // live path's last master value sent; -1 = none
    std::atomic<std::int32_t> m_lastEventOut{-1};  // sequenced path's last master value sent; -1 = none
    std::atomic<std::int32_t> m_lastMaster{0};     // last value seen on the master stream, both paths
    std::atomic<std::int32_t> m_lastModifier{0};   // last value seen on the modifier stream, both paths
};
