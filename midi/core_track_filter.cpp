#include "midi/core_track_filter.h"

CCoreTrackFilter::CCoreTrackFilter(const SettingsCells& cells) { m_core.SetCells(cells); }

void CCoreTrackFilter::Start() { m_core.ResetLastSent(); }

void CCoreTrackFilter::PlayBlock(std::uint32_t, std::uint32_t, const std::vector<MidiEvent>& block,
                                 std::vector<Output>& outputs) {
    if (block.empty()) return;  // as a host's empty block: no settings read
    m_core.Play<FilterPath::Sequenced>([&](auto& router) {
        for (std::uint32_t index = 0; index < block.size(); ++index) {
            MidiEvent event = block[index];
            if (router.Route(event.status, event.data1, event.data2)) outputs.push_back({index, std::move(event)});
        }
    });
}

void CCoreTrackFilter::PlayLive(const MidiEvent& message, std::vector<MidiEvent>& outputs) {
    m_core.Play<FilterPath::Live>([&](auto& router) {
        MidiEvent event = message;
        if (router.Route(event.status, event.data1, event.data2)) outputs.push_back(std::move(event));
    });
}
