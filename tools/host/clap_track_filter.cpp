#include "tools/host/clap_track_filter.h"

#include "core/settings_bytes.h"
#include "tools/host/state_plugin_host.h"
#include "tools/host/clap_host.h"

namespace {

// Events a process call carries at most: DPF's plug-ins take 512 a cycle.
constexpr std::size_t kEventsPerCall = 512;
constexpr double kSampleRate = 48000.0;
constexpr double kFramesPerBeat = kSampleRate / 2.0;  // at 120 beats a minute

class CClapTrackFilter final : public CTrackFilter {
public:
    CClapTrackFilter(const CClapLibrary& library, const std::vector<std::uint8_t>& state)
        : m_instance(library, library.Descriptor().id) {
        if (!m_instance.LoadState(state)) throw InputError(library.Path() + ": the plug-in refused the settings");
        if (!m_instance.Activate(kSampleRate, kEventsPerCall) || !m_instance.StartProcessing())
            throw InputError(library.Path() + ": the plug-in did not start processing");
    }

    // The transport starts rolling with the next call (after a call that
    // stands, if it rolled already).
    void Start() override {
        if (m_playing) Call(nullptr, 0, 0);
        m_playing = true;
    }

    void PlayBlock(std::uint32_t, std::uint32_t, const std::vector<MidiEvent>& block, std::vector<Output>& outputs) override {
        std::size_t first = 0;
        do {
            const std::size_t count = std::min(kEventsPerCall, block.size() - first);
            Call(block.data() + first, count, count);
            for (const ClapMidiOut& out : m_out)
                if (out.frame < count)
                    outputs.push_back({static_cast<std::uint32_t>(first + out.frame),
                                       ChannelEvent(block[first + out.frame].tick, out.data, sizeof out.data)});
            first += count;
        } while (first < block.size());
    }

    void PlayLive(const MidiEvent& message, std::vector<MidiEvent>& outputs) override {
        Call(&message, 1, 1);
        for (const ClapMidiOut& out : m_out) outputs.push_back(ChannelEvent(message.tick, out.data, sizeof out.data));
    }

private:
    // One process call: the events at frames 0, 1, ... of a call of at
    // least one frame.
    void Call(const MidiEvent* events, std::size_t count, std::size_t frames) {
        m_events.clear();
        m_headers.clear();
        for (std::size_t i = 0; i < count; ++i)
            m_events.push_back(ClapMidiEvent(static_cast<std::uint32_t>(i), events[i].status, events[i].data1, events[i].data2));
        for (const clap_event_midi_t& event : m_events) m_headers.push_back(&event.header);
        const clap_event_transport_t transport =
            ClapTransport(m_playing, static_cast<double>(m_instance.SteadyTime()) / kFramesPerBeat);
        m_out.clear();
        m_instance.Process(static_cast<std::uint32_t>(frames > 0 ? frames : 1), m_headers, &transport, m_out);
    }

    CClapInstance m_instance;
    bool m_playing = false;
    std::vector<clap_event_midi_t> m_events;
    std::vector<const clap_event_header_t*> m_headers;
    std::vector<ClapMidiOut> m_out;
};

struct ClapFormat {
    using Library = CClapLibrary;
    using Instance = CClapInstance;
    using TrackFilter = CClapTrackFilter;
    static Instance MakeInstance(const Library& library) { return CClapInstance(library, library.Descriptor().id); }
};

}  // namespace

std::unique_ptr<CPluginHost> LoadClapPlugin(const std::string& path) {
    return std::make_unique<CStatePluginHost<ClapFormat>>(path);
}
