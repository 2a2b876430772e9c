#include "tools/host/vst3_host.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "midi/input_error.h"

namespace {

bool Same(const v3_tuid a, const v3_tuid b) { return std::memcmp(a, b, sizeof(v3_tuid)) == 0; }

// A host object the plug-in reaches through one interface: FUnknown, then
// the interface's functions, then its owner. The host owns it; counting
// references is left to the host's own lifetimes.
template <class Owner, class Functions>
class CHostInterface {
public:
    CHostInterface(Owner* owner, const v3_tuid& iid, const Functions& functions)
        : m_table{{Query, Count, Count}, functions, owner, &iid} {}
    CHostInterface(const CHostInterface&) = delete;
    CHostInterface& operator=(const CHostInterface&) = delete;

    template <class Interface>
    Interface** As() {
        return reinterpret_cast<Interface**>(&m_self);
    }
    static Owner& Of(void* self) { return *(*static_cast<Table**>(self))->owner; }

private:
    struct Table : v3_funknown {
        Functions functions;
        Owner* owner;
        const v3_tuid* iid;
    };
    static v3_result V3_API Query(void* self, const v3_tuid iid, void** object) {
        if (Same(iid, v3_funknown_iid) || Same(iid, *(*static_cast<Table**>(self))->iid)) {
            *object = self;
            return V3_OK;
        }
        *object = nullptr;
        return V3_NO_INTERFACE;
    }
    static uint32_t V3_API Count(void*) { return 1; }

    Table m_table;
    Table* m_self = &m_table;
};

// The host's side of a stream, in memory: read in pieces, written whole.
class CHostStream {
public:
    CHostStream(std::vector<std::uint8_t>& bytes, std::size_t piece)
        : m_bytes(bytes), m_piece(piece > 0 ? piece : 1), m_face(this, v3_bstream_iid, {Read, Write, Seek, Tell}) {}
    v3_bstream** Stream() { return m_face.As<v3_bstream>(); }

private:
    using Face = CHostInterface<CHostStream, v3_bstream>;
    static v3_result V3_API Read(void* self, void* buffer, int32_t size, int32_t* read) {
        CHostStream& stream = Face::Of(self);
        std::size_t count = std::min({stream.m_bytes.size() - stream.m_at, stream.m_piece,
                                      static_cast<std::size_t>(size > 0 ? size : 0)});
        if (count > 0) std::memcpy(buffer, stream.m_bytes.data() + stream.m_at, count);
        stream.m_at += count;
        if (read != nullptr) *read = static_cast<int32_t>(count);
        return V3_OK;
    }
    static v3_result V3_API Write(void* self, void* buffer, int32_t size, int32_t* written) {
        if (size < 0) return V3_INVALID_ARG;
        CHostStream& stream = Face::Of(self);
        const auto* const bytes = static_cast<const std::uint8_t*>(buffer);
        stream.m_bytes.insert(stream.m_bytes.end(), bytes, bytes + size);
        if (written != nullptr) *written = size;
        return V3_OK;
    }
    static v3_result V3_API Seek(void* self, int64_t position, int32_t mode, int64_t* result) {
        CHostStream& stream = Face::Of(self);
        const int64_t base = mode == V3_SEEK_SET ? 0 : mode == V3_SEEK_CUR ? static_cast<int64_t>(stream.m_at)
                                                                           : static_cast<int64_t>(stream.m_bytes.size());
        const int64_t at = base + position;
        if (at < 0 || at > static_cast<int64_t>(stream.m_bytes.size())) return V3_INVALID_ARG;
        stream.m_at = static_cast<std::size_t>(at);
        if (result != nullptr) *result = at;
        return V3_OK;
    }
    static v3_result V3_API Tell(void* self, int64_t* position) {
        if (position != nullptr) *position = static_cast<int64_t>(Face::Of(self).m_at);
        return V3_OK;
    }

    std::vector<std::uint8_t>& m_bytes;
    std::size_t m_piece;
    std::size_t m_at = 0;
    Face m_face;
};

// An event list: the host's input (read) or the plug-in's output (added to).
class CEventList {
public:
    CEventList() : m_face(this, v3_event_list_iid, {Count, Get, Add}) {}
    v3_event_list** List() { return m_face.As<v3_event_list>(); }
    std::vector<v3_event> events;

private:
    using Face = CHostInterface<CEventList, v3_event_list>;
    static uint32_t V3_API Count(void* self) { return static_cast<uint32_t>(Face::Of(self).events.size()); }
    static v3_result V3_API Get(void* self, int32_t index, v3_event* event) {
        const auto& events = Face::Of(self).events;
        if (index < 0 || static_cast<std::size_t>(index) >= events.size() || event == nullptr) return V3_INVALID_ARG;
        *event = events[static_cast<std::size_t>(index)];
        return V3_OK;
    }
    static v3_result V3_API Add(void* self, v3_event* event) {
        if (event == nullptr) return V3_INVALID_ARG;
        Face::Of(self).events.push_back(*event);
        return V3_OK;
    }
    Face m_face;
};

// One parameter's points in a call.
class CValueQueue {
public:
    explicit CValueQueue(v3_param_id id) : m_id(id), m_face(this, v3_param_value_queue_iid, {Id, Count, Get, Add}) {}
    v3_param_value_queue** Queue() { return m_face.As<v3_param_value_queue>(); }
    v3_param_id ParameterId() const { return m_id; }
    void Reuse(v3_param_id id) {
        m_id = id;
        points.clear();
    }
    std::vector<std::pair<int32_t, double>> points;

private:
    using Face = CHostInterface<CValueQueue, v3_param_value_queue>;
    static v3_param_id V3_API Id(void* self) { return Face::Of(self).m_id; }
    static int32_t V3_API Count(void* self) { return static_cast<int32_t>(Face::Of(self).points.size()); }
    static v3_result V3_API Get(void* self, int32_t index, int32_t* frame, double* value) {
        const auto& points = Face::Of(self).points;
        if (index < 0 || static_cast<std::size_t>(index) >= points.size()) return V3_INVALID_ARG;
        if (frame != nullptr) *frame = points[static_cast<std::size_t>(index)].first;
        if (value != nullptr) *value = points[static_cast<std::size_t>(index)].second;
        return V3_OK;
    }
    static v3_result V3_API Add(void* self, int32_t frame, double value, int32_t* index) {
        auto& points = Face::Of(self).points;
        points.emplace_back(frame, value);
        if (index != nullptr) *index = static_cast<int32_t>(points.size() - 1);
        return V3_OK;
    }
    v3_param_id m_id;
    Face m_face;
};

// The parameter changes of a call: a queue per parameter, in the order of
// their first point.
class CParameterChanges {
public:
    CParameterChanges() : m_face(this, v3_param_changes_iid, {Count, Data, AddData}) {}
    v3_param_changes** Changes() { return m_face.As<v3_param_changes>(); }
    // Queues emptied, kept for the next call: once they have grown, a call
    // allocates nothing.
    void Clear() { m_used = 0; }
    CValueQueue& QueueFor(v3_param_id id) {
        for (std::size_t i = 0; i < m_used; ++i)
            if (m_queues[i]->ParameterId() == id) return *m_queues[i];
        if (m_used == m_queues.size()) m_queues.push_back(std::make_unique<CValueQueue>(id));
        CValueQueue& queue = *m_queues[m_used++];
        queue.Reuse(id);
        return queue;
    }

private:
    using Face = CHostInterface<CParameterChanges, v3_param_changes>;
    static int32_t V3_API Count(void* self) { return static_cast<int32_t>(Face::Of(self).m_used); }
    static v3_param_value_queue** V3_API Data(void* self, int32_t index) {
        CParameterChanges& changes = Face::Of(self);
        return index >= 0 && static_cast<std::size_t>(index) < changes.m_used
                   ? changes.m_queues[static_cast<std::size_t>(index)]->Queue()
                   : nullptr;
    }
    static v3_param_value_queue** V3_API AddData(void* self, v3_param_id* id, int32_t* index) {
        if (id == nullptr) return nullptr;
        CParameterChanges& changes = Face::Of(self);
        CValueQueue& queue = changes.QueueFor(*id);
        if (index != nullptr)
            for (std::size_t i = 0; i < changes.m_used; ++i)
                if (changes.m_queues[i].get() == &queue) *index = static_cast<int32_t>(i);
        return queue.Queue();
    }
    std::vector<std::unique_ptr<CValueQueue>> m_queues;
    std::size_t m_used = 0;
    Face m_face;
};

template <class Interface, class From>
Interface** Query(From** object, const v3_tuid& iid) {
    void* found = nullptr;
    if (object == nullptr || (*reinterpret_cast<v3_funknown**>(object))->query_interface(object, iid, &found) != V3_OK)
        return nullptr;
    return static_cast<Interface**>(found);
}

template <class Interface>
void Release(Interface**& object) {
    if (object != nullptr) (*reinterpret_cast<v3_funknown**>(object))->unref(object);
    object = nullptr;
}

// A MIDI value as hosts normalise it: 0..1 over its whole range.
double Normalised(int value, int top) { return static_cast<double>(value) / top; }

}  // namespace

std::string Vst3Text(const int16_t* text, std::size_t size) {
    std::string ascii;
    for (std::size_t i = 0; i < size && text[i] != 0; ++i) ascii += text[i] > 0 && text[i] < 128 ? static_cast<char>(text[i]) : '?';
    return ascii;
}

CVst3Library::CVst3Library(const std::string& path) : m_path(path) {
    namespace fs = std::filesystem;
    std::error_code error;
    std::string binary = path;
    if (fs::is_directory(path, error)) {
        const std::string name = fs::path(path).filename().replace_extension().string();
#ifdef _WIN32
        binary = (fs::path(path) / "Contents" / "x86_64-win" / (name + ".vst3")).string();
#else
        binary = (fs::path(path) / "Contents" / "x86_64-linux" / (name + ".so")).string();
#endif
        if (!fs::is_regular_file(binary, error)) throw InputError(path + ": not a VST3 bundle (no " + binary + ")");
    } else if (!fs::is_regular_file(path, error)) {
        throw InputError(path + ": no such VST3 bundle");
    }
    m_module = std::make_unique<CPluginModule>(binary);
#ifdef _WIN32
    using Enter = bool (*)();
    const auto enter = reinterpret_cast<Enter>(m_module->Symbol("InitDll"));
    if (enter != nullptr && !enter()) throw InputError(binary + ": the VST3 module did not start");
#else
    using Enter = bool (*)(void*);
    const auto enter = reinterpret_cast<Enter>(m_module->Symbol("ModuleEntry"));
    if (enter == nullptr) throw InputError(binary + ": not a VST3 module (no ModuleEntry)");
    if (!enter(m_module->Handle())) throw InputError(binary + ": the VST3 module did not start");
#endif
    using GetFactory = void* (*)();
    const auto getFactory = reinterpret_cast<GetFactory>(m_module->Symbol("GetPluginFactory"));
    m_factory = getFactory != nullptr ? static_cast<v3_plugin_factory**>(getFactory()) : nullptr;
    if (m_factory == nullptr) throw InputError(binary + ": not a VST3 module (no plug-in factory)");
    v3_plugin_factory* const factory = v3_cpp_obj(m_factory);
    v3_class_info plain{};
    int32_t index = 0;
    for (const int32_t count = factory->num_classes(m_factory); index < count; ++index)
        if (factory->get_class_info(m_factory, index, &plain) == V3_OK && std::strcmp(plain.category, "Audio Module Class") == 0)
            break;
    if (std::strcmp(plain.category, "Audio Module Class") != 0) throw InputError(binary + ": the VST3 module holds no plug-in");
    std::memcpy(m_class.class_id, plain.class_id, sizeof(v3_tuid));
    std::memcpy(m_class.name, plain.name, sizeof plain.name);
    if (auto** second = Query<v3_plugin_factory_2>(m_factory, v3_plugin_factory_2_iid)) {
        v3_cpp_obj(second)->get_class_info_2(second, index, &m_class);
        Release(second);
    }
}

CVst3Library::~CVst3Library() {
    Release(m_factory);
#ifdef _WIN32
    using Leave = bool (*)();
    const auto leave = reinterpret_cast<Leave>(m_module->Symbol("ExitDll"));
#else
    using Leave = bool (*)();
    const auto leave = reinterpret_cast<Leave>(m_module->Symbol("ModuleExit"));
#endif
    if (leave != nullptr) leave();
}

// The host's lists for one call, kept between calls so a call allocates
// nothing once they have grown.
struct CVst3Instance::Lists {
    CEventList in, out;
    CParameterChanges inParameters, outParameters;
};

CVst3Instance::CVst3Instance(const CVst3Library& library) : m_library(library), m_lists(new Lists) {
    v3_plugin_factory** const factory = library.Factory();
    void* made = nullptr;
    if (v3_cpp_obj(factory)->create_instance(factory, library.ClassInfo().class_id, v3_component_iid, &made) != V3_OK ||
        made == nullptr)
        throw InputError(library.Path() + ": the plug-in was not made");
    m_component = static_cast<v3_component**>(made);
    v3_plugin_base** base = Query<v3_plugin_base>(m_component, v3_plugin_base_iid);
    m_initialised = base != nullptr && v3_cpp_obj(base)->initialize(base, nullptr) == V3_OK;
    Release(base);
    m_processor = Query<v3_audio_processor>(m_component, v3_audio_processor_iid);
    m_controller = Query<v3_edit_controller>(m_component, v3_edit_controller_iid);
    m_mapping = Query<v3_midi_mapping>(m_component, v3_midi_mapping_iid);
    if (!m_initialised || m_processor == nullptr || m_controller == nullptr) {
        Close();
        throw InputError(library.Path() + ": the plug-in did not initialise");
    }
}

CVst3Instance::~CVst3Instance() { Close(); }

void CVst3Instance::Close() {
    SetProcessing(false);
    SetActive(false);
    Release(m_mapping);
    Release(m_controller);
    Release(m_processor);
    if (m_initialised) {
        if (auto** base = Query<v3_plugin_base>(m_component, v3_plugin_base_iid)) {
            v3_cpp_obj(base)->terminate(base);
            Release(base);
        }
        m_initialised = false;
    }
    Release(m_component);
}

bool CVst3Instance::Setup(double sampleRate, std::int32_t maxFrames) {
    v3_process_setup setup{V3_REALTIME, V3_SAMPLE_32, maxFrames, sampleRate};
    return v3_cpp_obj(m_processor)->setup_processing(m_processor, &setup) == V3_OK;
}

bool CVst3Instance::SetActive(bool active) {
    if (m_component == nullptr || active == m_active) return true;
    if (!active) SetProcessing(false);
    const bool done = v3_cpp_obj(m_component)->set_active(m_component, active) == V3_OK;
    if (done) m_active = active;
    return done;
}

bool CVst3Instance::SetProcessing(bool processing) {
    if (m_processor == nullptr || processing == m_processing) return true;
    const bool done = v3_cpp_obj(m_processor)->set_processing(m_processor, processing) == V3_OK;
    if (done) m_processing = processing;
    return done;
}

bool CVst3Instance::SaveState(std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    CHostStream stream(bytes, bytes.max_size());
    return v3_cpp_obj(m_component)->get_state(m_component, stream.Stream()) == V3_OK;
}

bool CVst3Instance::LoadState(const std::vector<std::uint8_t>& bytes, std::size_t piece) {
    std::vector<std::uint8_t> copy = bytes;
    CHostStream stream(copy, piece);
    return v3_cpp_obj(m_component)->set_state(m_component, stream.Stream()) == V3_OK;
}

bool CVst3Instance::MidiParameter(std::int16_t channel, std::int16_t controller, v3_param_id& id) const {
    return m_mapping != nullptr &&
           v3_cpp_obj(m_mapping)->get_midi_controller_assignment(m_mapping, 0, channel, controller, &id) == V3_TRUE;
}

bool CVst3Instance::AddMidi(Vst3Input& input, std::int32_t frame, const std::uint8_t* bytes, std::uint32_t size) const {
    if (size < 2 || bytes[0] < 0x80 || bytes[0] >= 0xF0) return false;
    const auto channel = static_cast<std::int16_t>(bytes[0] & 0x0F);
    const int data1 = bytes[1] & 0x7F, data2 = size > 2 ? bytes[2] & 0x7F : 0;
    v3_event event{};
    event.sample_offset = frame;
    switch (bytes[0] & 0xF0) {
    case 0x80:
        event.type = V3_EVENT_NOTE_OFF;
        event.note_off = {channel, static_cast<int16_t>(data1), static_cast<float>(Normalised(data2, 127)), -1, 0.0f};
        break;
    case 0x90:
        event.type = V3_EVENT_NOTE_ON;
        event.note_on = {channel, static_cast<int16_t>(data1), 0.0f, static_cast<float>(Normalised(data2, 127)), 0, -1};
        break;
    case 0xA0:
        event.type = V3_EVENT_POLY_PRESSURE;
        event.poly_pressure = {channel, static_cast<int16_t>(data1), static_cast<float>(Normalised(data2, 127)), -1};
        break;
    case 0xB0:
    case 0xD0:
    case 0xE0: {
        const auto kind = bytes[0] & 0xF0;
        const std::int16_t controller = kind == 0xB0 ? static_cast<std::int16_t>(data1) : kind == 0xD0 ? 128 : 129;
        v3_param_id id = 0;
        if (!MidiParameter(channel, controller, id)) return false;
        const double value = kind == 0xB0 ? Normalised(data2, 127)
                             : kind == 0xD0 ? Normalised(data1, 127)
                                            : Normalised(data1 | data2 << 7, 16383);
        input.points.push_back({id, frame, value});
        return true;
    }
    default:
        return false;  // a program change
    }
    input.events.push_back(event);
    return true;
}

v3_result CVst3Instance::Process(std::int32_t frames, const Vst3Input& input, v3_process_context* context,
                                 std::vector<Vst3MidiOut>& out) {
    Lists& lists = *m_lists;
    lists.in.events = input.events;
    lists.out.events.clear();
    lists.inParameters.Clear();
    lists.outParameters.Clear();
    for (const Vst3Input::Point& point : input.points)
        lists.inParameters.QueueFor(point.id).points.emplace_back(point.frame, point.value);
    v3_process_data data{};
    data.process_mode = V3_REALTIME;
    data.symbolic_sample_size = V3_SAMPLE_32;
    data.nframes = frames;
    data.input_params = lists.inParameters.Changes();
    data.output_params = lists.outParameters.Changes();
    data.input_events = lists.in.List();
    data.output_events = lists.out.List();
    data.ctx = context;
    const v3_result result = v3_cpp_obj(m_processor)->process(m_processor, &data);
    for (const v3_event& event : lists.out.events) {
        const auto channel = static_cast<std::uint8_t>(event.note_on.channel & 0x0F);
        const auto level = [](float value) {
            return static_cast<std::uint8_t>(std::isfinite(value) ? std::lround(std::clamp(value, 0.0f, 1.0f) * 127) : 0);
        };
        switch (event.type) {
        case V3_EVENT_NOTE_ON:
            out.push_back({event.sample_offset, {static_cast<std::uint8_t>(0x90 | channel), static_cast<std::uint8_t>(event.note_on.pitch),
                                                 level(event.note_on.velocity)}, 3});
            break;
        case V3_EVENT_NOTE_OFF:
            out.push_back({event.sample_offset, {static_cast<std::uint8_t>(0x80 | (event.note_off.channel & 0x0F)),
                                                 static_cast<std::uint8_t>(event.note_off.pitch), level(event.note_off.velocity)}, 3});
            break;
        case V3_EVENT_POLY_PRESSURE:
            out.push_back({event.sample_offset, {static_cast<std::uint8_t>(0xA0 | (event.poly_pressure.channel & 0x0F)),
                                                 static_cast<std::uint8_t>(event.poly_pressure.pitch),
                                                 level(event.poly_pressure.pressure)}, 3});
            break;
        case V3_EVENT_LEGACY_MIDI_CC_OUT: {
            const auto& cc = event.midi_cc_out;
            const auto on = static_cast<std::uint8_t>(cc.channel & 0x0F);
            const auto value = static_cast<std::uint8_t>(cc.value & 0x7F), value2 = static_cast<std::uint8_t>(cc.value2 & 0x7F);
            if (cc.cc_number < 128)
                out.push_back({event.sample_offset, {static_cast<std::uint8_t>(0xB0 | on), cc.cc_number, value}, 3});
            else if (cc.cc_number == 128)
                out.push_back({event.sample_offset, {static_cast<std::uint8_t>(0xD0 | on), value, 0}, 2});
            else if (cc.cc_number == 129)
                out.push_back({event.sample_offset, {static_cast<std::uint8_t>(0xE0 | on), value, value2}, 3});
            else
                ++otherEventsOut;
            break;
        }
        default:
            ++otherEventsOut;
            break;
        }
    }
    return result;
}

v3_process_context Vst3Transport(bool playing, std::int64_t frame, double sampleRate) {
    v3_process_context context{};
    context.state = V3_PROCESS_CTX_PROJECT_TIME_VALID | V3_PROCESS_CTX_CONT_TIME_VALID | V3_PROCESS_CTX_TEMPO_VALID |
                    V3_PROCESS_CTX_TIME_SIG_VALID | (playing ? V3_PROCESS_CTX_PLAYING : 0);
    context.sample_rate = sampleRate;
    context.project_time_in_samples = frame;
    context.continuous_time_in_samples = frame;
    context.bpm = 120.0;
    context.project_time_quarters = static_cast<double>(frame) / sampleRate * 2.0;
    context.time_sig_numerator = 4;
    context.time_sig_denom = 4;
    return context;
}
