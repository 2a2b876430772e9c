// The filter's work as the host's MIDI-effect interface hands it over: the
// core filter (core/) behind the host's event and data queues. Two loops over
// the host's records route each one through the core; the COM filter object
// calls them with the core it owns. Portable: off Windows,
// platform/com_base.h declares the few COM types they need.
#pragma once

#include <cstddef>

#include "core/filter_core.h"
#include "filter/mfx.h"

// Only the named bytes of the host's records are fixed: a host's own record
// may be longer than ours, and its GetAt fills a whole one, its Add copies a
// whole one. The buffers the paths hand the host leave this much room.
constexpr std::size_t kHostEventRecordRoom = 256;
constexpr std::size_t kHostDataRecordRoom = 64;

// [host thread] OnEvents: one block of sequenced events from input to output.
// Master and modifier moves leave as modulated master values, repeats of the
// last one sent are dropped, everything else passes unchanged. Failures of
// the host's queues are absorbed; null queues do nothing. Allocates nothing.
void RunSequencedPath(CFilterCore& core, IMfxEventQueue* input, IMfxEventQueue* output);

// [host thread] OnInput: the same for live short messages.
void RunLivePath(CFilterCore& core, IMfxDataQueue* input, IMfxDataQueue* output);
