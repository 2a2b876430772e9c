#include "lv2/atom_queues.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <lv2/atom/util.h>

namespace {

constexpr std::uint32_t kEventHeader = sizeof(LV2_Atom_Event);

// Bytes 0..15 of a record: time, port 0, channel, type, the two data bytes,
// and where its event lies (its byte offset from the start of the input
// sequence) in the first four carried bytes. Composed in two words and
// written with one 16-byte store: the engine reads the type (bytes 6..9)
// right after, and a read that spans two smaller stores cannot take its
// bytes from them but waits for them to reach the cache.
void WriteRecordHead(MfxEvent& record, std::int64_t frame, std::uint8_t channel, LONG type, std::uint8_t data1,
                     std::uint8_t data2, std::uint32_t place) {
    const auto typeBits = static_cast<std::uint32_t>(type);
    const std::uint64_t low = std::uint64_t{static_cast<std::uint32_t>(frame)} | std::uint64_t{channel} << 40 |
                              std::uint64_t{typeBits & 0xFFFF} << 48;
    const std::uint64_t high = std::uint64_t{typeBits >> 16} | std::uint64_t{data1} << 16 |
                               std::uint64_t{data2} << 24 | std::uint64_t{place} << 32;
#if defined(__SSE2__)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&record), _mm_set_epi64x(static_cast<long long>(high),
                                                                         static_cast<long long>(low)));
#else
    std::memcpy(reinterpret_cast<std::uint8_t*>(&record), &low, 8);
    std::memcpy(reinterpret_cast<std::uint8_t*>(&record) + 8, &high, 8);
#endif
}

std::uint32_t PlaceOf(const MfxEvent& record) {
    std::uint32_t place;
    std::memcpy(&place, record.m_reserved, sizeof place);
    return place;
}

}  // namespace

// ---- Both ----------------------------------------------------------------------

HRESULT CStackEventQueue::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = iid == IID_IUnknown ? this : nullptr;
    return *object != nullptr ? S_OK : E_NOINTERFACE;
}

HRESULT CStackEventQueue::GetCount(LONG* count) {
    if (count == nullptr) return E_POINTER;
    *count = m_count;
    return S_OK;
}

// ---- Input ---------------------------------------------------------------------

CAtomInputQueue::CAtomInputQueue(const LV2_Atom_Sequence& sequence, const LV2_Atom_Event* begin,
                                 const LV2_Atom_Event* end, LONG count, LV2_URID midiEvent)
    : CStackEventQueue(count), m_sequence(sequence), m_begin(begin), m_end(end), m_midiEvent(midiEvent),
      m_cursor(MidiFrom(begin)) {}

const LV2_Atom_Event* CAtomInputQueue::MidiFrom(const LV2_Atom_Event* event) const {
    while (event < m_end && event->body.type != m_midiEvent) event = lv2_atom_sequence_next(event);
    return event;
}

HRESULT CAtomInputQueue::GetAt(LONG index, MfxEvent* record) {
    if (record == nullptr) return E_POINTER;
    if (index != m_cursorIndex) {  // not the next one: walk there from the start
        if (index < 0 || index >= m_count) return E_INVALIDARG;
        m_cursor = MidiFrom(m_begin);
        for (m_cursorIndex = 0; m_cursorIndex < index; ++m_cursorIndex)
            m_cursor = MidiFrom(lv2_atom_sequence_next(m_cursor));
    }
    if (m_cursor >= m_end) return E_INVALIDARG;
    const LV2_Atom_Event* const event = m_cursor;
    m_cursor = MidiFrom(lv2_atom_sequence_next(event));
    ++m_cursorIndex;

    const auto* bytes = static_cast<const std::uint8_t*>(LV2_ATOM_BODY_CONST(&event->body));
    const std::uint32_t size = event->body.size;
    const auto place = static_cast<std::uint32_t>(reinterpret_cast<const std::uint8_t*>(event) -
                                                  reinterpret_cast<const std::uint8_t*>(&m_sequence));
    const std::uint8_t kind = size != 0 ? bytes[0] & 0xF0 : 0;
    if (kind == 0xB0 && size == 3 && ((bytes[1] | bytes[2]) & 0x80) == 0)
        WriteRecordHead(*record, event->time.frames, bytes[0] & 0x0F, MfxControllerEvent, bytes[1], bytes[2], place);
    else if (kind == 0xD0 && size == 2 && (bytes[1] & 0x80) == 0)  // the amount goes in the second data byte
        WriteRecordHead(*record, event->time.frames, bytes[0] & 0x0F, MfxChannelPressureEvent, 0, bytes[1], place);
    else
        WriteRecordHead(*record, event->time.frames, 0, kVerbatimEventType, 0, 0, place);
    return S_OK;
}

// ---- Output --------------------------------------------------------------------

CAtomOutputQueue::CAtomOutputQueue(LV2_Atom_Sequence& sequence, std::uint32_t capacity,
                                   const LV2_Atom_Sequence& input, const std::uint8_t* inputLimit,
                                   LV2_URID midiEvent)
    : CStackEventQueue(0), m_sequence(sequence), m_capacity(capacity), m_input(input), m_inputLimit(inputLimit),
      m_midiEvent(midiEvent) {}

bool CAtomOutputQueue::Reserve(std::uint32_t room) {
    if (m_capacity - m_sequence.atom.size >= room) return true;
    ++m_dropped;
    return false;
}

HRESULT CAtomOutputQueue::Add(const MfxEvent* record) {
    if (record == nullptr) return E_POINTER;
    auto* const out = reinterpret_cast<std::uint8_t*>(lv2_atom_sequence_end(&m_sequence.body, m_sequence.atom.size));
    std::uint32_t room;
    if (record->m_type == kVerbatimEventType) {
        const auto* const event = reinterpret_cast<const std::uint8_t*>(&m_input) + PlaceOf(*record);
        const std::uint32_t size = reinterpret_cast<const LV2_Atom_Event*>(event)->body.size;
        room = lv2_atom_pad_size(kEventHeader + size);  // the padding too stays within the capacity
        if (!Reserve(room)) return E_OUTOFMEMORY;
        if (room == kEventHeader + 8 && event + room <= m_inputLimit)
            std::memcpy(out, event, kEventHeader + 8);  // a short message, with its padding, in one go
        else
            std::memcpy(out, event, kEventHeader + size);
    } else {
        // A controller or channel-pressure record, as its message: the frame
        // of the input event it stands for (the record's time holds only 32
        // bits of it), its size and type, and its bytes with their padding,
        // each word written straight to the output.
        const std::uint8_t channel = record->m_channel & 0x0F;
        std::uint64_t frame;
        std::memcpy(&frame, reinterpret_cast<const std::uint8_t*>(&m_input) + PlaceOf(*record), sizeof frame);
        std::uint64_t sizeAndType, message;
        if (record->m_type == MfxControllerEvent) {
            sizeAndType = 3 | std::uint64_t{m_midiEvent} << 32;
            message = (0xB0u | channel) | std::uint64_t{record->m_data1} << 8 | std::uint64_t{record->m_data2} << 16;
        } else if (record->m_type == MfxChannelPressureEvent) {
            sizeAndType = 2 | std::uint64_t{m_midiEvent} << 32;
            message = (0xD0u | channel) | std::uint64_t{record->m_data2} << 8;
        } else {
            return E_INVALIDARG;
        }
        room = kEventHeader + 8;
        if (!Reserve(room)) return E_OUTOFMEMORY;
        std::memcpy(out, &frame, 8);
        std::memcpy(out + 8, &sizeAndType, 8);
        std::memcpy(out + 16, &message, 8);
    }
    m_sequence.atom.size += room;
    ++m_count;
    return S_OK;
}
