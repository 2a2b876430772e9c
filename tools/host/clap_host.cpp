#include "tools/host/clap_host.h"

#include <cstring>

#include "midi/input_error.h"

namespace {

// The host's side of a stream: reads and writes in memory, in pieces.
struct CInStream {
    const std::vector<std::uint8_t>& bytes;
    std::size_t piece;
    std::size_t at = 0;
    static std::int64_t CLAP_ABI Read(const clap_istream_t* stream, void* buffer, std::uint64_t size) {
        auto& self = *static_cast<CInStream*>(stream->ctx);
        std::size_t count = self.bytes.size() - self.at;
        if (count > size) count = static_cast<std::size_t>(size);
        if (count > self.piece) count = self.piece;
        if (count > 0) std::memcpy(buffer, self.bytes.data() + self.at, count);
        self.at += count;
        return static_cast<std::int64_t>(count);
    }
};

std::int64_t CLAP_ABI WriteAll(const clap_ostream_t* stream, const void* buffer, std::uint64_t size) {
    auto& bytes = *static_cast<std::vector<std::uint8_t>*>(stream->ctx);
    const auto* const begin = static_cast<const std::uint8_t*>(buffer);
    bytes.insert(bytes.end(), begin, begin + size);
    return static_cast<std::int64_t>(size);
}

struct CInEvents {
    const std::vector<const clap_event_header_t*>& events;
    static std::uint32_t CLAP_ABI Size(const clap_input_events_t* list) {
        return static_cast<std::uint32_t>(static_cast<const CInEvents*>(list->ctx)->events.size());
    }
    static const clap_event_header_t* CLAP_ABI Get(const clap_input_events_t* list, std::uint32_t index) {
        const auto& events = static_cast<const CInEvents*>(list->ctx)->events;
        return index < events.size() ? events[index] : nullptr;
    }
};

struct COutEvents {
    std::vector<ClapMidiOut>& midi;
    std::uint32_t& others;
    static bool CLAP_ABI TryPush(const clap_output_events_t* list, const clap_event_header_t* event) {
        auto& self = *static_cast<COutEvents*>(list->ctx);
        if (event->space_id == CLAP_CORE_EVENT_SPACE_ID && event->type == CLAP_EVENT_MIDI &&
            event->size >= sizeof(clap_event_midi_t)) {
            const auto& midi = *reinterpret_cast<const clap_event_midi_t*>(event);
            self.midi.push_back({event->time, {midi.data[0], midi.data[1], midi.data[2]}});
        } else {
            ++self.others;
        }
        return true;
    }
};

}  // namespace

CClapLibrary::CClapLibrary(const std::string& path) : m_module(path) {
    m_entry = static_cast<const clap_plugin_entry_t*>(m_module.Symbol("clap_entry"));
    if (m_entry == nullptr) throw InputError(path + ": not a CLAP plug-in (no clap_entry)");
    if (!clap_version_is_compatible(m_entry->clap_version)) throw InputError(path + ": a CLAP version this tool does not read");
    if (!m_entry->init(path.c_str())) throw InputError(path + ": the CLAP plug-in did not start");
    m_factory = static_cast<const clap_plugin_factory_t*>(m_entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    m_descriptor = m_factory != nullptr && m_factory->get_plugin_count(m_factory) > 0
                       ? m_factory->get_plugin_descriptor(m_factory, 0)
                       : nullptr;
    if (m_descriptor == nullptr) {
        m_entry->deinit();
        throw InputError(path + ": the CLAP file holds no plug-in");
    }
}

CClapLibrary::~CClapLibrary() { m_entry->deinit(); }

// The host an instance sees: its callbacks and the one extension it offers
// (parameters, to be told to read them again).
struct CClapInstance::Host {
    CClapInstance* instance;
    clap_host_params_t params = {
        [](const clap_host_t* host, clap_param_rescan_flags) { ++static_cast<Host*>(host->host_data)->instance->rescans; },
        [](const clap_host_t*, clap_id, clap_param_clear_flags) {}, [](const clap_host_t*) {}};
    clap_host_t face = {CLAP_VERSION_INIT,
                        this,
                        "veltrace-host",
                        "Quorvane",
                        "",
                        "1",
                        [](const clap_host_t* host, const char* id) -> const void* {
                            return std::strcmp(id, CLAP_EXT_PARAMS) == 0 ? &static_cast<Host*>(host->host_data)->params
                                                                         : nullptr;
                        },
                        [](const clap_host_t*) {},
                        [](const clap_host_t*) {},
                        [](const clap_host_t*) {}};
};

CClapInstance::CClapInstance(const CClapLibrary& library, const char* id) : m_host(new Host{this}) {
    const clap_plugin_factory_t& factory = library.Factory();
    m_plugin = factory.create_plugin(&factory, &m_host->face, id);
    if (m_plugin == nullptr) throw InputError(library.Path() + ": the plug-in '" + id + "' was not made");
    if (!m_plugin->init(m_plugin)) {
        m_plugin->destroy(m_plugin);
        throw InputError(library.Path() + ": the plug-in did not initialise");
    }
    m_params = static_cast<const clap_plugin_params_t*>(m_plugin->get_extension(m_plugin, CLAP_EXT_PARAMS));
    m_state = static_cast<const clap_plugin_state_t*>(m_plugin->get_extension(m_plugin, CLAP_EXT_STATE));
    m_notePorts = static_cast<const clap_plugin_note_ports_t*>(m_plugin->get_extension(m_plugin, CLAP_EXT_NOTE_PORTS));
}

CClapInstance::~CClapInstance() {
    StopProcessing();
    Deactivate();
    m_plugin->destroy(m_plugin);
}

bool CClapInstance::Activate(double sampleRate, std::uint32_t maxFrames) {
    if (!m_active) m_active = m_plugin->activate(m_plugin, sampleRate, 1, maxFrames);
    return m_active;
}

void CClapInstance::Deactivate() {
    StopProcessing();
    if (m_active) m_plugin->deactivate(m_plugin);
    m_active = false;
}

bool CClapInstance::StartProcessing() {
    if (m_active && !m_processing) m_processing = m_plugin->start_processing(m_plugin);
    return m_processing;
}

void CClapInstance::StopProcessing() {
    if (m_processing) m_plugin->stop_processing(m_plugin);
    m_processing = false;
}

void CClapInstance::Reset() { m_plugin->reset(m_plugin); }

bool CClapInstance::SaveState(std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    const clap_ostream_t stream = {&bytes, WriteAll};
    return m_state != nullptr && m_state->save(m_plugin, &stream);
}

bool CClapInstance::LoadState(const std::vector<std::uint8_t>& bytes, std::size_t piece) {
    CInStream source{bytes, piece > 0 ? piece : 1};
    const clap_istream_t stream = {&source, CInStream::Read};
    return m_state != nullptr && m_state->load(m_plugin, &stream);
}

clap_process_status CClapInstance::Process(std::uint32_t frames, const std::vector<const clap_event_header_t*>& events,
                                           const clap_event_transport_t* transport, std::vector<ClapMidiOut>& out) {
    CInEvents inList{events};
    COutEvents outList{out, otherEventsOut};
    const clap_input_events_t in = {&inList, CInEvents::Size, CInEvents::Get};
    const clap_output_events_t output = {&outList, COutEvents::TryPush};
    clap_process_t process{};
    process.steady_time = static_cast<std::int64_t>(m_steadyTime);
    process.frames_count = frames;
    process.transport = transport;
    process.in_events = &in;
    process.out_events = &output;
    m_steadyTime += frames;
    return m_plugin->process(m_plugin, &process);
}

clap_event_midi_t ClapMidiEvent(std::uint32_t frame, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    clap_event_midi_t event{};
    event.header = {sizeof(clap_event_midi_t), frame, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0};
    event.port_index = 0;
    event.data[0] = status;
    event.data[1] = data1;
    event.data[2] = data2;
    return event;
}

clap_event_transport_t ClapTransport(bool playing, double beats) {
    clap_event_transport_t transport{};
    transport.header = {sizeof(clap_event_transport_t), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
    transport.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE | CLAP_TRANSPORT_HAS_SECONDS_TIMELINE |
                      CLAP_TRANSPORT_HAS_TIME_SIGNATURE | (playing ? CLAP_TRANSPORT_IS_PLAYING : 0);
    transport.song_pos_beats = static_cast<clap_beattime>(beats * CLAP_BEATTIME_FACTOR);
    transport.song_pos_seconds = static_cast<clap_sectime>(beats / 2.0 * CLAP_SECTIME_FACTOR);
    transport.tempo = 120.0;
    transport.bar_start = static_cast<clap_beattime>(static_cast<std::int64_t>(beats / 4.0) * 4 * CLAP_BEATTIME_FACTOR);
    transport.bar_number = static_cast<std::int32_t>(beats / 4.0);
    transport.tsig_num = 4;
    transport.tsig_denom = 4;
    return transport;
}
