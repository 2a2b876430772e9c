// The CLAP edition's entry: DPF's CLAP plug-in behind a guard of the
// filter's own. DPF builds the plug-in (its main is compiled with its entry
// renamed dpf_clap_entry); the guard is what the host holds, and it answers
// where DPF 1.6 falls short of what a host may rely on:
// - input events are checked before DPF reads them (clap_events.h);
// - reset forgets the filter's history (DPF does nothing);
// - the state is the settings' 64 bytes (settings_state.h), refused whole
//   when it is not one of this filter's;
// - parameters show the property page's texts ("Pressure", "85%", "+/- 54")
//   and read them back;
// - the descriptor carries the release's version and home page.
#include <cmath>
#include <cstring>
#include <new>

#include "DistrhoPluginInfo.h"
#include "clap/entry.h"
#include "clap/ext/note-ports.h"
#include "clap/ext/params.h"
#include "clap/ext/state.h"
#include "clap/plugin-factory.h"
#include "core/product.h"
#include "dpf/clap_events.h"
#include "dpf/settings_state.h"
#include "dpf/veltrace_dpf_plugin.h"

extern "C" const clap_plugin_entry_t dpf_clap_entry;

namespace {

const char* kFeatures[] = {DISTRHO_PLUGIN_CLAP_FEATURES, nullptr};

const clap_plugin_descriptor_t kDescriptor = {
    CLAP_VERSION_INIT, DISTRHO_PLUGIN_CLAP_ID, kProductName, kProductMaker, kProductHomePage, "", "", VELTRACE_VERSION,
    kProductDescription, kFeatures};

// One plug-in as the host holds it: DPF's behind it, and the filter inside
// DPF's for what DPF does not reach.
struct CGuardedPlugin {
    CGuardedPlugin(const clap_plugin_t* dpfPlugin, CVeltraceDpfPlugin* dpfFilter, const clap_host_t* theHost,
                   const clap_plugin_params_t* params, const clap_plugin_note_ports_t* notePorts)
        : dpf(dpfPlugin), filter(dpfFilter), host(theHost), dpfParams(params), dpfNotePorts(notePorts) {}

    clap_plugin_t face{};
    const clap_plugin_t* const dpf;
    CVeltraceDpfPlugin* const filter;
    const clap_host_t* const host;
    const clap_plugin_params_t* const dpfParams;
    const clap_plugin_note_ports_t* const dpfNotePorts;
    const clap_host_params_t* hostParams = nullptr;
    CCheckedEvents events;
};

CGuardedPlugin& Guard(const clap_plugin_t* plugin) { return *static_cast<CGuardedPlugin*>(plugin->plugin_data); }

// [main thread]
bool CLAP_ABI Init(const clap_plugin_t* plugin) {
    CGuardedPlugin& guard = Guard(plugin);
    if (!guard.dpf->init(guard.dpf)) return false;
    guard.hostParams = static_cast<const clap_host_params_t*>(guard.host->get_extension(guard.host, CLAP_EXT_PARAMS));
    return true;
}

// [main thread]
void CLAP_ABI Destroy(const clap_plugin_t* plugin) {
    CGuardedPlugin* const guard = &Guard(plugin);
    guard->dpf->destroy(guard->dpf);
    delete guard;
}

// [main thread]
bool CLAP_ABI Activate(const clap_plugin_t* plugin, double sampleRate, std::uint32_t minFrames, std::uint32_t maxFrames) {
    const CGuardedPlugin& guard = Guard(plugin);
    return guard.dpf->activate(guard.dpf, sampleRate, minFrames, maxFrames);
}

// [main thread]
void CLAP_ABI Deactivate(const clap_plugin_t* plugin) { Guard(plugin).dpf->deactivate(Guard(plugin).dpf); }

// [audio thread]
bool CLAP_ABI StartProcessing(const clap_plugin_t* plugin) {
    return Guard(plugin).dpf->start_processing(Guard(plugin).dpf);
}
void CLAP_ABI StopProcessing(const clap_plugin_t* plugin) { Guard(plugin).dpf->stop_processing(Guard(plugin).dpf); }

// [audio thread] As a new instance, the settings kept.
void CLAP_ABI Reset(const clap_plugin_t* plugin) { Guard(plugin).filter->ForgetHistory(); }

// [audio thread]
clap_process_status CLAP_ABI Process(const clap_plugin_t* plugin, const clap_process_t* process) {
    if (process == nullptr) return CLAP_PROCESS_ERROR;
    CGuardedPlugin& guard = Guard(plugin);
    clap_process_t checked = *process;
    checked.in_events = guard.events.Check(process->in_events);
    return guard.dpf->process(guard.dpf, &checked);
}

// --- parameters ------------------------------------------------------------

// The settings are DPF's parameters after its placeholder: their ids are
// DPF's (1 to 6), the placeholder is not listed.
bool IsSetting(clap_id id) { return SettingOfParameter(id) < kParamsPerRow; }

// [main thread]
std::uint32_t CLAP_ABI ParamsCount(const clap_plugin_t*) { return kParamsPerRow; }
bool CLAP_ABI ParamsGetInfo(const clap_plugin_t* plugin, std::uint32_t index, clap_param_info_t* info) {
    const CGuardedPlugin& guard = Guard(plugin);
    return info != nullptr && index < kParamsPerRow &&
           guard.dpfParams->get_info(guard.dpf, kFirstSettingParameter + index, info);
}
bool CLAP_ABI ParamsGetValue(const clap_plugin_t* plugin, clap_id id, double* value) {
    if (value == nullptr || !IsSetting(id)) return false;
    *value = Guard(plugin).filter->Setting(SettingOfParameter(id));
    return true;
}

// The property page's text for the value, with the mode that stands.
bool CLAP_ABI ParamsValueToText(const clap_plugin_t* plugin, clap_id id, double value, char* display, std::uint32_t size) {
    if (!IsSetting(id) || display == nullptr || size == 0 || !std::isfinite(value)) return false;
    const CVeltraceDpfPlugin& filter = *Guard(plugin).filter;
    const std::uint32_t index = SettingOfParameter(id);
    const std::string shown = HostValueText(index, value, filter.Setting(index), filter.Setting(Mode));
    const std::size_t length = shown.size() < size - 1 ? shown.size() : size - 1;
    std::memcpy(display, shown.data(), length);
    display[length] = '\0';
    return true;
}

bool CLAP_ABI ParamsTextToValue(const clap_plugin_t* plugin, clap_id id, const char* display, double* value) {
    if (!IsSetting(id) || display == nullptr || value == nullptr) return false;
    const auto setting = SettingFromText(SettingOfParameter(id), display, Guard(plugin).filter->Setting(Mode));
    if (!setting) return false;
    *value = *setting;
    return true;
}

// [active ? audio thread : main thread]
void CLAP_ABI ParamsFlush(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out) {
    CGuardedPlugin& guard = Guard(plugin);
    guard.dpfParams->flush(guard.dpf, guard.events.Check(in), out);
}

const clap_plugin_params_t kParams = {ParamsCount,       ParamsGetInfo,     ParamsGetValue,
                                      ParamsValueToText, ParamsTextToValue, ParamsFlush};

// --- note ports: one MIDI input and one MIDI output, as DPF describes them -

std::uint32_t CLAP_ABI NotePortsCount(const clap_plugin_t* plugin, bool input) {
    const CGuardedPlugin& guard = Guard(plugin);
    return guard.dpfNotePorts->count(guard.dpf, input);
}
bool CLAP_ABI NotePortsGet(const clap_plugin_t* plugin, std::uint32_t index, bool input, clap_note_port_info_t* info) {
    const CGuardedPlugin& guard = Guard(plugin);
    return info != nullptr && index == 0 && guard.dpfNotePorts->get(guard.dpf, index, input, info);
}

const clap_plugin_note_ports_t kNotePorts = {NotePortsCount, NotePortsGet};

// --- state: the settings' 64 bytes -------------------------------------------

// [main thread]
bool CLAP_ABI StateSave(const clap_plugin_t* plugin, const clap_ostream_t* stream) {
    if (stream == nullptr) return false;
    const CVeltraceDpfPlugin& filter = *Guard(plugin).filter;
    SettingValues settings;
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) settings[index] = filter.Setting(index);
    return WriteState(settings, [stream](const std::uint8_t* bytes, std::size_t size) {
        return stream->write(stream, bytes, size);
    });
}

// [main thread] A refused state changes nothing.
bool CLAP_ABI StateLoad(const clap_plugin_t* plugin, const clap_istream_t* stream) {
    if (stream == nullptr) return false;
    const auto settings =
        ReadState([stream](std::uint8_t* bytes, std::size_t size) { return stream->read(stream, bytes, size); });
    if (!settings) return false;
    CGuardedPlugin& guard = Guard(plugin);
    std::int32_t values[kParamsPerRow];
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) values[index] = (*settings)[index];
    guard.filter->SetSettings(values);
    if (guard.hostParams != nullptr && guard.hostParams->rescan != nullptr)
        guard.hostParams->rescan(guard.host, CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT);
    return true;
}

const clap_plugin_state_t kState = {StateSave, StateLoad};

// [thread of the call]
const void* CLAP_ABI GetExtension(const clap_plugin_t*, const char* id) {
    if (id == nullptr) return nullptr;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kParams;
    if (std::strcmp(id, CLAP_EXT_NOTE_PORTS) == 0) return &kNotePorts;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &kState;
    return nullptr;
}

// [main thread]
void CLAP_ABI OnMainThread(const clap_plugin_t* plugin) { Guard(plugin).dpf->on_main_thread(Guard(plugin).dpf); }

// --- factory and entry ------------------------------------------------------

const clap_plugin_factory_t* DpfFactory() {
    return static_cast<const clap_plugin_factory_t*>(dpf_clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
}

std::uint32_t CLAP_ABI FactoryCount(const clap_plugin_factory_t*) { return 1; }

const clap_plugin_descriptor_t* CLAP_ABI FactoryDescriptor(const clap_plugin_factory_t*, std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}

// [main thread]
const clap_plugin_t* CLAP_ABI FactoryCreate(const clap_plugin_factory_t*, const clap_host_t* host, const char* id) {
    if (host == nullptr || id == nullptr || std::strcmp(id, kDescriptor.id) != 0) return nullptr;
    const clap_plugin_factory_t* const factory = DpfFactory();
    if (factory == nullptr) return nullptr;
    const clap_plugin_t* const dpf = factory->create_plugin(factory, host, id);
    CVeltraceDpfPlugin* const filter = CVeltraceDpfPlugin::TakeLastMade();
    if (dpf == nullptr) return nullptr;
    const auto* const params = static_cast<const clap_plugin_params_t*>(dpf->get_extension(dpf, CLAP_EXT_PARAMS));
    const auto* const notePorts = static_cast<const clap_plugin_note_ports_t*>(dpf->get_extension(dpf, CLAP_EXT_NOTE_PORTS));
    auto* const guard = filter != nullptr && params != nullptr && notePorts != nullptr
                            ? new (std::nothrow) CGuardedPlugin(dpf, filter, host, params, notePorts)
                            : nullptr;
    if (guard == nullptr) {
        dpf->destroy(dpf);
        return nullptr;
    }
    guard->face = {&kDescriptor, guard,         Init,    Destroy,      Activate,     Deactivate,
                   StartProcessing, StopProcessing, Reset, Process, GetExtension, OnMainThread};
    return &guard->face;
}

const clap_plugin_factory_t kFactory = {FactoryCount, FactoryDescriptor, FactoryCreate};

bool CLAP_ABI EntryInit(const char* path) { return path != nullptr && dpf_clap_entry.init(path); }
void CLAP_ABI EntryDeinit() { dpf_clap_entry.deinit(); }
const void* CLAP_ABI EntryGetFactory(const char* id) {
    return id != nullptr && std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0 ? &kFactory : nullptr;
}

}  // namespace

extern "C" CLAP_EXPORT const clap_plugin_entry_t clap_entry = {CLAP_VERSION_INIT, EntryInit, EntryDeinit, EntryGetFactory};
