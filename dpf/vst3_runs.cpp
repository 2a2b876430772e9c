#include "dpf/vst3_runs.h"

Vst3Run RunFrom(const Vst3MidiItem* items, std::size_t first, std::size_t count, std::size_t capacity) {
    // An event goes before every point of the run: it joins only while the
    // run's points are all at its frame (the first point's frame, as frames
    // only grow).
    bool hasPoints = false;
    std::int32_t firstPoint = 0;
    std::size_t end = first;
    for (; end < count && end - first < capacity; ++end) {
        const Vst3MidiItem& item = items[end];
        if (!item.isEvent) {
            if (!hasPoints) firstPoint = item.frame;
            hasPoints = true;
        } else if (hasPoints && firstPoint < item.frame) {
            break;
        }
    }
    if (end == count || end == first || items[end].frame != items[end - 1].frame) return {end, end};
    // Full, or cut, in the middle of a frame: the run ends before that
    // frame, unless the frame is all it holds.
    const std::int32_t frame = items[end].frame;
    std::size_t start = end;
    while (start > first && items[start - 1].frame == frame) --start;
    if (start > first) return {start, start};
    std::size_t next = end;
    while (next < count && items[next].frame == frame) ++next;
    return {end, next};
}
