#include "dpf/vst3_runs.h"

namespace {

// Whether `item` (at a frame no earlier than any in items[first, end))
// appends in order after them: every message it would go before is at its
// frame.
bool Joins(const Vst3MidiItem* items, std::size_t first, std::size_t end, const Vst3MidiItem& item) {
    for (std::size_t i = first; i < end; ++i) {
        const Vst3MidiItem& held = items[i];
        if (held.frame == item.frame || held.isEvent) continue;  // events and this frame are never passed
        if (item.isEvent) return false;                           // an event goes before every point
        // A point goes after the points of its own parameter and of those
        // that first came before it: a held point of a parameter that first
        // came after it would follow it.
        if (held.parameter == item.parameter) continue;
        std::size_t heldFirst = first, itemFirst = end;
        while (items[heldFirst].isEvent || items[heldFirst].parameter != held.parameter) ++heldFirst;
        for (std::size_t j = first; j < end; ++j)
            if (!items[j].isEvent && items[j].parameter == item.parameter) {
                itemFirst = j;
                break;
            }
        if (heldFirst > itemFirst) return false;
    }
    return true;
}

}  // namespace

Vst3Run RunFrom(const Vst3MidiItem* items, std::size_t first, std::size_t count, std::size_t capacity) {
    std::size_t end = first;
    while (end < count && end - first < capacity && Joins(items, first, end, items[end])) ++end;
    if (end == count || end == first || items[end].frame != items[end - 1].frame) return {end, end};
    // Full in the middle of a frame: the run ends before that frame, unless
    // the frame is all it holds.
    const std::int32_t frame = items[end].frame;
    std::size_t start = end;
    while (start > first && items[start - 1].frame == frame) --start;
    if (start > first) return {start, start};
    std::size_t next = end;
    while (next < count && items[next].frame == frame) ++next;
    return {end, next};
}
