// How a VST3 process call's MIDI is cut into runs that DPF's VST3 wrapper
// hands the plug-in in order. VST3 brings notes as events and controllers,
// channel pressure and pitch bend as points of parameters; DPF 1.6 merges
// them into one list by appending the events first, then the parameters'
// points queue by queue, and it puts a message that is earlier than the last
// one appended at a wrong place. The filter hands each point over in a queue
// of its own, the queues in the points' order: then a run goes wrong only
// where an event would be appended before a point of an earlier frame. Within
// one frame events go before points (VST3 gives events and points at one
// frame no order). Portable.
#pragma once

#include <cstddef>
#include <cstdint>

// One MIDI message of a call, in the call's order: by frame, and within a
// frame as the host gave them.
struct Vst3MidiItem {
    std::int32_t frame;
    bool isEvent;  // a note or polyphonic pressure; else a parameter's point
};

// The run that starts at items[first]: items [first, end). A run ends where
// a frame begins; where one frame alone holds more than `capacity` messages,
// those past the capacity, [end, next), are left out.
struct Vst3Run {
    std::size_t end;
    std::size_t next;
};
Vst3Run RunFrom(const Vst3MidiItem* items, std::size_t first, std::size_t count, std::size_t capacity);
