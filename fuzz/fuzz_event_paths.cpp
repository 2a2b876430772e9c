// Any settings a loaded stream could hold, then any sequence of sequenced and
// live blocks. Checks that nothing goes out of bounds, that no more comes out
// than went in, and that every record that comes out is either its input
// unchanged or a master output carrying a MIDI value.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/filter_engine.h"

namespace {

template <class QueueInterface, class Record>
class CBlockQueue final : public QueueInterface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Add(const Record* record) override {
        m_records.push_back(*record);
        return m_failAdds ? E_FAIL : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) override {
        *count = static_cast<LONG>(m_records.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAt(LONG index, Record* record) override {
        if (index < 0 || static_cast<size_t>(index) >= m_records.size() || (m_failMask >> (index % 8) & 1))
            return E_FAIL;
        *record = m_records[static_cast<size_t>(index)];
        return S_OK;
    }
    std::vector<Record> m_records;
    unsigned m_failMask = 0;
    bool m_failAdds = false;
};

class CReader {
public:
    CReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Take(void* out, size_t count) {
        if (m_size - m_used < count) return false;
        std::memcpy(out, m_data + m_used, count);
        m_used += count;
        return true;
    }
    bool Empty() const { return m_used == m_size; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_used = 0;
};

void Check(bool condition) {
    if (!condition) std::abort();
}

bool IsMasterEvent(const MfxEvent& event) {
    return (event.m_type == MfxControllerEvent || event.m_type == MfxChannelPressureEvent) && event.m_data2 <= 127;
}

bool IsMasterMessage(const MfxData& data) {
    switch (data.m_status & 0xF0) {
    case 0xB0: return data.m_data2 <= 127;
    case 0xD0: return data.m_data1 <= 127 && data.m_data1 == data.m_data2;
    default: return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CReader reader(data, size);
    CFilterEngine engine;
    int32_t settings[kParamsPerRow];
    if (!reader.Take(settings, sizeof settings)) return 0;
    for (uint32_t index = 0; index < kParamsPerRow; ++index) engine.SetParam(SettingRow, index, settings[index]);

    uint8_t header[2];
    while (reader.Take(header, sizeof header)) {
        const size_t count = header[1] % 16;
        const unsigned failMask = header[0] >> 4;
        switch (header[0] & 3) {
        case 0: {
            CBlockQueue<IMfxEventQueue, MfxEvent> input, output;
            input.m_failMask = failMask;
            output.m_failAdds = header[0] & 4;
            MfxEvent event;
            for (size_t i = 0; i < count && reader.Take(&event, sizeof event); ++i) input.m_records.push_back(event);
            engine.OnEvents(&input, &output);
            Check(output.m_records.size() <= input.m_records.size());
            for (const MfxEvent& out : output.m_records) {
                bool known = IsMasterEvent(out);
                for (const MfxEvent& in : input.m_records) known = known || std::memcmp(&in, &out, sizeof in) == 0;
                Check(known);
            }
            break;
        }
        case 1: {
            CBlockQueue<IMfxDataQueue, MfxData> input, output;
            input.m_failMask = failMask;
            output.m_failAdds = header[0] & 4;
            MfxData message;
            for (size_t i = 0; i < count && reader.Take(&message, sizeof message); ++i)
                input.m_records.push_back(message);
            engine.OnInput(&input, &output);
            Check(output.m_records.size() <= input.m_records.size());
            for (const MfxData& out : output.m_records) {
                bool known = IsMasterMessage(out);
                for (const MfxData& in : input.m_records) known = known || std::memcmp(&in, &out, sizeof in) == 0;
                Check(known);
            }
            break;
        }
        case 2:
            engine.ResetLastSent();
            break;
        default: {
            int32_t value;
            if (reader.Take(&value, sizeof value)) engine.SetParam(header[1] % 3, header[0] >> 2, value);
            break;
        }
        }
    }
    return 0;
}
