// The CLAP edition through the project's CLAP host.
#include <cstring>

#include "tests/plugins/edition.h"
#include "tools/host/clap_host.h"

namespace {

class CClapEdition final : public CEdition {
public:
    explicit CClapEdition(const std::string& path) : m_library(path) {}

    std::string Name() const override { return Descriptor().name; }
    std::string Vendor() const override { return Descriptor().vendor; }
    std::string Version() const override { return Descriptor().version; }
    std::string Id() const override { return Descriptor().id; }
    std::vector<std::string> Features() const override {
        std::vector<std::string> features;
        for (const char* const* feature = Descriptor().features; feature != nullptr && *feature != nullptr; ++feature)
            features.emplace_back(*feature);
        return features;
    }

    void Make() override {
        m_instance.reset();
        m_instance = std::make_unique<CClapInstance>(m_library, Descriptor().id);
        m_instance->Activate(kSampleRate, kMaxFrames);
        m_instance->StartProcessing();
    }
    void Destroy() override { m_instance.reset(); }

    std::uint32_t MidiPorts(bool input) const override {
        const clap_plugin_note_ports_t* const ports = m_instance->NotePorts();
        if (ports == nullptr) return 0;
        std::uint32_t midi = 0;
        for (std::uint32_t i = 0; i < ports->count(&m_instance->Plugin(), input); ++i) {
            clap_note_port_info_t info{};
            if (ports->get(&m_instance->Plugin(), i, input, &info) && (info.supported_dialects & CLAP_NOTE_DIALECT_MIDI) != 0)
                ++midi;
        }
        return midi;
    }

    SettingParameter Parameter(std::uint32_t setting) const override {
        const clap_param_info_t info = Info(setting);
        return {info.name, info.min_value, info.max_value, info.default_value,
                (info.flags & CLAP_PARAM_IS_AUTOMATABLE) != 0, (info.flags & CLAP_PARAM_IS_STEPPED) != 0};
    }
    std::optional<std::string> Text(std::uint32_t setting, double value) const override {
        char text[64];
        if (!m_instance->Params()->value_to_text(&m_instance->Plugin(), Info(setting).id, value, text, sizeof text))
            return std::nullopt;
        return std::string(text);
    }
    std::optional<double> Value(std::uint32_t setting, const std::string& text) const override {
        double value = 0.0;
        if (!m_instance->Params()->text_to_value(&m_instance->Plugin(), Info(setting).id, text.c_str(), &value))
            return std::nullopt;
        return value;
    }
    double Get(std::uint32_t setting) const override {
        double value = -1.0;
        m_instance->Params()->get_value(&m_instance->Plugin(), Info(setting).id, &value);
        return value;
    }

    void Change(std::uint32_t setting, std::uint32_t frame, double value) override {
        clap_event_param_value_t change{};
        change.header = {sizeof change, frame, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
        change.param_id = Info(setting).id;
        change.note_id = -1;
        change.port_index = -1;
        change.channel = -1;
        change.key = -1;
        change.value = value;
        m_changes.push_back(change);
    }

    bool SaveState(std::vector<std::uint8_t>& bytes) override { return m_instance->SaveState(bytes); }
    bool LoadState(const std::vector<std::uint8_t>& bytes, std::size_t piece) override {
        return m_instance->LoadState(bytes, piece);
    }

    void Reset() override { m_instance->Reset(); }
    void Reactivate() override {
        m_instance->Deactivate();
        m_instance->Activate(kSampleRate, kMaxFrames);
        m_instance->StartProcessing();
    }

    std::vector<TimedMessage> Process(std::uint32_t frames, const std::vector<TimedMessage>& in,
                                      std::optional<Transport> transport) override {
        std::vector<clap_event_midi_t> midi;
        midi.reserve(in.size());
        for (const TimedMessage& message : in) {
            std::uint8_t bytes[3] = {};
            std::memcpy(bytes, message.bytes.data(), std::min<std::size_t>(3, message.bytes.size()));
            midi.push_back(ClapMidiEvent(message.frame, bytes[0], bytes[1], bytes[2]));
        }
        // The host's list is sorted by time: changes go before messages at their frame.
        std::vector<const clap_event_header_t*> events;
        std::size_t next = 0;
        for (const clap_event_midi_t& event : midi) {
            for (; next < m_changes.size() && m_changes[next].header.time <= event.header.time; ++next)
                events.push_back(&m_changes[next].header);
            events.push_back(&event.header);
        }
        for (; next < m_changes.size(); ++next) events.push_back(&m_changes[next].header);
        const clap_event_transport_t clapTransport = transport ? ClapTransport(transport->playing, transport->beats)
                                                               : clap_event_transport_t{};
        std::vector<ClapMidiOut> out;
        m_instance->Process(frames, events, transport ? &clapTransport : nullptr, out);
        m_changes.clear();
        std::vector<TimedMessage> sent;
        for (const ClapMidiOut& message : out) {
            const std::size_t size = (message.data[0] & 0xF0) == 0xC0 || (message.data[0] & 0xF0) == 0xD0 ? 2 : 3;
            sent.push_back({message.frame, std::vector<std::uint8_t>(message.data, message.data + size)});
        }
        return sent;
    }

    CClapInstance& Instance() { return *m_instance; }

private:
    const clap_plugin_descriptor_t& Descriptor() const { return m_library.Descriptor(); }
    // The settings are the parameters the plug-in lists, in table order.
    clap_param_info_t Info(std::uint32_t setting) const {
        clap_param_info_t info{};
        info.id = CLAP_INVALID_ID;
        m_instance->Params()->get_info(&m_instance->Plugin(), setting, &info);
        return info;
    }

    CClapLibrary m_library;
    std::unique_ptr<CClapInstance> m_instance;
    std::vector<clap_event_param_value_t> m_changes;
};

}  // namespace

std::unique_ptr<CEdition> OpenClapEdition(const std::string& path) { return std::make_unique<CClapEdition>(path); }
