#include "dpf/clap_events.h"

#include "dpf/dpf_parameters.h"

const clap_input_events_t* CCheckedEvents::Check(const clap_input_events_t* source) {
    if (source == nullptr) return nullptr;
    // An event the host hands over stays valid for the whole call: each is
    // fetched once.
    m_count = 0;
    const std::uint32_t size = source->size(source);
    for (std::uint32_t i = 0; i < size && m_count < kCapacity; ++i) {
        const clap_event_header_t* const event = source->get(source, i);
        if (Readable(event)) m_events[m_count++] = event;
    }
    return &m_face;
}

bool CCheckedEvents::Readable(const clap_event_header_t* event) {
    if (event == nullptr || event->space_id != CLAP_CORE_EVENT_SPACE_ID) return false;
    switch (event->type) {
    case CLAP_EVENT_NOTE_ON:
    case CLAP_EVENT_NOTE_OFF:
        return event->size == sizeof(clap_event_note_t) && reinterpret_cast<const clap_event_note_t*>(event)->port_index == 0;
    case CLAP_EVENT_MIDI:
        return event->size == sizeof(clap_event_midi_t) && reinterpret_cast<const clap_event_midi_t*>(event)->port_index == 0;
    case CLAP_EVENT_PARAM_VALUE:
        return event->size == sizeof(clap_event_param_value_t) &&
               SettingOfParameter(reinterpret_cast<const clap_event_param_value_t*>(event)->param_id) < kParamsPerRow;
    default:
        return false;  // nothing DPF does anything with
    }
}

std::uint32_t CLAP_ABI CCheckedEvents::Size(const clap_input_events_t* list) {
    return static_cast<const CCheckedEvents*>(list->ctx)->m_count;
}

const clap_event_header_t* CLAP_ABI CCheckedEvents::Get(const clap_input_events_t* list, std::uint32_t index) {
    const auto* const self = static_cast<const CCheckedEvents*>(list->ctx);
    return index < self->m_count ? self->m_events[index] : nullptr;
}
