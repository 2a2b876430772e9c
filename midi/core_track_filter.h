// A filter for playback that is the core itself: each block goes through the
// sequenced path and each live message through the live path, as plain MIDI
// messages, with no host interface between. The browser's page plays files
// through this; it sends what the COM module and the LV2 plug-in send.
#pragma once

#include <vector>

#include "core/filter_core.h"
#include "core/settings_bytes.h"
#include "midi/playback.h"

class CCoreTrackFilter final : public CTrackFilter {
public:
    // A new filter holding these cells.
    explicit CCoreTrackFilter(const SettingsCells& cells);

    void Start() override;
    void PlayBlock(std::uint32_t fromTick, std::uint32_t thruTick, const std::vector<MidiEvent>& block,
                   std::vector<Output>& outputs) override;
    void PlayLive(const MidiEvent& message, std::vector<MidiEvent>& outputs) override;

private:
    CFilterCore m_core;
};
