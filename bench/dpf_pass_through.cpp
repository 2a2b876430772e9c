// The DPF editions' pass-through, for the instruction counts: the same
// plug-in built the same way (DPF's main, the filter's CLAP or VST3 entry),
// its cycle sending every event on as it came. Linked before the plug-in's
// library, this cycle takes the place of the filter's.
#include "dpf/veltrace_dpf_plugin.h"

void CVeltraceDpfPlugin::run(const float**, float**, uint32_t, const DISTRHO::MidiEvent* events, uint32_t eventCount) {
    for (uint32_t i = 0; i < eventCount; ++i) writeMidiEvent(events[i]);
}
