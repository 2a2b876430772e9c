// The filter's work as the host's MIDI-effect interface hands it over: the
// core filter (core/) behind the host's event and data queues. OnEvents and
// OnInput are loops over the host's records that route each one through the
// core; the COM filter object owns one of these and forwards to it. Portable:
// off Windows, platform/com_base.h declares the few COM types it needs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/filter_core.h"
#include "filter/mfx.h"

// Only the named bytes of the host's records are fixed: a host's own record
// may be longer than ours, and its GetAt fills a whole one, its Add copies a
// whole one. The buffers the paths hand the host leave this much room.
constexpr std::size_t kHostEventRecordRoom = 256;
constexpr std::size_t kHostDataRecordRoom = 64;

class CFilterEngine {
public:
    CFilterEngine() = default;
    CFilterEngine(const CFilterEngine&) = delete;
    CFilterEngine& operator=(const CFilterEngine&) = delete;

    // [any thread] One cell of the table (see CFilterCore).
    std::int32_t GetParam(std::uint32_t row, std::uint32_t index) const { return m_core.GetParam(row, index); }
    void SetParam(std::uint32_t row, std::uint32_t index, std::int32_t value) { m_core.SetParam(row, index, value); }

    // [host thread] Playback started or looped.
    void ResetLastSent() { m_core.ResetLastSent(); }

    // [host thread] One block of sequenced events from input to output. Master
    // and modifier moves leave as modulated master values, repeats of the
    // last one sent are dropped, everything else passes unchanged. Failures of
    // the host's queues are absorbed. Allocates nothing.
    void OnEvents(IMfxEventQueue* input, IMfxEventQueue* output);

    // [host thread] The same for live short messages.
    void OnInput(IMfxDataQueue* input, IMfxDataQueue* output);

    // Run-time memories, for inspection.
    std::int32_t LastMaster() const { return m_core.LastMaster(); }
    std::int32_t LastModifier() const { return m_core.LastModifier(); }
    std::int32_t LastEventOut() const { return m_core.LastEventOut(); }
    std::int32_t LastInputOut() const { return m_core.LastInputOut(); }

private:
    CFilterCore m_core;
};
