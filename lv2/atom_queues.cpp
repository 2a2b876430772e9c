#include "lv2/atom_queues.h"

#include <cstring>

#include <lv2/atom/util.h>

namespace {

// Where an input event lies, carried in the record's tail from input to
// output: its byte offset from the start of the input sequence.
void CarryPlace(MfxEvent& record, const LV2_Atom_Sequence& sequence, const LV2_Atom_Event* event) {
    const auto offset = static_cast<std::uint32_t>(reinterpret_cast<const std::uint8_t*>(event) -
                                                   reinterpret_cast<const std::uint8_t*>(&sequence));
    std::memcpy(record.m_reserved, &offset, sizeof offset);
}

const LV2_Atom_Event* CarriedPlace(const MfxEvent& record, const LV2_Atom_Sequence& sequence) {
    std::uint32_t offset;
    std::memcpy(&offset, record.m_reserved, sizeof offset);
    return reinterpret_cast<const LV2_Atom_Event*>(reinterpret_cast<const std::uint8_t*>(&sequence) + offset);
}

bool IsVoiceMessage(const std::uint8_t* bytes, std::uint32_t size) {
    if (size == 0 || size != VoiceMessageSize(bytes[0])) return false;
    for (std::uint32_t i = 1; i < size; ++i)
        if (bytes[i] & 0x80) return false;
    return true;
}

// A record as the bytes of its MIDI message; 0 for a type that names none.
std::uint32_t EncodeVoiceMessage(const MfxEvent& record, std::uint8_t bytes[3]) {
    const std::uint8_t channel = record.m_channel & 0x0F;
    switch (record.m_type) {
    case MfxControllerEvent:
        bytes[0] = 0xB0 | channel;
        bytes[1] = record.m_data1;
        bytes[2] = record.m_data2;
        return 3;
    case MfxChannelPressureEvent:
        bytes[0] = 0xD0 | channel;
        bytes[1] = record.m_data2;  // the amount is the record's second data byte
        return 2;
    case 0x80: case 0x90: case 0xA0: case 0xC0: case 0xE0:
        bytes[0] = static_cast<std::uint8_t>(record.m_type) | channel;
        bytes[1] = record.m_data1;
        bytes[2] = record.m_data2;
        return VoiceMessageSize(bytes[0]);
    default:
        return 0;
    }
}

}  // namespace

// ---- Input ---------------------------------------------------------------------

CAtomInputQueue::CAtomInputQueue(const LV2_Atom_Sequence& sequence, const LV2_Atom_Event* begin,
                                 const LV2_Atom_Event* end, LV2_URID midiEvent)
    : m_sequence(sequence), m_begin(begin), m_end(end), m_midiEvent(midiEvent) {}

HRESULT CAtomInputQueue::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = iid == IID_IUnknown ? this : nullptr;
    return *object != nullptr ? S_OK : E_NOINTERFACE;
}

const LV2_Atom_Event* CAtomInputQueue::Next(const LV2_Atom_Event* event) const {
    do event = lv2_atom_sequence_next(event);
    while (event < m_end && !IsMidi(event));
    return event;
}

HRESULT CAtomInputQueue::GetCount(LONG* count) {
    if (count == nullptr) return E_POINTER;
    if (m_count < 0) {
        m_count = 0;
        for (const LV2_Atom_Event* event = m_begin; event < m_end; event = lv2_atom_sequence_next(event))
            if (IsMidi(event)) ++m_count;
    }
    *count = m_count;
    return S_OK;
}

HRESULT CAtomInputQueue::GetAt(LONG index, MfxEvent* record) {
    if (record == nullptr) return E_POINTER;
    if (index < 0) return E_INVALIDARG;
    if (m_cursor == nullptr || index < m_cursorIndex) {
        m_cursor = m_begin;
        if (m_cursor < m_end && !IsMidi(m_cursor)) m_cursor = Next(m_cursor);
        m_cursorIndex = 0;
    }
    for (; m_cursorIndex < index && m_cursor < m_end; ++m_cursorIndex) m_cursor = Next(m_cursor);
    if (m_cursor >= m_end) return E_INVALIDARG;
    const LV2_Atom_Event* const event = m_cursor;

    const auto* bytes = static_cast<const std::uint8_t*>(LV2_ATOM_BODY_CONST(&event->body));
    const std::uint32_t size = event->body.size;
    record->m_time = static_cast<LONG>(event->time.frames);
    if (IsVoiceMessage(bytes, size)) {
        const std::uint8_t kind = bytes[0] & 0xF0;
        record->m_channel = bytes[0] & 0x0F;
        if (kind == 0xB0) {
            record->m_type = MfxControllerEvent;
            record->m_data1 = bytes[1];
            record->m_data2 = bytes[2];
        } else if (kind == 0xD0) {
            record->m_type = MfxChannelPressureEvent;
            record->m_data1 = 0;
            record->m_data2 = bytes[1];
        } else {
            record->m_type = kind;
            record->m_data1 = bytes[1];
            record->m_data2 = size == 3 ? bytes[2] : 0;
        }
    } else {
        record->m_type = kVerbatimEventType;
    }
    CarryPlace(*record, m_sequence, event);

    m_cursor = Next(event);
    m_cursorIndex = index + 1;
    return S_OK;
}

// ---- Output --------------------------------------------------------------------

CAtomOutputQueue::CAtomOutputQueue(LV2_Atom_Sequence& sequence, std::uint32_t capacity,
                                   const LV2_Atom_Sequence& input, LV2_URID midiEvent)
    : m_sequence(sequence), m_capacity(capacity), m_input(input), m_midiEvent(midiEvent) {}

HRESULT CAtomOutputQueue::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = iid == IID_IUnknown ? this : nullptr;
    return *object != nullptr ? S_OK : E_NOINTERFACE;
}

HRESULT CAtomOutputQueue::GetCount(LONG* count) {
    if (count == nullptr) return E_POINTER;
    *count = m_count;
    return S_OK;
}

HRESULT CAtomOutputQueue::Add(const MfxEvent* record) {
    if (record == nullptr) return E_POINTER;
    const LV2_Atom_Event* verbatim = nullptr;
    std::uint8_t bytes[3] = {};
    std::uint32_t size;
    if (record->m_type == kVerbatimEventType) {
        verbatim = CarriedPlace(*record, m_input);
        size = verbatim->body.size;
    } else {
        size = EncodeVoiceMessage(*record, bytes);
        if (size == 0) return E_INVALIDARG;
    }

    // The padded size, so that even the padding stays within the capacity.
    const std::uint32_t room = lv2_atom_pad_size(static_cast<std::uint32_t>(sizeof(LV2_Atom_Event)) + size);
    if (m_capacity - m_sequence.atom.size < room) {
        ++m_dropped;
        return E_OUTOFMEMORY;
    }
    auto* const out = lv2_atom_sequence_end(&m_sequence.body, m_sequence.atom.size);
    if (verbatim != nullptr) {
        std::memcpy(out, verbatim, sizeof(LV2_Atom_Event) + size);
    } else {
        out->time.frames = record->m_time;
        out->body.size = size;
        out->body.type = m_midiEvent;
        std::uint64_t body = 0;  // the message and its padding, with one store
        std::memcpy(&body, bytes, 3);
        std::memcpy(out + 1, &body, sizeof body);
    }
    m_sequence.atom.size += room;
    ++m_count;
    return S_OK;
}
