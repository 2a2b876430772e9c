// The sequenced path (OnEvents) and the live path (OnInput): loops over the
// host's queues that route each controller or channel-pressure record through
// the core and write the master output back in the record's own form.
#include "filter/event_paths.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(__BYTE_ORDER__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "records are composed as little-endian words");
#endif

namespace {

// The host's Add reads a record right after the path has rewritten it. A read
// that spans several smaller stores cannot take its bytes from them and waits
// until they reach the cache, a stall that cost the sequenced path more than
// all its routing. So its master output is composed in registers and written
// with one store that covers what the host reads first.

// Bytes 6..11 of a sequenced record (type, controller number, value), within
// its first 16, written with one 16-byte store.
void WriteEventHead(MfxEvent& event, LONG type, BYTE number, BYTE value) {
    std::uint64_t low, high;  // bytes 0..7 and 8..15, little-endian
    std::memcpy(&low, reinterpret_cast<const BYTE*>(&event), 8);
    std::memcpy(&high, reinterpret_cast<const BYTE*>(&event) + 8, 8);
    const std::uint32_t typeBits = static_cast<std::uint32_t>(type);
    low = (low & 0x0000FFFFFFFFFFFFull) | std::uint64_t{typeBits & 0xFFFF} << 48;
    high = (high & 0xFFFFFFFF00000000ull) | std::uint64_t{typeBits >> 16} | std::uint64_t{number} << 16 |
           std::uint64_t{value} << 24;
#if defined(__SSE2__)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&event), _mm_set_epi64x(static_cast<long long>(high),
                                                                        static_cast<long long>(low)));
#else
    std::memcpy(reinterpret_cast<BYTE*>(&event), &low, 8);
    std::memcpy(reinterpret_cast<BYTE*>(&event) + 8, &high, 8);
#endif
}

// The live path's master output, in the form of the message it replaces:
// the status kind and controller number are fixed for the call, the channel
// and the carried bytes are kept. Composed in one 8-byte word without a
// branch on the form, and written with one store, like the sequenced head.
class CLiveMasterForm {
public:
    CLiveMasterForm(bool pressureIsMaster, BYTE controller)
        : m_head(pressureIsMaster ? std::uint64_t{MidiChannelPressure} << 32
                                  : std::uint64_t{MidiControlChange} << 32 | std::uint64_t{controller} << 40),
          // Channel pressure carries its amount in the first data byte; the
          // second repeats it. A controller's value is its second data byte.
          m_valueSpread(pressureIsMaster ? (1ull << 40 | 1ull << 48) : 1ull << 48) {}

    void Write(MfxData& data, BYTE value) const {
        std::uint64_t word;  // little-endian: time, status, data1, data2, carried byte
        std::memcpy(&word, &data, sizeof word);
        word = (word & kKept) | m_head | value * m_valueSpread;
        std::memcpy(&data, &word, sizeof word);
    }

private:
    // The time (bytes 0..3), the channel (low nibble of byte 4), the carried byte 7.
    static constexpr std::uint64_t kKept = 0xFF00000FFFFFFFFFull;
    const std::uint64_t m_head;         // status kind in byte 4, controller number in byte 5
    const std::uint64_t m_valueSpread;  // multiplied by the value, puts it where it goes
};

}  // namespace

void RunSequencedPath(CFilterCore& core, IMfxEventQueue* input, IMfxEventQueue* output) {
    if (input == nullptr || output == nullptr) return;
    LONG count = 0;
    // An empty call, which hosts make all the time, reads no settings.
    if (FAILED(input->GetCount(&count)) || count <= 0) return;
    // The queues and the count by value: the loop keeps them in registers.
    core.Play<FilterPath::Sequenced>([input, output, count](auto& router) {
        // Channel pressure goes out with number 0.
        const LONG outputType = router.MasterIsPressure() ? MfxChannelPressureEvent : MfxControllerEvent;
        const BYTE outputNumber = router.MasterController();

        // One buffer for the whole block, with room for a longer host record
        // (whose GetAt fills the room too: only the named record starts cleared).
        union alignas(64) {
            MfxEvent event;
            BYTE room[kHostEventRecordRoom];
        } buffer;
        MfxEvent& event = buffer.event = MfxEvent{};
        for (LONG index = 0; index < count; ++index) {
            event.m_port = 0;
            event.m_channel = 0;
            if (FAILED(input->GetAt(index, &event))) continue;

            StreamRole role = NeitherStream;
            if (event.m_type == MfxControllerEvent)
                role = router.ControllerRole(event.m_data1);
            else if (event.m_type == MfxChannelPressureEvent)
                role = router.PressureRole();
            if (role != NeitherStream) {
                std::int32_t value = event.m_data2;  // controller value or pressure amount alike
                if (!router.Move(role, value)) continue;
                WriteEventHead(event, outputType, outputNumber, static_cast<BYTE>(value));
            }
            output->Add(&event);  // a failed Add loses only this record
        }
    });
}

void RunLivePath(CFilterCore& core, IMfxDataQueue* input, IMfxDataQueue* output) {
    if (input == nullptr || output == nullptr) return;
    LONG count = 0;
    if (FAILED(input->GetCount(&count)) || count <= 0) return;
    core.Play<FilterPath::Live>([input, output, count](auto& router) {
        const CLiveMasterForm masterForm(router.MasterIsPressure(), router.MasterController());

        // One buffer for the whole call, with room for a longer host record.
        union alignas(8) {
            MfxData data;
            BYTE room[kHostDataRecordRoom];
        } buffer;
        MfxData& data = buffer.data = MfxData{};
        for (LONG index = 0; index < count; ++index) {
            if (FAILED(input->GetAt(index, &data))) continue;

            const BYTE kind = data.m_status & 0xF0;
            StreamRole role = NeitherStream;
            std::int32_t value = 0;
            if (kind == MidiControlChange) {
                role = router.ControllerRole(data.m_data1);
                value = data.m_data2;
            } else if (kind == MidiChannelPressure) {
                role = router.PressureRole();
                value = data.m_data1;
            }
            if (role != NeitherStream) {
                if (!router.Move(role, value)) continue;
                masterForm.Write(data, static_cast<BYTE>(value));
            }
            output->Add(&data);  // a failed Add loses only this message
        }
    });
}
