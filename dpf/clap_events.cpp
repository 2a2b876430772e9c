#include "dpf/clap_events.h"

#include "dpf/dpf_parameters.h"

const clap_input_events_t* CCheckedEvents::Check(const clap_input_events_t* source) {
    if (source == nullptr) return nullptr;
    m_source = source;
    m_count = 0;
    const std::uint32_t size = source->size(source);
    for (std::uint32_t i = 0; i < size && m_count < kCapacity; ++i)
        if (Readable(source->get(source, i))) m_index[m_count++] = i;
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
               reinterpret_cast<const clap_event_param_value_t*>(event)->param_id - kFirstSettingParameter < kParamsPerRow;
    default:
        return false;  // nothing DPF does anything with
    }
}

std::uint32_t CLAP_ABI CCheckedEvents::Size(const clap_input_events_t* list) {
    return static_cast<const CCheckedEvents*>(list->ctx)->m_count;
}

const clap_event_header_t* CLAP_ABI CCheckedEvents::Get(const clap_input_events_t* list, std::uint32_t index) {
    const auto* const self = static_cast<const CCheckedEvents*>(list->ctx);
    return index < self->m_count ? self->m_source->get(self->m_source, self->m_index[index]) : nullptr;
}
