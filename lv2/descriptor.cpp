// The plug-in's entry points, as an LV2 host calls them. lv2_descriptor is the
// library's only exported symbol.
#include <lv2/core/lv2.h>

#include "lv2/veltrace_plugin.h"

namespace {

CVeltracePlugin& Plugin(LV2_Handle instance) { return *static_cast<CVeltracePlugin*>(instance); }

LV2_Handle Instantiate(const LV2_Descriptor*, double sampleRate, const char*, const LV2_Feature* const* features) {
    return CVeltracePlugin::Create(sampleRate, features);
}
void ConnectPort(LV2_Handle instance, std::uint32_t port, void* data) { Plugin(instance).ConnectPort(port, data); }
void Activate(LV2_Handle instance) { Plugin(instance).Activate(); }
void Run(LV2_Handle instance, std::uint32_t frames) { Plugin(instance).Run(frames); }
void Deactivate(LV2_Handle) {}
void Cleanup(LV2_Handle instance) { delete &Plugin(instance); }
const void* ExtensionData(const char*) { return nullptr; }

const LV2_Descriptor kDescriptor = {
    kVeltracePluginUri, Instantiate, ConnectPort, Activate, Run, Deactivate, Cleanup, ExtensionData,
};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
