// Plays a short built-in sequence through the filter engine with its default
// settings and prints every event that went in and what came out: a master
// expression line (controller 1) shaped by a channel-pressure swell.
#include <cstdio>
#include <vector>

#include "engine/filter_engine.h"

namespace {

// The simplest host queue: a vector that serves and collects records.
class CVectorEventQueue final : public IMfxEventQueue {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Add(const MfxEvent* event) override {
        m_events.push_back(*event);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) override {
        *count = static_cast<LONG>(m_events.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAt(LONG index, MfxEvent* event) override {
        if (index < 0 || static_cast<size_t>(index) >= m_events.size()) return E_FAIL;
        *event = m_events[static_cast<size_t>(index)];
        return S_OK;
    }
    std::vector<MfxEvent> m_events;
};

MfxEvent MakeEvent(LONG time, LONG type, BYTE data1, BYTE data2) {
    MfxEvent event{};
    event.m_time = time;
    event.m_channel = 0;
    event.m_type = type;
    event.m_data1 = data1;
    event.m_data2 = data2;
    return event;
}

const char* Describe(const MfxEvent& event, char* text, size_t size) {
    switch (event.m_type) {
    case MfxControllerEvent:
        std::snprintf(text, size, "controller %3d = %3d", event.m_data1, event.m_data2);
        break;
    case MfxChannelPressureEvent:
        std::snprintf(text, size, "pressure       = %3d", event.m_data2);
        break;
    case 1:
        std::snprintf(text, size, "note %3d vel %3d", event.m_data1, event.m_data2);
        break;
    default:
        std::snprintf(text, size, "event type %ld", static_cast<long>(event.m_type));
        break;
    }
    return text;
}

}  // namespace

int main() {
    CFilterEngine engine;
    std::printf("Settings: master CC %d, modifier %s, amount %d%%, low %d, high %d, mode Add\n\n",
                engine.GetParam(SettingRow, MasterCc), "channel pressure", engine.GetParam(SettingRow, EffectAmount),
                engine.GetParam(SettingRow, LowIn), engine.GetParam(SettingRow, HighIn));

    // One bar at 480 ticks a beat: a held note, the master line rising, the
    // player leaning into the key and letting go.
    CVectorEventQueue input, output;
    input.m_events = {
        MakeEvent(0, 1, 60, 100),
        MakeEvent(0, MfxControllerEvent, 1, 64),
        MakeEvent(120, MfxChannelPressureEvent, 0, 24),
        MakeEvent(240, MfxChannelPressureEvent, 0, 48),
        MakeEvent(360, MfxChannelPressureEvent, 0, 96),
        MakeEvent(480, MfxChannelPressureEvent, 0, 127),
        MakeEvent(600, MfxControllerEvent, 1, 80),
        MakeEvent(720, MfxControllerEvent, 7, 100),
        MakeEvent(840, MfxChannelPressureEvent, 0, 0),
        MakeEvent(960, MfxControllerEvent, 1, 80),
    };
    engine.ResetLastSent();
    engine.OnEvents(&input, &output);

    char text[64];
    std::printf("In (%zu events):\n", input.m_events.size());
    for (const MfxEvent& event : input.m_events)
        std::printf("  %5ld  %s\n", static_cast<long>(event.m_time), Describe(event, text, sizeof text));
    std::printf("\nOut (%zu events):\n", output.m_events.size());
    for (const MfxEvent& event : output.m_events)
        std::printf("  %5ld  %s\n", static_cast<long>(event.m_time), Describe(event, text, sizeof text));
    return 0;
}
