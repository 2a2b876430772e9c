// How a VST3 process call's MIDI is cut into runs that DPF's VST3 wrapper
// hands the plug-in in order. VST3 brings notes as events and controllers,
// channel pressure and pitch bend as points of parameters; DPF 1.6 merges
// them into one list by appending the events first, then each parameter's
// points, and it puts a message that is earlier than the last one appended at
// a wrong place. Within a run that never happens: appended that way, its
// messages never go back in time. Within one frame any order appends well
// (VST3 itself gives events and points at one frame no order). Portable.
#pragma once

#include <cstddef>
#include <cstdint>

// One MIDI message of a call: by frame, and within a frame as the host
// gave them.
struct Vst3MidiItem {
    std::int32_t frame;
    bool isEvent;             // a note or polyphonic pressure; else a parameter's point
    std::uint32_t parameter;  // the parameter a point moves
};

// The run that starts at items[first]: items [first, end). A run ends where
// a frame begins; where one frame alone holds more than `capacity` messages,
// those past the capacity, [end, next), are left out.
struct Vst3Run {
    std::size_t end;
    std::size_t next;
};
Vst3Run RunFrom(const Vst3MidiItem* items, std::size_t first, std::size_t count, std::size_t capacity);
