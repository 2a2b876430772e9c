// Any settings a loaded stream could hold, then any sequence of sequenced and
// live blocks. Checks that nothing goes out of bounds, that no more comes out
// than went in, and that every record that comes out is either its input
// unchanged or a master output carrying a MIDI value.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/filter_core.h"
#include "filter/event_paths.h"
#include "fuzz/fuzz_input.h"
#include "tests/filter/fake_queues.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// A master output names its stream and carries its value in MIDI data bytes.
bool IsMasterEvent(const MfxEvent& event) {
    return (event.m_type == MfxControllerEvent || event.m_type == MfxChannelPressureEvent) && event.m_data1 <= 127 &&
           event.m_data2 <= 127;
}

bool IsMasterMessage(const MfxData& data) {
    switch (data.m_status & 0xF0) {
    case 0xB0: return data.m_data1 <= 127 && data.m_data2 <= 127;
    case 0xD0: return data.m_data1 <= 127 && data.m_data1 == data.m_data2;
    default: return false;
    }
}

// One block through one path: whatever comes out is an unchanged input or a
// master output, and no more comes out than went in.
template <class Queue, class Record, class IsMaster, class Run>
void RunBlock(CFuzzInput& reader, size_t count, LONG failingFetch, int failingAdd, IsMaster isMaster, Run run) {
    Queue input, output;
    input.m_failGetAtIndex = failingFetch;
    output.m_failAddCall = failingAdd;
    Record record;
    for (size_t i = 0; i < count && reader.Take(&record, sizeof record); ++i) input.m_records.push_back(record);
    run(&input, &output);
    Check(static_cast<size_t>(output.m_addCalls) <= input.m_records.size());
    for (const Record& out : output.m_added) {
        bool known = isMaster(out);
        for (const Record& in : input.m_records) known = known || std::memcmp(&in, &out, sizeof in) == 0;
        Check(known);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput reader(data, size);
    CFilterCore core;
    int32_t settings[kParamsPerRow];
    if (!reader.Take(settings, sizeof settings)) return 0;
    for (uint32_t index = 0; index < kParamsPerRow; ++index) core.SetParam(SettingRow, index, settings[index]);

    uint8_t header[2];
    while (reader.Take(header, sizeof header)) {
        const size_t count = header[1] % 16;
        const LONG failingFetch = header[0] >> 4;  // often past the block: no failure
        const int failingAdd = header[1] >> 4;
        switch (header[0] & 3) {
        case 0:
            RunBlock<CFakeEventQueue, MfxEvent>(
                reader, count, failingFetch, failingAdd, IsMasterEvent,
                [&](auto* input, auto* output) { RunSequencedPath(core, input, output); });
            break;
        case 1:
            RunBlock<CFakeDataQueue, MfxData>(reader, count, failingFetch, failingAdd, IsMasterMessage,
                                              [&](auto* input, auto* output) { RunLivePath(core, input, output); });
            break;
        case 2:
            core.ResetLastSent();
            break;
        default: {
            int32_t value;
            if (reader.Take(&value, sizeof value)) core.SetParam(header[1] % 3, header[0] >> 2, value);
            break;
        }
        }
    }
    return 0;
}
