#include "tools/host/vst3_track_filter.h"

#include <algorithm>

#include "core/routing.h"
#include "core/settings_bytes.h"
#include "tools/host/state_plugin_host.h"
#include "tools/host/vst3_host.h"

namespace {

// Events a process call carries at most: DPF's plug-ins take 512 a cycle.
constexpr std::size_t kEventsPerCall = 512;
constexpr double kSampleRate = 48000.0;

class CVst3TrackFilter final : public CTrackFilter {
public:
    CVst3TrackFilter(const CVst3Library& library, const std::vector<std::uint8_t>& state) : m_instance(library) {
        if (!m_instance.LoadState(state)) throw InputError(library.Path() + ": the plug-in refused the settings");
        if (!m_instance.Setup(kSampleRate, kEventsPerCall) || !m_instance.SetActive(true) || !m_instance.SetProcessing(true))
            throw InputError(library.Path() + ": the plug-in did not start processing");
    }

    // The transport starts rolling with the next call (after a call that
    // stands, if it rolled already).
    void Start() override {
        if (m_playing) Call(nullptr, 0);
        m_playing = true;
    }

    void PlayBlock(std::uint32_t, std::uint32_t, const std::vector<MidiEvent>& block, std::vector<Output>& outputs) override {
        std::size_t first = 0;
        do {
            const std::size_t count = std::min(kEventsPerCall, block.size() - first);
            Call(block.data() + first, count);
            for (const auto& [index, bytes] : m_sent)
                outputs.push_back({static_cast<std::uint32_t>(first + index),
                                   ChannelEvent(block[first + index].tick, bytes.data(), bytes.size())});
            first += count;
        } while (first < block.size());
    }

    void PlayLive(const MidiEvent& message, std::vector<MidiEvent>& outputs) override {
        Call(&message, 1);
        for (const auto& sent : m_sent) outputs.push_back(ChannelEvent(message.tick, sent.second.data(), sent.second.size()));
    }

private:
    // One process call with the events at frames 0, 1, ...; what came out,
    // and what VST3 could not carry, in m_sent by the index of its input.
    void Call(const MidiEvent* events, std::size_t count) {
        m_input.events.clear();
        m_input.points.clear();
        m_sent.clear();
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t bytes[3] = {events[i].status, events[i].data1, events[i].data2};
            if (!m_instance.AddMidi(m_input, static_cast<std::int32_t>(i), bytes, ChannelMessageSize(bytes[0])))
                m_sent.push_back({i, {bytes[0], bytes[1], bytes[2]}});
        }
        const auto frames = static_cast<std::int32_t>(count > 0 ? count : 1);
        v3_process_context transport = Vst3Transport(m_playing, m_frame, kSampleRate);
        m_out.clear();
        m_instance.Process(frames, m_input, &transport, m_out);
        m_frame += frames;
        for (const Vst3MidiOut& out : m_out)
            if (out.frame >= 0 && static_cast<std::size_t>(out.frame) < count)
                m_sent.push_back({static_cast<std::size_t>(out.frame), {out.data[0], out.data[1], out.data[2]}});
        std::stable_sort(m_sent.begin(), m_sent.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    }

    CVst3Instance m_instance;
    bool m_playing = false;
    std::int64_t m_frame = 0;
    Vst3Input m_input;
    std::vector<Vst3MidiOut> m_out;
    std::vector<std::pair<std::size_t, std::array<std::uint8_t, 3>>> m_sent;
};

struct Vst3Format {
    using Library = CVst3Library;
    using Instance = CVst3Instance;
    using TrackFilter = CVst3TrackFilter;
    static Instance MakeInstance(const Library& library) { return CVst3Instance(library); }
};

}  // namespace

std::unique_ptr<CPluginHost> LoadVst3Plugin(const std::string& path) {
    return std::make_unique<CStatePluginHost<Vst3Format>>(path);
}
