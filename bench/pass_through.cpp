// A translation unit of its own that sees only the host's interfaces, as the
// host loops do: its queue calls are real indirect calls, never inlined into
// the fakes the benchmark hands it.
#include "bench/pass_through.h"

namespace {

template <class QueueInterface, class Record>
void PassThrough(QueueInterface* input, QueueInterface* output) {
    LONG count = 0;
    if (FAILED(input->GetCount(&count))) return;
    Record record{};
    for (LONG index = 0; index < count; ++index)
        if (SUCCEEDED(input->GetAt(index, &record))) output->Add(&record);
}

}  // namespace

void PassThroughEvents(IMfxEventQueue* input, IMfxEventQueue* output) { PassThrough<IMfxEventQueue, MfxEvent>(input, output); }
void PassThroughData(IMfxDataQueue* input, IMfxDataQueue* output) { PassThrough<IMfxDataQueue, MfxData>(input, output); }
