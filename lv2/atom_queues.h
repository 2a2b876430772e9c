// The engine's sequenced path reads and writes host event queues; an LV2
// plug-in gets a cycle's MIDI as atom sequences. These two small queues stand
// between them for the length of one OnEvents call, so the LV2 edition runs
// exactly the path that the Windows module's playback runs.
//
// Every MIDI event of the input stretch becomes one record, at its frame
// offset as the record's time. A channel voice message (the right length for
// its status, data bytes below 0x80) is a record the engine can read: a
// controller (type 2), channel pressure (type 4, its amount in the second
// data byte) or any other kind under its status nibble. Anything else
// (system exclusive, system common and real-time messages, a malformed
// message) rides through the engine as a record of a type it never looks at,
// and the output writes the original atom again. Each record carries where
// its atom lies, so nothing is copied that does not have to be.
//
// Neither queue allocates or counts references: both live on the stack of
// the plug-in's run.
#pragma once

#include <cstdint>

#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include "engine/mfx.h"

// The record type of a MIDI event that is not a channel voice message.
constexpr LONG kVerbatimEventType = -1;

// The input queue over the MIDI events of [begin, end) of a sequence. Events
// of other atom types are no records.
class CAtomInputQueue final : public IMfxEventQueue {
public:
    CAtomInputQueue(const LV2_Atom_Sequence& sequence, const LV2_Atom_Event* begin, const LV2_Atom_Event* end,
                    LV2_URID midiEvent);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Add(const MfxEvent*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) override;
    // Fast in order, as the engine asks: it walks on from the last record.
    HRESULT STDMETHODCALLTYPE GetAt(LONG index, MfxEvent* event) override;

private:
    bool IsMidi(const LV2_Atom_Event* event) const { return event->body.type == m_midiEvent; }
    const LV2_Atom_Event* Next(const LV2_Atom_Event* event) const;

    const LV2_Atom_Sequence& m_sequence;
    const LV2_Atom_Event* const m_begin;
    const LV2_Atom_Event* const m_end;
    const LV2_URID m_midiEvent;
    LONG m_count = -1;                         // worked out on the first GetCount
    LONG m_cursorIndex = 0;                    // the record m_cursor is
    const LV2_Atom_Event* m_cursor = nullptr;  // null: start again from m_begin
};

// The output queue: appends each record as a MIDI event to a sequence the
// plug-in has cleared, within the capacity the host gave it. A record that
// does not fit is refused (E_OUTOFMEMORY) and counted; nothing is written
// past the end.
class CAtomOutputQueue final : public IMfxEventQueue {
public:
    CAtomOutputQueue(LV2_Atom_Sequence& sequence, std::uint32_t capacity, const LV2_Atom_Sequence& input,
                     LV2_URID midiEvent);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Add(const MfxEvent* event) override;
    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) override;
    HRESULT STDMETHODCALLTYPE GetAt(LONG, MfxEvent*) override { return E_NOTIMPL; }

    std::uint32_t Dropped() const { return m_dropped; }

private:
    LV2_Atom_Sequence& m_sequence;
    const std::uint32_t m_capacity;
    const LV2_Atom_Sequence& m_input;  // where verbatim events come from
    const LV2_URID m_midiEvent;
    LONG m_count = 0;
    std::uint32_t m_dropped = 0;
};

// The number of bytes of a channel voice message with this status (2 or 3),
// or 0 for a byte that starts none.
inline std::uint32_t VoiceMessageSize(std::uint8_t status) {
    switch (status & 0xF0) {
    case 0x80: case 0x90: case 0xA0: case 0xB0: case 0xE0: return 3;
    case 0xC0: case 0xD0: return 2;
    default: return 0;
    }
}
