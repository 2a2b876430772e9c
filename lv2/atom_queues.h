// The engine's sequenced path reads and writes host event queues; an LV2
// plug-in gets a cycle's MIDI as atom sequences. These two small queues stand
// between them for the length of one OnEvents call, so the LV2 edition runs
// exactly the path that the Windows module's playback runs.
//
// Every MIDI event of the input stretch becomes one record, at its frame
// offset as the record's time, in order. The engine reads controllers and
// channel pressure and passes every other type untouched, so a well-formed
// controller message becomes a controller record (type 2) and a channel
// pressure message a pressure record (type 4, its amount in the second data
// byte), as the host's records hold them. Every other event (other channel
// messages, system exclusive, system common and real-time messages, a
// malformed message) rides through the engine as a record of a type it never
// looks at, and the output writes the original event again, byte for byte.
// Each record carries where its event lies in the input.
//
// Neither queue allocates.
#pragma once

#include <cstdint>

#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include "engine/mfx.h"

// The record type of a MIDI event that leaves as it came.
constexpr LONG kVerbatimEventType = -1;

// What both queues share: they live on the stack of one run, so they count
// no references, and they answer for IUnknown only. Each is read or written,
// not both: the other direction is not implemented.
class CStackEventQueue : public IMfxEventQueue {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Add(const MfxEvent*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) override;
    HRESULT STDMETHODCALLTYPE GetAt(LONG, MfxEvent*) override { return E_NOTIMPL; }

protected:
    explicit CStackEventQueue(LONG count) : m_count(count) {}
    LONG m_count;  // records held
};

// The input queue over the `count` MIDI events of [begin, end) of a
// sequence, every event of which lies wholly within it. Events of other atom
// types are no records.
class CAtomInputQueue final : public CStackEventQueue {
public:
    CAtomInputQueue(const LV2_Atom_Sequence& sequence, const LV2_Atom_Event* begin, const LV2_Atom_Event* end,
                    LONG count, LV2_URID midiEvent);

    // Fast in order, as the engine asks: it goes on from the last record.
    HRESULT STDMETHODCALLTYPE GetAt(LONG index, MfxEvent* event) override;

private:
    // The first MIDI event from `event` on, or m_end.
    const LV2_Atom_Event* MidiFrom(const LV2_Atom_Event* event) const;

    const LV2_Atom_Sequence& m_sequence;
    const LV2_Atom_Event* const m_begin;
    const LV2_Atom_Event* const m_end;
    const LV2_URID m_midiEvent;
    LONG m_cursorIndex = 0;          // the record m_cursor is
    const LV2_Atom_Event* m_cursor;  // m_end: none left
};

// The output queue: appends each record as a MIDI event to a sequence the
// plug-in has cleared, within the capacity the host gave it. A record that
// does not fit is refused (E_OUTOFMEMORY) and counted; nothing is written
// past the end.
class CAtomOutputQueue final : public CStackEventQueue {
public:
    // `input` lies wholly before `inputLimit`: verbatim events come from it.
    CAtomOutputQueue(LV2_Atom_Sequence& sequence, std::uint32_t capacity, const LV2_Atom_Sequence& input,
                     const std::uint8_t* inputLimit, LV2_URID midiEvent);

    HRESULT STDMETHODCALLTYPE Add(const MfxEvent* event) override;

    std::uint32_t Dropped() const { return m_dropped; }

private:
    // Room for `room` more bytes, or the record is dropped and counted.
    bool Reserve(std::uint32_t room);

    LV2_Atom_Sequence& m_sequence;
    const std::uint32_t m_capacity;
    const LV2_Atom_Sequence& m_input;
    const std::uint8_t* const m_inputLimit;
    const LV2_URID m_midiEvent;
    std::uint32_t m_dropped = 0;
};
