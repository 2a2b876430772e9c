// The events of a CLAP host's input list that DPF's CLAP wrapper can read
// whole, in their order: what is in another event space, of a type DPF does
// nothing with, of a size other than its type's, for a port other than the
// one note port, or for a parameter that is not one of the settings, is
// skipped, read no further than its header. A file of its own: it runs on the host's
// real-time thread, so what it calls is checked (no allocation, no lock).
#pragma once

#include <cstdint>

#include "clap/events.h"

// One per plug-in: process and a parameter flush never run at once.
class CCheckedEvents {
public:
    // DPF takes at most 512 MIDI events a cycle; this leaves room for as
    // many parameter changes beside them. Any beyond are skipped.
    static constexpr std::uint32_t kCapacity = 2048;

    // [audio thread, or main thread while inactive] The list to hand DPF in
    // place of `source` (null stays null); it holds until the next Check.
    const clap_input_events_t* Check(const clap_input_events_t* source);

private:
    static bool Readable(const clap_event_header_t* event);
    static std::uint32_t CLAP_ABI Size(const clap_input_events_t* list);
    static const clap_event_header_t* CLAP_ABI Get(const clap_input_events_t* list, std::uint32_t index);

    clap_input_events_t m_face = {this, Size, Get};
    std::uint32_t m_count = 0;
    const clap_event_header_t* m_events[kCapacity];
};
