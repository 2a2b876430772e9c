// A VST3 process call handed to DPF's audio processor so that the plug-in
// gets the host's MIDI in order, whole and safely:
// - notes and the MIDI mapping's parameters are cut into runs (vst3_runs.h),
//   each handed over as a call of its own that covers its frames, with the
//   transport moved on and what comes out put back at the host's frames;
// - a call longer than the longest the host announced is cut too (DPF would
//   write past its buffer), and one before any announcement is refused;
// - frames outside the call are brought within it;
// - values come over at the nearest MIDI value (DPF truncates a value a
//   hair below a whole step to the step below).
// Nothing is allocated while processing; what does not fit the runs'
// room (far beyond a cycle's worth of MIDI) is dropped.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dpf/vst3_object.h"
#include "dpf/vst3_runs.h"
#include "travesty/audio_processor.h"
#include "travesty/events.h"

class CVst3RunProcessor {
public:
    // `dpf` is DPF's audio processor (kept by the caller); its MIDI mapping's
    // parameters are the 16 * 130 from `firstMidiParameter`.
    CVst3RunProcessor(v3_audio_processor** dpf, v3_param_id firstMidiParameter);
    CVst3RunProcessor(const CVst3RunProcessor&) = delete;
    CVst3RunProcessor& operator=(const CVst3RunProcessor&) = delete;

    // [main thread]
    v3_result Setup(v3_process_setup* setup);
    // [audio thread]
    v3_result Process(v3_process_data* data);

    // Messages a run holds at most: DPF takes 512 a call.
    static constexpr std::size_t kRunCapacity = 512;
    // Messages one call holds at most; beyond them, and beyond the points
    // other parameters may have, nothing is handed on.
    static constexpr std::size_t kCallCapacity = 2048;

private:
    struct Message {
        bool isEvent;
        v3_event event;          // a note or polyphonic pressure
        v3_param_id parameter;   // or a point of this parameter
        double value;            // at this value, normalised
    };
    struct Point {
        v3_param_id parameter;
        std::int32_t frame;
        double value;
    };

    // DPF's side of one piece: the events and points it reads, and the
    // host's output list with the piece's first frame added back.
    struct EventList {
        v3_event events[kRunCapacity];
        std::uint32_t count = 0;
    };
    struct Queue {
        v3_param_id parameter;
        std::uint32_t first;  // in m_points
        std::uint32_t count;
    };

    void Gather(v3_process_data& data);
    void Order();
    v3_result Piece(v3_process_data& data, std::int32_t from, std::int32_t to, std::size_t first, std::size_t end);

    static std::uint32_t V3_API EventCount(void* self);
    static v3_result V3_API GetEvent(void* self, int32_t index, v3_event* event);
    static v3_result V3_API AddEvent(void* self, v3_event* event);
    static int32_t V3_API QueueCount(void* self);
    static v3_param_value_queue** V3_API QueueData(void* self, int32_t index);
    static v3_param_value_queue** V3_API AddQueue(void* self, v3_param_id* id, int32_t* index);
    static v3_param_id V3_API QueueParameter(void* self);
    static int32_t V3_API PointCount(void* self);
    static v3_result V3_API GetPoint(void* self, int32_t index, int32_t* frame, double* value);
    static v3_result V3_API AddPoint(void* self, int32_t frame, double value, int32_t* index);
    static v3_result V3_API QueryShifted(void* self, const v3_tuid iid, void** object);
    static uint32_t V3_API Count(void*);
    static uint32_t V3_API ShiftedCount(void* self);
    static v3_result V3_API ShiftedGet(void* self, int32_t index, v3_event* event);
    static v3_result V3_API ShiftedAdd(void* self, v3_event* event);

    v3_audio_processor** const m_dpf;
    const v3_param_id m_firstMidi;
    std::int32_t m_maxFrames = 0;  // 0: not set up

    // The call's MIDI as gathered, then in order: by frame, the host's order
    // kept within a frame (m_order, sorted by merging, m_scratch its room).
    Message m_messages[kCallCapacity];
    std::int32_t m_frames[kCallCapacity];
    std::uint16_t m_order[kCallCapacity], m_scratch[kCallCapacity];
    std::uint16_t m_bounds[kCallCapacity];  // where each stretch in order starts
    Vst3MidiItem m_items[kCallCapacity];  // in order
    std::size_t m_count = 0;
    Point m_others[kCallCapacity];
    std::size_t m_otherCount = 0;

    // The piece under way, as DPF reads it.
    EventList m_in;
    Queue m_queues[kRunCapacity + 64];
    std::uint32_t m_queueCount = 0;
    Point m_points[kRunCapacity + kCallCapacity];
    std::uint32_t m_pointCount = 0;
    v3_event_list** m_hostOut = nullptr;
    std::int32_t m_shift = 0;

    struct EventTable : v3_funknown {
        v3_event_list list;
    };
    struct ChangesTable : v3_funknown {
        v3_param_changes changes;
    };
    struct QueueTable : v3_funknown {
        v3_param_value_queue queue;
    };
    CVst3Face<CVst3RunProcessor, EventTable> m_inFace;
    CVst3Face<CVst3RunProcessor, EventTable> m_outFace;
    CVst3Face<CVst3RunProcessor, ChangesTable> m_changesFace;
    // One object per queue slot: the object's own slot number rides with it.
    struct QueueObject {
        QueueTable* table;
        CVst3RunProcessor* owner;
        std::uint32_t slot;
    };
    QueueTable m_queueTable;
    QueueObject m_queueObjects[kRunCapacity + 64];
};
