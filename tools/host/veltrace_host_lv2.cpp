// veltrace-host on Linux: plays a Standard MIDI File through the Veltrace LV2
// plug-in as an LV2 host does. The plug-in is found through lilv, in a named
// bundle or among the installed plug-ins; each track gets an instance of its
// own, with the settings as the values of its control ports, and each block
// of playback is one cycle of run.
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include "core/parameters.h"
#include "core/routing.h"
#include "lv2/plugin_uri.h"
#include "midi/playback.h"
#include "tools/host/clap_track_filter.h"
#include "tools/host/host_options.h"
#include "tools/host/host_run.h"
#include "tools/host/vst3_track_filter.h"

namespace {

// urid:map for the plug-in, and the ids the tool writes and reads itself,
// mapped once.
class CUridMap {
public:
    CUridMap() {
        m_map.handle = this;
        m_map.map = [](LV2_URID_Map_Handle handle, const char* uri) {
            auto& ids = static_cast<CUridMap*>(handle)->m_ids;
            return ids.emplace(uri, static_cast<LV2_URID>(ids.size() + 1)).first->second;
        };
        m_feature = {LV2_URID__map, &m_map};
        sequence = Id(LV2_ATOM__Sequence);
        chunk = Id(LV2_ATOM__Chunk);
        object = Id(LV2_ATOM__Object);
        atomLong = Id(LV2_ATOM__Long);
        atomFloat = Id(LV2_ATOM__Float);
        midiEvent = Id(LV2_MIDI__MidiEvent);
        position = Id(LV2_TIME__Position);
        frame = Id(LV2_TIME__frame);
        speed = Id(LV2_TIME__speed);
    }
    CUridMap(const CUridMap&) = delete;
    CUridMap& operator=(const CUridMap&) = delete;

    const LV2_Feature* Feature() const { return &m_feature; }

    LV2_URID sequence, chunk, object, atomLong, atomFloat, midiEvent, position, frame, speed;

private:
    LV2_URID Id(const char* uri) { return m_map.map(m_map.handle, uri); }

    std::unordered_map<std::string, LV2_URID> m_ids;
    LV2_URID_Map m_map;
    LV2_Feature m_feature;
};

// An atom sequence being written into 8-byte-aligned memory.
class CSequenceWriter {
public:
    explicit CSequenceWriter(std::vector<std::uint64_t>& memory, LV2_URID sequenceType) : m_memory(memory) {
        m_memory.assign(2, 0);  // the atom header and the sequence body (unit 0: frames)
        Sequence().atom.type = sequenceType;
        Sequence().atom.size = sizeof(LV2_Atom_Sequence_Body);
    }
    // Appends an event whose body is `size` bytes, and returns the body.
    void* Append(std::int64_t frame, LV2_URID type, std::uint32_t size) {
        const std::size_t offset = m_memory.size();
        m_memory.resize(offset + (sizeof(LV2_Atom_Event) + lv2_atom_pad_size(size)) / 8, 0);
        auto* const event = reinterpret_cast<LV2_Atom_Event*>(m_memory.data() + offset);
        event->time.frames = frame;
        event->body.type = type;
        event->body.size = size;
        Sequence().atom.size += static_cast<std::uint32_t>(sizeof(LV2_Atom_Event) + lv2_atom_pad_size(size));
        return event + 1;
    }
    LV2_Atom_Sequence& Sequence() { return *reinterpret_cast<LV2_Atom_Sequence*>(m_memory.data()); }

private:
    std::vector<std::uint64_t>& m_memory;
};

std::uint32_t MessageBytes(const MidiEvent& event, std::uint8_t bytes[3]) {
    bytes[0] = event.status;
    bytes[1] = event.data1;
    bytes[2] = event.data2;
    return ChannelMessageSize(event.status);
}

// One instance of the plug-in, playing one track.
class CLv2TrackFilter final : public CTrackFilter {
public:
    struct Ports {
        std::uint32_t in, out;
        std::array<std::uint32_t, kParamsPerRow> settings;
    };

    CLv2TrackFilter(const LilvPlugin* plugin, CUridMap& urids, const Ports& ports, const std::array<float, kParamsPerRow>& controls)
        : m_urids(urids), m_controls(controls) {
        const LV2_Feature* const features[] = {urids.Feature(), nullptr};
        m_instance = lilv_plugin_instantiate(plugin, 48000.0, features);
        if (m_instance == nullptr) throw InputError("the LV2 plug-in could not be instantiated");
        for (std::size_t i = 0; i < kParamsPerRow; ++i) lilv_instance_connect_port(m_instance, ports.settings[i], &m_controls[i]);
        m_inPort = ports.in;
        m_outPort = ports.out;
        lilv_instance_activate(m_instance);
    }
    ~CLv2TrackFilter() override {
        lilv_instance_deactivate(m_instance);
        lilv_instance_free(m_instance);
    }
    CLv2TrackFilter(const CLv2TrackFilter&) = delete;
    CLv2TrackFilter& operator=(const CLv2TrackFilter&) = delete;

    // The transport starts rolling with the next cycle.
    void Start() override { m_startPending = true; }

    // Each event goes at a frame of its own, its index in the block, so
    // whatever comes out names the input it replaces; the file's times are
    // the input's.
    void PlayBlock(std::uint32_t, std::uint32_t, const std::vector<MidiEvent>& block, std::vector<Output>& outputs) override {
        RunCycle(block.data(), static_cast<std::uint32_t>(block.size()));
        ForEachOutput([&](std::uint32_t frame, const std::uint8_t* bytes, std::uint32_t size) {
            if (frame < block.size()) outputs.push_back({frame, ChannelEvent(block[frame].tick, bytes, size)});
        });
    }
    void PlayLive(const MidiEvent& message, std::vector<MidiEvent>& outputs) override {
        RunCycle(&message, 1);
        ForEachOutput([&](std::uint32_t, const std::uint8_t* bytes, std::uint32_t size) {
            outputs.push_back(ChannelEvent(message.tick, bytes, size));
        });
    }

private:
    void RunCycle(const MidiEvent* events, std::uint32_t count) {
        CSequenceWriter input(m_input, m_urids.sequence);
        if (m_startPending) {  // a position: frame 0, rolling at normal speed
            m_startPending = false;
            auto* const object = static_cast<LV2_Atom_Object_Body*>(
                input.Append(0, m_urids.object, sizeof(LV2_Atom_Object_Body) + 2 * 24));
            object->id = 0;
            object->otype = m_urids.position;
            auto* const frame = reinterpret_cast<LV2_Atom_Property_Body*>(object + 1);
            *frame = {m_urids.frame, 0, {sizeof(std::int64_t), m_urids.atomLong}};
            const std::int64_t zero = 0;
            std::memcpy(frame + 1, &zero, sizeof zero);
            auto* const speed = reinterpret_cast<LV2_Atom_Property_Body*>(reinterpret_cast<std::uint8_t*>(frame) + 24);
            *speed = {m_urids.speed, 0, {sizeof(float), m_urids.atomFloat}};
            const float one = 1.0f;
            std::memcpy(speed + 1, &one, sizeof one);
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint8_t bytes[3];
            const std::uint32_t size = MessageBytes(events[i], bytes);
            std::memcpy(input.Append(i, m_urids.midiEvent, size), bytes, size);
        }

        // Room for one three-byte message per input, the most the filter sends.
        const std::uint32_t capacity = sizeof(LV2_Atom_Sequence_Body) + count * (sizeof(LV2_Atom_Event) + 8);
        m_output.assign((sizeof(LV2_Atom) + capacity) / 8, 0);
        auto& output = *reinterpret_cast<LV2_Atom_Sequence*>(m_output.data());
        output.atom.size = capacity;
        output.atom.type = m_urids.chunk;

        lilv_instance_connect_port(m_instance, m_inPort, &input.Sequence());
        lilv_instance_connect_port(m_instance, m_outPort, &output);
        lilv_instance_run(m_instance, count > 0 ? count : 1);
    }

    template <class Visit>
    void ForEachOutput(Visit visit) {
        const auto& output = *reinterpret_cast<const LV2_Atom_Sequence*>(m_output.data());
        LV2_ATOM_SEQUENCE_FOREACH(&output, event) {
            if (event->body.type != m_urids.midiEvent || event->body.size == 0 || event->time.frames < 0) continue;
            visit(static_cast<std::uint32_t>(event->time.frames),
                  static_cast<const std::uint8_t*>(LV2_ATOM_BODY_CONST(&event->body)), event->body.size);
        }
    }

    CUridMap& m_urids;
    std::array<float, kParamsPerRow> m_controls;
    LilvInstance* m_instance = nullptr;
    std::uint32_t m_inPort = 0, m_outPort = 0;
    bool m_startPending = false;
    std::vector<std::uint64_t> m_input, m_output;
};

// The lilv world and the plug-in found in it.
class CLv2PluginHost final : public CPluginHost {
public:
    explicit CLv2PluginHost(const std::string& bundle) : m_world(lilv_world_new(), lilv_world_free) {
        if (m_world == nullptr) throw InputError("out of memory");
        if (bundle.empty()) {
            lilv_world_load_all(m_world.get());
        } else {
            std::error_code error;
            if (!std::filesystem::is_directory(bundle, error)) throw InputError(bundle + ": not an LV2 bundle (no such folder)");
            if (!std::filesystem::is_regular_file(std::filesystem::path(bundle) / "manifest.ttl", error))
                throw InputError(bundle + ": not an LV2 bundle (no manifest.ttl)");
            const std::string path = std::filesystem::absolute(bundle, error).string() + "/";
            LilvNode* const uri = lilv_new_file_uri(m_world.get(), nullptr, path.c_str());
            lilv_world_load_bundle(m_world.get(), uri);
            lilv_node_free(uri);
        }
        LilvNode* const uri = lilv_new_uri(m_world.get(), kVeltracePluginUri);
        m_plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(m_world.get()), uri);
        lilv_node_free(uri);
        if (m_plugin == nullptr)
            throw InputError(bundle.empty() ? "the plug-in is not installed: put veltrace.lv2 into ~/.lv2 or /usr/lib/lv2, or name the bundle with --lv2"
                                           : bundle + ": holds no Veltrace plug-in");
        if (!lilv_plugin_verify(m_plugin)) throw InputError(std::string(kVeltracePluginUri) + ": the plug-in's description is broken");

        m_ports.in = PortIndex("in");
        m_ports.out = PortIndex("out");
        for (std::size_t i = 0; i < kParamsPerRow; ++i) {
            m_ports.settings[i] = PortIndex(kSettingTable[i].symbol);
            const LilvPort* const port = lilv_plugin_get_port_by_index(m_plugin, m_ports.settings[i]);
            LilvNode* defaultValue = nullptr;
            lilv_port_get_range(m_plugin, port, &defaultValue, nullptr, nullptr);
            m_defaults[i] = Integer(defaultValue, kSettingTable[i].defaultValue);
            lilv_node_free(defaultValue);
        }
        // One instance at once, so that a bundle whose library does not load
        // is told before anything is written.
        std::array<float, kParamsPerRow> defaults;
        for (std::size_t i = 0; i < kParamsPerRow; ++i) defaults[i] = static_cast<float>(m_defaults[i]);
        CLv2TrackFilter probe(m_plugin, m_urids, m_ports, defaults);
    }
    CLv2PluginHost(const CLv2PluginHost&) = delete;
    CLv2PluginHost& operator=(const CLv2PluginHost&) = delete;

    SettingsCells DefaultSettings() override {
        SettingsCells cells = DefaultSettingsCells();
        for (std::size_t i = 0; i < kParamsPerRow; ++i) cells[SettingRow * kParamsPerRow + i] = m_defaults[i];
        return cells;
    }
    // The stream the Windows module writes when it holds these settings.
    std::vector<std::uint8_t> SavedSettings(const SettingsCells& cells) override {
        Controls(cells);
        return WriteSettingsStream(cells);
    }
    std::unique_ptr<CTrackFilter> NewTrackFilter(const SettingsCells& cells) override {
        return std::make_unique<CLv2TrackFilter>(m_plugin, m_urids, m_ports, Controls(cells));
    }

private:
    std::uint32_t PortIndex(const char* symbol) {
        LilvNode* const name = lilv_new_string(m_world.get(), symbol);
        const LilvPort* const port = lilv_plugin_get_port_by_symbol(m_plugin, name);
        lilv_node_free(name);
        if (port == nullptr) throw InputError(std::string(kVeltracePluginUri) + ": the plug-in has no port '" + symbol + "'");
        return lilv_port_get_index(m_plugin, port);
    }

    static std::int32_t Integer(const LilvNode* node, std::int32_t fallback) {
        if (node != nullptr && lilv_node_is_int(node)) return lilv_node_as_int(node);
        if (node != nullptr && lilv_node_is_float(node)) return static_cast<std::int32_t>(lilv_node_as_float(node));
        return fallback;
    }

    // The control values for these settings: each must lie within its
    // control's range, which a loaded stream need not.
    static std::array<float, kParamsPerRow> Controls(const SettingsCells& cells) {
        CheckSettingsWithinControls(cells);
        std::array<float, kParamsPerRow> controls;
        for (std::size_t i = 0; i < kParamsPerRow; ++i) controls[i] = static_cast<float>(cells[SettingRow * kParamsPerRow + i]);
        return controls;
    }

    std::unique_ptr<LilvWorld, void (*)(LilvWorld*)> m_world;
    const LilvPlugin* m_plugin = nullptr;
    CUridMap m_urids;
    CLv2TrackFilter::Ports m_ports{};
    std::array<std::int32_t, kParamsPerRow> m_defaults{};
};

}  // namespace

int main(int argc, char** argv) {
    return HostMain(argc, argv, [](const HostOptions& options) -> std::unique_ptr<CPluginHost> {
        switch (options.format) {
        case PluginFormat::Clap: return LoadClapPlugin(options.plugin);
        case PluginFormat::Vst3: return LoadVst3Plugin(options.plugin);
        default: return std::make_unique<CLv2PluginHost>(options.plugin);
        }
    });
}
