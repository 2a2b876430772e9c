// The VST3 entry's processing in front of a stand-in for DPF's audio
// processor, with any host input: calls of any length (before or after any
// announced longest), events of any type, bus and frame, parameter changes
// for any parameter at any frame and value. Checks what DPF is handed: calls
// no longer than announced; events and points within the call; notes,
// pressure and the MIDI parameters' points, appended as DPF appends them
// (events, then queue by queue), never going back in time; values within
// 0..1; and that everything DPF sends comes back to the host within the
// host's call, in order.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "dpf/dpf_parameters.h"
#include "dpf/vst3_processor.h"
#include "fuzz/fuzz_input.h"

namespace {

// A broken promise: which one, then the fuzzer's crash.
void Check(bool condition, int line = __builtin_LINE()) {
    if (condition) return;
    std::fprintf(stderr, "check at line %d failed\n", line);
    std::abort();
}

constexpr v3_param_id kFirstMidi = 1;  // as DPF numbers them, after its program
constexpr v3_param_id kMidiEnd = kFirstMidi + 16 * 130;

// The stand-in for DPF's processor: reads a call as DPF does and sends one
// event back for each MIDI message, at its frame.
struct CStandIn {
    v3_audio_processor_cpp table;
    std::int32_t maxFrames = 0;
    bool setUp = false;

    static CStandIn& Of(void* self) { return **static_cast<CStandIn**>(self); }

    static v3_result V3_API Setup(void* self, v3_process_setup* setup) {
        Of(self).maxFrames = setup->max_block_size;
        Of(self).setUp = true;
        return V3_OK;
    }
    static v3_result V3_API Process(void* self, v3_process_data* data) {
        CStandIn& standIn = Of(self);
        Check(standIn.setUp);
        if (data->nframes <= 0) return V3_OK;
        Check(data->nframes <= standIn.maxFrames);
        std::vector<std::int32_t> appended;  // DPF's order: events, then each queue's points
        v3_event_list** const in = data->input_events;
        for (std::uint32_t i = 0; i < v3_cpp_obj(in)->get_event_count(in); ++i) {
            v3_event event{};
            Check(v3_cpp_obj(in)->get_event(in, static_cast<int32_t>(i), &event) == V3_OK);
            Check(event.sample_offset >= 0 && event.sample_offset < data->nframes);
            Check(event.bus_index == 0);
            Check(event.type == V3_EVENT_NOTE_ON || event.type == V3_EVENT_NOTE_OFF || event.type == V3_EVENT_POLY_PRESSURE);
            appended.push_back(event.sample_offset);
        }
        v3_param_changes** const changes = data->input_params;
        for (int32_t q = 0; q < v3_cpp_obj(changes)->get_param_count(changes); ++q) {
            v3_param_value_queue** const queue = v3_cpp_obj(changes)->get_param_data(changes, q);
            Check(queue != nullptr);
            const v3_param_id id = v3_cpp_obj(queue)->get_param_id(queue);
            Check(id != kMidiEnd && id < kMidiEnd + kDpfParameterCount);  // never the placeholder, nothing beyond
            for (int32_t p = 0; p < v3_cpp_obj(queue)->get_point_count(queue); ++p) {
                int32_t frame = -1;
                double value = -1.0;
                Check(v3_cpp_obj(queue)->get_point(queue, p, &frame, &value) == V3_OK);
                Check(frame >= 0 && frame < data->nframes);
                if (id >= kFirstMidi && id < kMidiEnd) {
                    Check(value >= 0.0 && value <= 1.0);
                    appended.push_back(frame);
                }
            }
        }
        for (std::size_t i = 1; i < appended.size(); ++i) Check(appended[i] >= appended[i - 1]);
        for (const std::int32_t frame : appended) {
            v3_event out{};
            out.sample_offset = frame;
            out.type = V3_EVENT_LEGACY_MIDI_CC_OUT;
            v3_cpp_obj(data->output_events)->add_event(data->output_events, &out);
        }
        return V3_OK;
    }
};

struct CHostEvents {
    v3_event_list_cpp table;
    std::vector<v3_event> in, out;
    static CHostEvents& Of(void* self) { return **static_cast<CHostEvents**>(self); }
};

struct CHostQueue {
    v3_param_value_queue_cpp table;
    v3_param_id id;
    std::vector<std::pair<int32_t, double>> points;
    static CHostQueue& Of(void* self) { return **static_cast<CHostQueue**>(self); }
};

struct CHostChanges {
    v3_param_changes_cpp table;
    std::vector<CHostQueue*> queues;
    static CHostChanges& Of(void* self) { return **static_cast<CHostChanges**>(self); }
};

v3_result V3_API NoQuery(void*, const v3_tuid, void**) { return V3_NO_INTERFACE; }
uint32_t V3_API One(void*) { return 1; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput reader(data, size);
    CStandIn standIn{};
    standIn.table = {};
    standIn.table.query_interface = NoQuery;
    standIn.table.ref = One;
    standIn.table.unref = One;
    standIn.table.proc.setup_processing = CStandIn::Setup;
    standIn.table.proc.process = CStandIn::Process;
    CStandIn* standInObject = &standIn;
    static_assert(offsetof(CStandIn, table) == 0, "the table comes first");
    auto** const dpf = reinterpret_cast<v3_audio_processor**>(&standInObject);
    auto* const processor = new CVst3RunProcessor(dpf, kFirstMidi);

    if (reader.Byte() & 1) {  // a set-up, of any announced length
        v3_process_setup setup{V3_REALTIME, V3_SAMPLE_32, static_cast<std::int32_t>(reader.Take<std::int16_t>()), 48000.0};
        processor->Setup(&setup);
    }
    for (int round = 0; round < 4 && !reader.Empty(); ++round) {
        CHostEvents events{};
        events.table.query_interface = NoQuery;
        events.table.ref = events.table.unref = One;
        events.table.list.get_event_count = [](void* self) { return static_cast<uint32_t>(CHostEvents::Of(self).in.size()); };
        events.table.list.get_event = [](void* self, int32_t index, v3_event* event) -> v3_result {
            const auto& in = CHostEvents::Of(self).in;
            if (index < 0 || static_cast<std::size_t>(index) >= in.size()) return V3_INVALID_ARG;
            *event = in[static_cast<std::size_t>(index)];
            return V3_OK;
        };
        events.table.list.add_event = [](void* self, v3_event* event) -> v3_result {
            CHostEvents::Of(self).out.push_back(*event);
            return V3_OK;
        };
        CHostEvents* eventsObject = &events;
        const std::int32_t frames = reader.Take<std::int16_t>() % 3000;
        const int eventCount = reader.Byte() % 64;
        for (int i = 0; i < eventCount; ++i) {
            v3_event event{};
            const std::uint8_t kind = reader.Byte();
            event.type = static_cast<uint16_t>(kind < 200 ? kind % 4 : reader.Take<std::uint16_t>());
            event.bus_index = (reader.Byte() & 7) == 0 ? reader.Byte() : 0;
            event.sample_offset = reader.Byte() < 200 ? reader.Take<std::uint16_t>() % 512 : reader.Take<std::int32_t>();
            event.note_on.velocity = reader.Take<float>();
            events.in.push_back(event);
        }
        std::vector<std::unique_ptr<CHostQueue>> queueStore;
        CHostChanges changes{};
        changes.table.query_interface = NoQuery;
        changes.table.ref = changes.table.unref = One;
        changes.table.changes.get_param_count = [](void* self) { return static_cast<int32_t>(CHostChanges::Of(self).queues.size()); };
        changes.table.changes.get_param_data = [](void* self, int32_t index) -> v3_param_value_queue** {
            auto& queues = CHostChanges::Of(self).queues;
            if (index < 0 || static_cast<std::size_t>(index) >= queues.size()) return nullptr;
            return reinterpret_cast<v3_param_value_queue**>(&queues[static_cast<std::size_t>(index)]);
        };
        changes.table.changes.add_param_data = [](void*, v3_param_id*, int32_t*) -> v3_param_value_queue** { return nullptr; };
        const int queueCount = reader.Byte() % 12;
        for (int q = 0; q < queueCount; ++q) {
            auto queue = std::make_unique<CHostQueue>();
            queue->table.query_interface = NoQuery;
            queue->table.ref = queue->table.unref = One;
            queue->table.queue.get_param_id = [](void* self) { return CHostQueue::Of(self).id; };
            queue->table.queue.get_point_count = [](void* self) { return static_cast<int32_t>(CHostQueue::Of(self).points.size()); };
            queue->table.queue.get_point = [](void* self, int32_t index, int32_t* frame, double* value) -> v3_result {
                const auto& points = CHostQueue::Of(self).points;
                if (index < 0 || static_cast<std::size_t>(index) >= points.size()) return V3_INVALID_ARG;
                *frame = points[static_cast<std::size_t>(index)].first;
                *value = points[static_cast<std::size_t>(index)].second;
                return V3_OK;
            };
            queue->table.queue.add_point = [](void*, int32_t, double, int32_t*) -> v3_result { return V3_NOT_IMPLEMENTED; };
            const std::uint8_t which = reader.Byte();
            queue->id = which < 128 ? kFirstMidi + reader.Take<std::uint16_t>() % (16 * 130)
                        : which < 200 ? kMidiEnd + which % (kDpfParameterCount + 2)
                                      : reader.Take<v3_param_id>();
            const int points = reader.Byte() % 32;
            for (int p = 0; p < points; ++p)
                queue->points.emplace_back(reader.Byte() < 220 ? reader.Take<std::uint16_t>() % 512 : reader.Take<std::int32_t>(),
                                           reader.Take<double>());
            queueStore.push_back(std::move(queue));
        }
        for (auto& queue : queueStore) changes.queues.push_back(queue.get());
        CHostChanges* changesObject = &changes;

        v3_process_data call{};  // the host's call
        call.symbolic_sample_size = V3_SAMPLE_32;
        call.nframes = frames;
        call.input_events = reinterpret_cast<v3_event_list**>(&eventsObject);
        call.output_events = reinterpret_cast<v3_event_list**>(&eventsObject);
        call.input_params = reinterpret_cast<v3_param_changes**>(&changesObject);
        v3_process_context context{};
        context.state = V3_PROCESS_CTX_TEMPO_VALID | V3_PROCESS_CTX_PROJECT_TIME_VALID;
        context.sample_rate = 48000.0;
        context.bpm = 120.0;
        call.ctx = (reader.Byte() & 1) ? &context : nullptr;
        const v3_result result = processor->Process(&call);
        if (result != V3_OK) continue;
        for (std::size_t i = 0; i < events.out.size(); ++i) {
            Check(events.out[i].sample_offset >= 0 && events.out[i].sample_offset < frames);
            if (i > 0) Check(events.out[i].sample_offset >= events.out[i - 1].sample_offset);
        }
    }
    delete processor;
    return 0;
}
