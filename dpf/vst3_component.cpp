#include "dpf/vst3_component.h"

#include <atomic>
#include <cmath>
#include <new>
#include <string>

#include "dpf/settings_state.h"
#include "dpf/vst3_object.h"
#include "dpf/vst3_processor.h"
#include "travesty/bstream.h"
#include "travesty/edit_controller.h"

namespace {

// DPF's edit controller functions the filter's stand in front of; the same
// for every instance.
decltype(v3_edit_controller::get_parameter_string_for_value) g_dpfStringForValue = nullptr;
decltype(v3_edit_controller::get_parameter_value_for_string) g_dpfValueForString = nullptr;
decltype(v3_edit_controller::get_parameter_info) g_dpfParameterInfo = nullptr;

// A stream in memory, to hand DPF's state text over and take it back.
class CMemoryStream {
public:
    explicit CMemoryStream(std::string bytes = {})
        : m_bytes(std::move(bytes)), m_face(this, {{Query, Count, Count}, {Read, Write, Seek, Tell}}) {}
    v3_bstream** Stream() { return reinterpret_cast<v3_bstream**>(m_face.Object()); }
    const std::string& Bytes() const { return m_bytes; }

private:
    struct Table : v3_funknown {
        v3_bstream stream;
    };
    using Face = CVst3Face<CMemoryStream, Table>;
    static v3_result V3_API Query(void* self, const v3_tuid iid, void** object) {
        const bool known = SameId(iid, v3_funknown_iid) || SameId(iid, v3_bstream_iid);
        *object = known ? self : nullptr;
        return known ? V3_OK : V3_NO_INTERFACE;
    }
    static uint32_t V3_API Count(void*) { return 1; }  // lives on the caller's stack
    static v3_result V3_API Read(void* self, void* buffer, int32_t size, int32_t* read) {
        CMemoryStream& stream = Face::Of(self);
        const std::size_t left = stream.m_bytes.size() - stream.m_at;
        const std::size_t count = size <= 0 ? 0 : static_cast<std::size_t>(size) < left ? static_cast<std::size_t>(size) : left;
        if (count > 0) std::memcpy(buffer, stream.m_bytes.data() + stream.m_at, count);
        stream.m_at += count;
        if (read != nullptr) *read = static_cast<int32_t>(count);
        return V3_OK;
    }
    static v3_result V3_API Write(void* self, void* buffer, int32_t size, int32_t* written) {
        if (size < 0) return V3_INVALID_ARG;
        Face::Of(self).m_bytes.append(static_cast<const char*>(buffer), static_cast<std::size_t>(size));
        if (written != nullptr) *written = size;
        return V3_OK;
    }
    static v3_result V3_API Seek(void*, int64_t, int32_t, int64_t*) { return V3_NOT_IMPLEMENTED; }
    static v3_result V3_API Tell(void* self, int64_t* position) {
        if (position != nullptr) *position = static_cast<int64_t>(Face::Of(self).m_at);
        return V3_OK;
    }

    std::string m_bytes;
    std::size_t m_at = 0;
    Face m_face;
};

// The edit controller's view of one of the six settings: its index, or
// none for DPF's own parameters (which come first).
struct CSettingParameter {
    void* controller;
    std::uint32_t index;

    static bool Find(void* controller, v3_param_id id, CSettingParameter& found) {
        const int32_t first = Functions<v3_edit_controller>(controller)->get_parameter_count(controller) -
                              static_cast<int32_t>(kParamsPerRow);
        if (first < 0 || id < static_cast<v3_param_id>(first) || id >= static_cast<v3_param_id>(first) + kParamsPerRow)
            return false;
        found = {controller, id - static_cast<std::uint32_t>(first)};
        return true;
    }
    v3_param_id Id(std::uint32_t setting) const {
        return static_cast<v3_param_id>(Functions<v3_edit_controller>(controller)->get_parameter_count(controller) -
                                        static_cast<int32_t>(kParamsPerRow)) +
               setting;
    }
    double Plain(std::uint32_t setting, double normalised) const {
        return Functions<v3_edit_controller>(controller)->normalised_parameter_to_plain(controller, Id(setting), normalised);
    }
    std::int32_t Mode() const {
        const double normalised = Functions<v3_edit_controller>(controller)->get_parameter_normalised(controller, Id(::Mode));
        return SettingFromHostValue(::Mode, Plain(::Mode, normalised), ModeAdd);
    }
};

// [main thread] DPF's description, the placeholder before the settings
// hidden from the host.
v3_result V3_API ParameterInfo(void* self, int32_t index, v3_param_info* info) {
    const v3_result result = g_dpfParameterInfo(self, index, info);
    const int32_t placeholder =
        Functions<v3_edit_controller>(self)->get_parameter_count(self) - static_cast<int32_t>(kParamsPerRow) - 1;
    if (result == V3_OK && info != nullptr && index == placeholder) info->flags = V3_PARAM_READ_ONLY | V3_PARAM_IS_HIDDEN;
    return result;
}

// [main thread] The property page's text, with the mode that stands.
v3_result V3_API StringForValue(void* self, v3_param_id id, double normalised, v3_str_128 output) {
    CSettingParameter setting;
    if (!CSettingParameter::Find(self, id, setting)) return g_dpfStringForValue(self, id, normalised, output);
    if (output == nullptr || !std::isfinite(normalised)) return V3_INVALID_ARG;
    const std::string shown = HostValueText(setting.index, setting.Plain(setting.index, normalised), 0, setting.Mode());
    std::size_t length = 0;
    for (; length < shown.size() && length < 127; ++length) output[length] = static_cast<int16_t>(shown[length]);
    output[length] = 0;
    return V3_OK;
}

// [main thread] A text as the page shows it, or a number.
v3_result V3_API ValueForString(void* self, v3_param_id id, int16_t* input, double* output) {
    CSettingParameter setting;
    if (!CSettingParameter::Find(self, id, setting)) return g_dpfValueForString(self, id, input, output);
    if (input == nullptr || output == nullptr) return V3_INVALID_ARG;
    std::string text;
    for (std::size_t i = 0; i < 128 && input[i] != 0; ++i) text += input[i] > 0 && input[i] < 128 ? static_cast<char>(input[i]) : '?';
    const auto value = SettingFromText(setting.index, text, setting.Mode());
    if (!value) return V3_INVALID_ARG;
    *output = Functions<v3_edit_controller>(self)->plain_parameter_to_normalised(self, id, *value);
    return V3_OK;
}

class CGuardedComponent {
public:
    CGuardedComponent(v3_component** dpf, v3_audio_processor** dpfProcessor, v3_param_id firstMidi)
        : m_dpf(dpf),
          m_dpfProcessor(dpfProcessor),
          m_run(dpfProcessor, firstMidi),
          m_component(this, {{Query, Ref, Unref},
                             {Initialize, Terminate},
                             {ControllerClass, SetIoMode, BusCount, BusInfo, RoutingInfo, ActivateBus, SetActive,
                              SetState, GetState}}),
          m_processor(this, {{ProcessorQuery, ProcessorRef, ProcessorUnref},
                             {SetBusArrangements, GetBusArrangement, CanProcessSampleSize, Latency, Setup,
                              SetProcessing, Process, Tail}}) {}
    CGuardedComponent(const CGuardedComponent&) = delete;
    CGuardedComponent& operator=(const CGuardedComponent&) = delete;
    ~CGuardedComponent() {
        ReleaseObject(m_dpfProcessor);
        ReleaseObject(m_dpf);
    }

    v3_component** Object() { return reinterpret_cast<v3_component**>(m_component.Object()); }

private:
    using ComponentFace = CVst3Face<CGuardedComponent, v3_component_cpp>;
    using ProcessorFace = CVst3Face<CGuardedComponent, v3_audio_processor_cpp>;
    static CGuardedComponent& Of(void* self) { return ComponentFace::Of(self); }
    static CGuardedComponent& OfProcessor(void* self) { return ProcessorFace::Of(self); }
    v3_component* Dpf() const { return Functions<v3_component>(m_dpf); }
    v3_audio_processor* DpfProcessor() const { return Functions<v3_audio_processor>(m_dpfProcessor); }

    // --- FUnknown, one count for both faces -----------------------------------
    static v3_result V3_API Query(void* self, const v3_tuid iid, void** object) {
        CGuardedComponent& component = Of(self);
        if (SameId(iid, v3_funknown_iid) || SameId(iid, v3_plugin_base_iid) || SameId(iid, v3_component_iid)) {
            ++component.m_references;
            *object = self;
            return V3_OK;
        }
        if (SameId(iid, v3_audio_processor_iid)) {
            ++component.m_references;
            *object = component.m_processor.Object();
            return V3_OK;
        }
        const v3_result result = (*reinterpret_cast<v3_funknown**>(component.m_dpf))->query_interface(component.m_dpf, iid, object);
        if (result == V3_OK && *object != nullptr && SameId(iid, v3_edit_controller_iid)) {
            v3_edit_controller_cpp* const table = *static_cast<v3_edit_controller_cpp**>(*object);
            if (g_dpfStringForValue == nullptr) {
                g_dpfStringForValue = table->ctrl.get_parameter_string_for_value;
                g_dpfValueForString = table->ctrl.get_parameter_value_for_string;
                g_dpfParameterInfo = table->ctrl.get_parameter_info;
            }
            table->ctrl.get_parameter_string_for_value = StringForValue;
            table->ctrl.get_parameter_value_for_string = ValueForString;
            table->ctrl.get_parameter_info = ParameterInfo;
        }
        return result;
    }
    static uint32_t V3_API Ref(void* self) { return ++Of(self).m_references; }
    static uint32_t V3_API Unref(void* self) {
        CGuardedComponent* const component = &Of(self);
        const uint32_t left = --component->m_references;
        if (left == 0) delete component;
        return left;
    }
    static v3_result V3_API ProcessorQuery(void* self, const v3_tuid iid, void** object) {
        CGuardedComponent& component = OfProcessor(self);
        if (SameId(iid, v3_funknown_iid) || SameId(iid, v3_audio_processor_iid)) {
            ++component.m_references;
            *object = self;
            return V3_OK;
        }
        return (*reinterpret_cast<v3_funknown**>(component.m_dpfProcessor))
            ->query_interface(component.m_dpfProcessor, iid, object);
    }
    static uint32_t V3_API ProcessorRef(void* self) { return ++OfProcessor(self).m_references; }
    static uint32_t V3_API ProcessorUnref(void* self) { return Unref(OfProcessor(self).Object()); }

    // --- IPluginBase and IComponent: DPF's, but for the state ---------------
    static v3_result V3_API Initialize(void* self, v3_funknown** context) {
        v3_plugin_base** const base = QueryObject<v3_plugin_base>(Of(self).m_dpf, v3_plugin_base_iid);
        if (base == nullptr) return V3_NOT_INITIALIZED;
        const v3_result result = Functions<v3_plugin_base>(base)->initialize(base, context);
        ReleaseObject(base);
        return result;
    }
    static v3_result V3_API Terminate(void* self) {
        v3_plugin_base** const base = QueryObject<v3_plugin_base>(Of(self).m_dpf, v3_plugin_base_iid);
        if (base == nullptr) return V3_NOT_INITIALIZED;
        const v3_result result = Functions<v3_plugin_base>(base)->terminate(base);
        ReleaseObject(base);
        return result;
    }
    static v3_result V3_API ControllerClass(void* self, v3_tuid id) {
        return Of(self).Dpf()->get_controller_class_id(Of(self).m_dpf, id);
    }
    static v3_result V3_API SetIoMode(void* self, int32_t mode) { return Of(self).Dpf()->set_io_mode(Of(self).m_dpf, mode); }
    static int32_t V3_API BusCount(void* self, int32_t type, int32_t direction) {
        return Of(self).Dpf()->get_bus_count(Of(self).m_dpf, type, direction);
    }
    static v3_result V3_API BusInfo(void* self, int32_t type, int32_t direction, int32_t index, v3_bus_info* info) {
        return Of(self).Dpf()->get_bus_info(Of(self).m_dpf, type, direction, index, info);
    }
    static v3_result V3_API RoutingInfo(void* self, v3_routing_info* input, v3_routing_info* output) {
        return Of(self).Dpf()->get_routing_info(Of(self).m_dpf, input, output);
    }
    static v3_result V3_API ActivateBus(void* self, int32_t type, int32_t direction, int32_t index, v3_bool state) {
        return Of(self).Dpf()->activate_bus(Of(self).m_dpf, type, direction, index, state);
    }
    static v3_result V3_API SetActive(void* self, v3_bool state) { return Of(self).Dpf()->set_active(Of(self).m_dpf, state); }

    // [main thread] A refused state changes nothing.
    static v3_result V3_API SetState(void* self, v3_bstream** stream) {
        if (stream == nullptr) return V3_INVALID_ARG;
        const auto settings = ReadState([stream](std::uint8_t* bytes, std::size_t size) -> std::int64_t {
            int32_t read = 0;
            if (Functions<v3_bstream>(stream)->read(stream, bytes, static_cast<int32_t>(size), &read) != V3_OK) return -1;
            return read > 0 ? read : 0;
        });
        if (!settings) return V3_FALSE;
        CMemoryStream text(DpfStateOf(*settings));
        return Of(self).Dpf()->set_state(Of(self).m_dpf, text.Stream());
    }

    // [main thread]
    static v3_result V3_API GetState(void* self, v3_bstream** stream) {
        if (stream == nullptr) return V3_INVALID_ARG;
        CMemoryStream text;
        const v3_result result = Of(self).Dpf()->get_state(Of(self).m_dpf, text.Stream());
        if (result != V3_OK) return result;
        const auto settings = SettingsOfDpfState(text.Bytes().data(), text.Bytes().size());
        if (!settings) return V3_INTERNAL_ERR;
        const bool written = WriteState(*settings, [stream](const std::uint8_t* bytes, std::size_t size) -> std::int64_t {
            int32_t count = 0;
            // The stream's write takes the bytes as its own to copy.
            auto* const data = const_cast<std::uint8_t*>(bytes);
            if (Functions<v3_bstream>(stream)->write(stream, data, static_cast<int32_t>(size), &count) != V3_OK) return 0;
            return count;
        });
        return written ? V3_OK : V3_FALSE;
    }

    // --- IAudioProcessor: DPF's, through the runs ------------------------------
    static v3_result V3_API SetBusArrangements(void* self, v3_speaker_arrangement* inputs, int32_t inputCount,
                                               v3_speaker_arrangement* outputs, int32_t outputCount) {
        CGuardedComponent& component = OfProcessor(self);
        return component.DpfProcessor()->set_bus_arrangements(component.m_dpfProcessor, inputs, inputCount, outputs, outputCount);
    }
    static v3_result V3_API GetBusArrangement(void* self, int32_t direction, int32_t index, v3_speaker_arrangement* arrangement) {
        CGuardedComponent& component = OfProcessor(self);
        return component.DpfProcessor()->get_bus_arrangement(component.m_dpfProcessor, direction, index, arrangement);
    }
    static v3_result V3_API CanProcessSampleSize(void* self, int32_t size) {
        CGuardedComponent& component = OfProcessor(self);
        return component.DpfProcessor()->can_process_sample_size(component.m_dpfProcessor, size);
    }
    static uint32_t V3_API Latency(void* self) {
        CGuardedComponent& component = OfProcessor(self);
        return component.DpfProcessor()->get_latency_samples(component.m_dpfProcessor);
    }
    static v3_result V3_API Setup(void* self, v3_process_setup* setup) { return OfProcessor(self).m_run.Setup(setup); }
    static v3_result V3_API SetProcessing(void* self, v3_bool state) {
        CGuardedComponent& component = OfProcessor(self);
        return component.DpfProcessor()->set_processing(component.m_dpfProcessor, state);
    }
    static v3_result V3_API Process(void* self, v3_process_data* data) { return OfProcessor(self).m_run.Process(data); }
    static uint32_t V3_API Tail(void* self) {
        CGuardedComponent& component = OfProcessor(self);
        return component.DpfProcessor()->get_tail_samples(component.m_dpfProcessor);
    }

    v3_component** const m_dpf;
    v3_audio_processor** const m_dpfProcessor;
    std::atomic<uint32_t> m_references{1};
    CVst3RunProcessor m_run;
    ComponentFace m_component;
    ProcessorFace m_processor;
};

}  // namespace

v3_component** GuardedComponent(v3_component** dpf) {
    v3_audio_processor** const processor = QueryObject<v3_audio_processor>(dpf, v3_audio_processor_iid);
    v3_midi_mapping** const mapping = QueryObject<v3_midi_mapping>(dpf, v3_midi_mapping_iid);
    v3_param_id firstMidi = 0;
    const bool mapped = mapping != nullptr &&
                        Functions<v3_midi_mapping>(mapping)->get_midi_controller_assignment(mapping, 0, 0, 0, &firstMidi) == V3_TRUE;
    ReleaseObject(mapping);
    CGuardedComponent* const component =
        processor != nullptr && mapped ? new (std::nothrow) CGuardedComponent(dpf, processor, firstMidi) : nullptr;
    if (component == nullptr) {
        ReleaseObject(processor);
        ReleaseObject(dpf);
        return nullptr;
    }
    return component->Object();
}
