// The VST3 edition through the project's VST3 host.
#include <cmath>

#include "tests/plugins/edition.h"
#include "tools/host/vst3_host.h"

namespace {

class CVst3Edition final : public CEdition {
public:
    explicit CVst3Edition(const std::string& path) : m_library(path) {}

    std::string Name() const override { return m_library.ClassInfo().name; }
    std::string Vendor() const override { return m_library.ClassInfo().vendor; }
    std::string Version() const override { return m_library.ClassInfo().version; }
    std::string Id() const override { return m_library.ClassInfo().category; }
    std::vector<std::string> Features() const override {
        std::vector<std::string> features;
        std::string all = m_library.ClassInfo().sub_categories;
        for (std::size_t start = 0; start <= all.size();) {
            const std::size_t bar = all.find('|', start);
            features.push_back(all.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
            if (bar == std::string::npos) break;
            start = bar + 1;
        }
        return features;
    }

    void Make() override {
        m_instance.reset();
        m_instance = std::make_unique<CVst3Instance>(m_library);
        m_instance->Setup(kSampleRate, kMaxFrames);
        m_instance->SetActive(true);
        m_instance->SetProcessing(true);
    }
    void Destroy() override { m_instance.reset(); }

    std::uint32_t MidiPorts(bool input) const override {
        v3_component** const component = m_instance->Component();
        return static_cast<std::uint32_t>(v3_cpp_obj(component)->get_bus_count(component, V3_EVENT, input ? V3_INPUT : V3_OUTPUT));
    }

    SettingParameter Parameter(std::uint32_t setting) const override {
        v3_param_info info{};
        Controller()->get_parameter_info(m_instance->Controller(), static_cast<int32_t>(Id(setting)), &info);
        return {Vst3Text(info.title, 128), Plain(setting, 0.0), Plain(setting, 1.0), Plain(setting, info.default_normalised_value),
                (info.flags & V3_PARAM_CAN_AUTOMATE) != 0, info.step_count > 0};
    }
    std::optional<std::string> Text(std::uint32_t setting, double value) const override {
        v3_str_128 text{};
        if (Controller()->get_parameter_string_for_value(m_instance->Controller(), Id(setting), Normalised(setting, value), text) != V3_OK)
            return std::nullopt;
        return Vst3Text(text, 128);
    }
    std::optional<double> Value(std::uint32_t setting, const std::string& text) const override {
        v3_str_128 wide{};
        for (std::size_t i = 0; i < text.size() && i < 127; ++i) wide[i] = static_cast<int16_t>(text[i]);
        double normalised = 0.0;
        if (Controller()->get_parameter_value_for_string(m_instance->Controller(), Id(setting), wide, &normalised) != V3_OK)
            return std::nullopt;
        return Plain(setting, normalised);
    }
    double Get(std::uint32_t setting) const override {
        return Plain(setting, Controller()->get_parameter_normalised(m_instance->Controller(), Id(setting)));
    }

    void Change(std::uint32_t setting, std::uint32_t frame, double value) override {
        m_input.points.push_back({Id(setting), static_cast<std::int32_t>(frame), Normalised(setting, value)});
    }

    bool SaveState(std::vector<std::uint8_t>& bytes) override { return m_instance->SaveState(bytes); }
    bool LoadState(const std::vector<std::uint8_t>& bytes, std::size_t piece) override {
        return m_instance->LoadState(bytes, piece);
    }

    void Reset() override {
        m_instance->SetProcessing(false);
        m_instance->SetProcessing(true);
    }
    void Reactivate() override {
        m_instance->SetActive(false);
        m_instance->SetActive(true);
        m_instance->SetProcessing(true);
    }

    std::vector<TimedMessage> Process(std::uint32_t frames, const std::vector<TimedMessage>& in,
                                      std::optional<Transport> transport) override {
        for (const TimedMessage& message : in)
            m_instance->AddMidi(m_input, static_cast<std::int32_t>(message.frame), message.bytes.data(),
                                static_cast<std::uint32_t>(message.bytes.size()));
        v3_process_context context{};
        if (transport)
            context = Vst3Transport(transport->playing, std::llround(transport->beats * kSampleRate / 2.0), kSampleRate);
        std::vector<Vst3MidiOut> out;
        m_instance->Process(static_cast<std::int32_t>(frames), m_input, transport ? &context : nullptr, out);
        m_input = {};
        std::vector<TimedMessage> sent;
        for (const Vst3MidiOut& message : out)
            sent.push_back({static_cast<std::uint32_t>(message.frame), std::vector<std::uint8_t>(message.data, message.data + message.size)});
        return sent;
    }

    CVst3Instance& Instance() { return *m_instance; }

private:
    v3_edit_controller* Controller() const { return v3_cpp_obj(m_instance->Controller()); }
    // The six settings are the plug-in's last parameters.
    v3_param_id Id(std::uint32_t setting) const {
        return static_cast<v3_param_id>(Controller()->get_parameter_count(m_instance->Controller()) - 6) + setting;
    }
    double Plain(std::uint32_t setting, double normalised) const {
        return Controller()->normalised_parameter_to_plain(m_instance->Controller(), Id(setting), normalised);
    }
    double Normalised(std::uint32_t setting, double plain) const {
        return Controller()->plain_parameter_to_normalised(m_instance->Controller(), Id(setting), plain);
    }

    CVst3Library m_library;
    std::unique_ptr<CVst3Instance> m_instance;
    Vst3Input m_input;
};

}  // namespace

std::unique_ptr<CEdition> OpenVst3Edition(const std::string& path) { return std::make_unique<CVst3Edition>(path); }
