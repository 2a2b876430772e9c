#include "dpf/vst3_processor.h"

#include "dpf/dpf_parameters.h"


namespace {

constexpr std::uint32_t kMidiParameters = 16 * 130;  // DPF's map: 16 channels of 128 controllers, pressure, bend
constexpr std::uint32_t kQueueSlots = CVst3RunProcessor::kRunCapacity + 64;

// A normalised value at the middle of the MIDI value nearest it, so that a
// plug-in truncating value * steps gets that value: steps 127 for a
// controller, a velocity or pressure (whose top is 1 itself), 16384 for a
// bend (of 16383 steps).
double Centred(double value, double steps, double top) {
    value = value > 0.0 ? value : 0.0;  // NaN too
    value = value < 1.0 ? value : 1.0;
    const double centred = (static_cast<double>(static_cast<std::int32_t>(value * top + 0.5)) + 0.5) / steps;
    return centred < 1.0 ? centred : 1.0;
}

std::int32_t Within(std::int32_t frame, std::int32_t frames) { return frame < 0 ? 0 : frame >= frames ? frames - 1 : frame; }

}  // namespace

CVst3RunProcessor::CVst3RunProcessor(v3_audio_processor** dpf, v3_param_id firstMidiParameter)
    : m_dpf(dpf),
      m_firstMidi(firstMidiParameter),
      m_inFace(this, {{QueryShifted, Count, Count}, {EventCount, GetEvent, AddEvent}}),
      m_outFace(this, {{QueryShifted, Count, Count}, {ShiftedCount, ShiftedGet, ShiftedAdd}}),
      m_changesFace(this, {{QueryShifted, Count, Count}, {QueueCount, QueueData, AddQueue}}),
      m_queueTable{{QueryShifted, Count, Count}, {QueueParameter, PointCount, GetPoint, AddPoint}} {
    for (std::uint32_t slot = 0; slot < kQueueSlots; ++slot) m_queueObjects[slot] = {&m_queueTable, this, slot};
}

v3_result CVst3RunProcessor::Setup(v3_process_setup* setup) {
    if (setup == nullptr || setup->max_block_size <= 0 || setup->symbolic_sample_size != V3_SAMPLE_32)
        return V3_INVALID_ARG;
    const v3_result result = Functions<v3_audio_processor>(m_dpf)->setup_processing(m_dpf, setup);
    if (result == V3_OK) m_maxFrames = setup->max_block_size;
    return result;
}

v3_result CVst3RunProcessor::Process(v3_process_data* data) {
    if (data == nullptr) return V3_INVALID_ARG;
    if (m_maxFrames == 0) return V3_NOT_INITIALIZED;
    if (data->nframes <= 0) return Functions<v3_audio_processor>(m_dpf)->process(m_dpf, data);
    Gather(*data);
    // Run k covers the frames from its first message's to the next run's;
    // the first run starts at the call's start.
    std::size_t first = 0;
    std::int32_t from = 0;
    do {
        const Vst3Run run = m_count > 0 ? RunFrom(m_items, first, m_count, kRunCapacity) : Vst3Run{0, 0};
        const std::int32_t to = run.next < m_count ? m_items[run.next].frame : data->nframes;
        // Pieces no longer than the host announced.
        std::size_t begin = first;
        for (std::int32_t at = from; at < to;) {
            const std::int32_t end = to - at > m_maxFrames ? at + m_maxFrames : to;
            std::size_t stop = begin;
            while (stop < run.end && m_items[stop].frame < end) ++stop;
            const v3_result result = Piece(*data, at, end, begin, stop);
            if (result != V3_OK) return result;
            begin = stop;
            at = end;
        }
        first = run.next;
        from = to;
    } while (first < m_count);
    return V3_OK;
}

// The call's MIDI and other points, frames brought within the call.
void CVst3RunProcessor::Gather(v3_process_data& data) {
    m_count = 0;
    m_otherCount = 0;
    const std::int32_t frames = data.nframes;
    if (v3_event_list** const list = data.input_events) {
        const std::uint32_t count = Functions<v3_event_list>(list)->get_event_count(list);
        for (std::uint32_t i = 0; i < count && m_count < kCallCapacity; ++i) {
            v3_event event{};
            if (Functions<v3_event_list>(list)->get_event(list, static_cast<int32_t>(i), &event) != V3_OK) continue;
            float* level = event.type == V3_EVENT_NOTE_ON         ? &event.note_on.velocity
                           : event.type == V3_EVENT_NOTE_OFF      ? &event.note_off.velocity
                           : event.type == V3_EVENT_POLY_PRESSURE ? &event.poly_pressure.pressure
                                                                  : nullptr;
            if (level == nullptr || event.bus_index != 0) continue;  // nothing DPF hands the plug-in; no bus of the plug-in's
            *level = static_cast<float>(Centred(*level, 127.0, 127.0));
            event.sample_offset = Within(event.sample_offset, frames);
            m_frames[m_count] = event.sample_offset;
            m_messages[m_count++] = {true, event, 0, 0.0};
        }
    }
    if (v3_param_changes** const changes = data.input_params) {
        const int32_t queues = Functions<v3_param_changes>(changes)->get_param_count(changes);
        for (int32_t q = 0; q < queues; ++q) {
            v3_param_value_queue** const queue = Functions<v3_param_changes>(changes)->get_param_data(changes, q);
            if (queue == nullptr) continue;
            v3_param_value_queue* const functions = Functions<v3_param_value_queue>(queue);
            const v3_param_id parameter = functions->get_param_id(queue);
            const bool midi = parameter >= m_firstMidi && parameter - m_firstMidi < kMidiParameters;
            // DPF takes the placeholder after its MIDI parameters for one of
            // them, and stops at a parameter it does not have.
            if (parameter == m_firstMidi + kMidiParameters || parameter >= m_firstMidi + kMidiParameters + kDpfParameterCount)
                continue;
            const int32_t points = functions->get_point_count(queue);
            for (int32_t p = 0; p < points; ++p) {
                int32_t frame = 0;
                double value = 0.0;
                if (functions->get_point(queue, p, &frame, &value) != V3_OK) continue;
                frame = Within(frame, frames);
                if (!midi) {
                    if (m_otherCount < kCallCapacity) m_others[m_otherCount++] = {parameter, frame, value};
                } else if (m_count < kCallCapacity) {
                    const bool bend = (parameter - m_firstMidi) % 130 == 129;
                    m_frames[m_count] = frame;
                    m_messages[m_count++] = {false, {}, parameter,
                                             bend ? Centred(value, 16384.0, 16383.0) : Centred(value, 127.0, 127.0)};
                }
            }
        }
    }
    Order();
}

// The messages by frame, the host's order kept within a frame: the stretches
// already in order (the events, each parameter's points) merged pairwise
// until one is left. No allocation; a few passes for a host's usual lists.
void CVst3RunProcessor::Order() {
    std::size_t stretches = 0;
    for (std::size_t i = 0; i < m_count; ++i) {
        m_order[i] = static_cast<std::uint16_t>(i);
        if (i == 0 || m_frames[i] < m_frames[i - 1]) m_bounds[stretches++] = static_cast<std::uint16_t>(i);
    }
    std::uint16_t* from = m_order;
    std::uint16_t* to = m_scratch;
    while (stretches > 1) {
        std::size_t merged = 0;
        for (std::size_t k = 0; k < stretches; k += 2) {
            const std::size_t left = m_bounds[k];
            const std::size_t middle = k + 1 < stretches ? m_bounds[k + 1] : m_count;
            const std::size_t right = k + 2 < stretches ? m_bounds[k + 2] : m_count;
            std::size_t a = left, b = middle, out = left;
            while (a < middle && b < right) to[out++] = m_frames[from[b]] < m_frames[from[a]] ? from[b++] : from[a++];
            while (a < middle) to[out++] = from[a++];
            while (b < right) to[out++] = from[b++];
            m_bounds[merged++] = static_cast<std::uint16_t>(left);
        }
        stretches = merged;
        std::uint16_t* const swap = from;
        from = to;
        to = swap;
    }
    for (std::size_t i = 0; i < m_count; ++i) {
        m_order[i] = from[i];
        m_items[i] = {m_frames[from[i]], m_messages[from[i]].isEvent};
    }
}

// One call of DPF's over frames [from, to) with messages [first, end).
v3_result CVst3RunProcessor::Piece(v3_process_data& data, std::int32_t from, std::int32_t to, std::size_t first,
                                   std::size_t end) {
    m_in.count = 0;
    m_queueCount = 0;
    m_pointCount = 0;
    // Each MIDI point in a queue of its own, in order (vst3_runs.h).
    for (std::size_t i = first; i < end; ++i) {
        const Message& message = m_messages[m_order[i]];
        if (m_items[i].isEvent) {
            v3_event event = message.event;
            event.sample_offset -= from;
            m_in.events[m_in.count++] = event;
        } else if (m_queueCount < kQueueSlots) {
            m_queues[m_queueCount++] = {message.parameter, m_pointCount, 1};
            m_points[m_pointCount++] = {message.parameter, m_items[i].frame - from, message.value};
        }
    }
    // The other parameters' points within the piece, a queue each.
    for (std::size_t i = 0; i < m_otherCount; ++i) {
        const Point& point = m_others[i];
        if (point.frame < from || point.frame >= to) continue;
        std::uint32_t slot = 0;
        while (slot < m_queueCount && m_queues[slot].parameter != point.parameter) ++slot;
        if (slot < m_queueCount) continue;  // its points went with its first
        if (m_queueCount == kQueueSlots) break;
        m_queues[m_queueCount++] = {point.parameter, m_pointCount, 0};
        for (std::size_t j = i; j < m_otherCount; ++j)
            if (m_others[j].parameter == point.parameter && m_others[j].frame >= from && m_others[j].frame < to &&
                m_pointCount < sizeof m_points / sizeof m_points[0]) {
                m_points[m_pointCount++] = {point.parameter, m_others[j].frame - from, m_others[j].value};
                ++m_queues[m_queueCount - 1].count;
            }
    }
    v3_process_data piece = data;
    piece.nframes = to - from;
    piece.input_events = reinterpret_cast<v3_event_list**>(m_inFace.Object());
    piece.input_params = reinterpret_cast<v3_param_changes**>(m_changesFace.Object());
    m_hostOut = data.output_events;
    m_shift = from;
    piece.output_events = data.output_events != nullptr ? reinterpret_cast<v3_event_list**>(m_outFace.Object()) : nullptr;
    v3_process_context context;
    if (data.ctx != nullptr) {
        // The transport where the piece starts.
        context = *data.ctx;
        context.project_time_in_samples += from;
        context.continuous_time_in_samples += from;
        if ((context.state & V3_PROCESS_CTX_TEMPO_VALID) != 0 && context.sample_rate > 0.0)
            context.project_time_quarters += from * context.bpm / (60.0 * context.sample_rate);
        piece.ctx = &context;
    }
    return Functions<v3_audio_processor>(m_dpf)->process(m_dpf, &piece);
}

v3_result V3_API CVst3RunProcessor::QueryShifted(void* self, const v3_tuid iid, void** object) {
    // These lists are handed to DPF alone, which asks them nothing.
    (void)iid;
    *object = self;
    return V3_OK;
}
uint32_t V3_API CVst3RunProcessor::Count(void*) { return 1; }

uint32_t V3_API CVst3RunProcessor::EventCount(void* self) {
    return decltype(m_inFace)::Of(self).m_in.count;
}
v3_result V3_API CVst3RunProcessor::GetEvent(void* self, int32_t index, v3_event* event) {
    const EventList& in = decltype(m_inFace)::Of(self).m_in;
    if (index < 0 || static_cast<std::uint32_t>(index) >= in.count || event == nullptr) return V3_INVALID_ARG;
    *event = in.events[index];
    return V3_OK;
}
v3_result V3_API CVst3RunProcessor::AddEvent(void*, v3_event*) { return V3_NOT_IMPLEMENTED; }

int32_t V3_API CVst3RunProcessor::QueueCount(void* self) {
    return static_cast<int32_t>(decltype(m_changesFace)::Of(self).m_queueCount);
}
v3_param_value_queue** V3_API CVst3RunProcessor::QueueData(void* self, int32_t index) {
    CVst3RunProcessor& owner = decltype(m_changesFace)::Of(self);
    if (index < 0 || static_cast<std::uint32_t>(index) >= owner.m_queueCount) return nullptr;
    return reinterpret_cast<v3_param_value_queue**>(&owner.m_queueObjects[index]);
}
v3_param_value_queue** V3_API CVst3RunProcessor::AddQueue(void*, v3_param_id*, int32_t*) { return nullptr; }

v3_param_id V3_API CVst3RunProcessor::QueueParameter(void* self) {
    const auto& view = *static_cast<const QueueObject*>(self);
    return view.owner->m_queues[view.slot].parameter;
}
int32_t V3_API CVst3RunProcessor::PointCount(void* self) {
    const auto& view = *static_cast<const QueueObject*>(self);
    return static_cast<int32_t>(view.owner->m_queues[view.slot].count);
}
v3_result V3_API CVst3RunProcessor::GetPoint(void* self, int32_t index, int32_t* frame, double* value) {
    const auto& view = *static_cast<const QueueObject*>(self);
    const Queue& queue = view.owner->m_queues[view.slot];
    if (index < 0 || static_cast<std::uint32_t>(index) >= queue.count) return V3_INVALID_ARG;
    const Point& point = view.owner->m_points[queue.first + static_cast<std::uint32_t>(index)];
    if (frame != nullptr) *frame = point.frame;
    if (value != nullptr) *value = point.value;
    return V3_OK;
}
v3_result V3_API CVst3RunProcessor::AddPoint(void*, int32_t, double, int32_t*) { return V3_NOT_IMPLEMENTED; }

// The host's output list, the piece's first frame added back.
uint32_t V3_API CVst3RunProcessor::ShiftedCount(void* self) {
    v3_event_list** const host = decltype(m_outFace)::Of(self).m_hostOut;
    return Functions<v3_event_list>(host)->get_event_count(host);
}
v3_result V3_API CVst3RunProcessor::ShiftedGet(void* self, int32_t index, v3_event* event) {
    v3_event_list** const host = decltype(m_outFace)::Of(self).m_hostOut;
    return Functions<v3_event_list>(host)->get_event(host, index, event);
}
v3_result V3_API CVst3RunProcessor::ShiftedAdd(void* self, v3_event* event) {
    CVst3RunProcessor& owner = decltype(m_outFace)::Of(self);
    if (event == nullptr) return V3_INVALID_ARG;
    v3_event shifted = *event;
    shifted.sample_offset += owner.m_shift;
    return Functions<v3_event_list>(owner.m_hostOut)->add_event(owner.m_hostOut, &shifted);
}
