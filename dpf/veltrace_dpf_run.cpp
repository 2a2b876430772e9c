// The plug-in's cycle, on the host's real-time thread: a file of its own so
// that what it calls can be checked (no allocation, no lock).
#include "core/routing.h"
#include "dpf/veltrace_dpf_plugin.h"

void CVeltraceDpfPlugin::FollowTransport() {
    const DISTRHO::TimePosition& position = getTimePosition();
    Place now;
    now.rolling = position.playing;
    now.frame = position.frame;
    now.barsKnown = position.bbt.valid;
    now.bar = position.bbt.bar;
    now.beat = position.bbt.beat;
    now.tick = position.bbt.tick;

    if (now.rolling && !m_last.rolling) {
        m_core.ResetLastSent();  // start
    } else if (now.rolling && m_last.rolling) {
        // A loop puts the transport before where the last cycle started.
        // Positions that stay put (a host that does not move them) are
        // none; hosts whose frames never go back (a steady clock) show the
        // loop in bars and beats.
        const bool framesBack = now.frame < m_last.frame;
        const bool barsBack = now.barsKnown && m_last.barsKnown &&
                              (now.bar != m_last.bar     ? now.bar < m_last.bar
                               : now.beat != m_last.beat ? now.beat < m_last.beat
                                                         : now.tick < m_last.tick);
        if (framesBack || barsBack) m_core.ResetLastSent();  // loop
    }
    m_last = now;
}

void CVeltraceDpfPlugin::run(const float**, float**, uint32_t frames, const DISTRHO::MidiEvent* events,
                             uint32_t eventCount) {
    FollowTransport();
    const uint32_t lastFrame = frames > 0 ? frames - 1 : 0;
    m_core.Play<FilterPath::Sequenced>(m_results, [&](auto& router) {
        uint32_t floor = 0;
        for (uint32_t i = 0; i < eventCount; ++i) {
            DISTRHO::MidiEvent event = events[i];
            // Each event leaves within the cycle and never before the one
            // left last, whatever frames the host wrote.
            event.frame = event.frame < floor ? floor : event.frame > lastFrame ? lastFrame : event.frame;
            floor = event.frame;
            // A whole channel message goes through the filter and leaves at
            // its own size (some formats hand every message over in three
            // bytes); anything else (system messages, a message cut short)
            // passes as it came, but for an empty one.
            const uint32_t size = ChannelMessageSize(event.data[0]);
            if (size != 0 && event.size >= size && event.size <= DISTRHO::MidiEvent::kDataSize) {
                if (!router.Route(event.data[0], event.data[1], event.data[2])) continue;
                event.size = ChannelMessageSize(event.data[0]);
            } else if (event.size == 0) {
                continue;
            }
            writeMidiEvent(event);
        }
    });
}
