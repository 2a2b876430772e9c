// The CLAP entry's check of a host's input events, with any list: events of
// any type, event space, size (each in a block of exactly the size its header
// gives) and port. Checks that every event it hands on can be read whole as its type's
// struct (the sanitizer sees a read past a block), is one of the host's, in
// the host's order, and names one of the settings when it is a parameter's.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "dpf/clap_events.h"
#include "dpf/dpf_parameters.h"
#include "fuzz/fuzz_input.h"

namespace {

// A broken promise: which one, then the fuzzer's crash.
void Check(bool condition, int line = __builtin_LINE()) {
    if (condition) return;
    std::fprintf(stderr, "check at line %d failed\n", line);
    std::abort();
}

struct CHostList {
    std::vector<const clap_event_header_t*> events;
    static std::uint32_t CLAP_ABI Size(const clap_input_events_t* list) {
        return static_cast<std::uint32_t>(static_cast<const CHostList*>(list->ctx)->events.size());
    }
    static const clap_event_header_t* CLAP_ABI Get(const clap_input_events_t* list, std::uint32_t index) {
        const auto& events = static_cast<const CHostList*>(list->ctx)->events;
        return index < events.size() ? events[index] : nullptr;
    }
};

std::size_t SizeOf(std::uint16_t type) {
    switch (type) {
    case CLAP_EVENT_NOTE_ON:
    case CLAP_EVENT_NOTE_OFF: return sizeof(clap_event_note_t);
    case CLAP_EVENT_MIDI: return sizeof(clap_event_midi_t);
    case CLAP_EVENT_PARAM_VALUE: return sizeof(clap_event_param_value_t);
    default: return 0;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput reader(data, size);
    std::vector<std::unique_ptr<std::uint8_t[]>> blocks;
    CHostList host;
    while (!reader.Empty() && host.events.size() < 3000) {
        // Mostly the types DPF reads, at their sizes or near them.
        const std::uint8_t pick = reader.Byte();
        const std::uint16_t type = pick < 200 ? static_cast<std::uint16_t>(pick % 12) : reader.Take<std::uint16_t>();
        const std::size_t typical = SizeOf(type) != 0 ? SizeOf(type) : sizeof(clap_event_header_t);
        const std::uint8_t shape = reader.Byte();
        std::size_t bytes = shape < 160 ? typical : shape < 220 ? typical - shape % 8 : reader.Take<std::uint16_t>() % 256;
        bytes = bytes < sizeof(clap_event_header_t) ? sizeof(clap_event_header_t) : bytes;
        blocks.emplace_back(new std::uint8_t[bytes]);
        std::uint8_t* const block = blocks.back().get();
        for (std::size_t i = 0; i < bytes; ++i) block[i] = reader.Byte();
        clap_event_header_t header;
        std::memcpy(&header, block, sizeof header);
        // Its size says how large its block is (nothing can tell a size that
        // lies); its space and type are any or the core's.
        header.size = static_cast<std::uint32_t>(bytes);
        const std::uint8_t fields = reader.Byte();
        if (fields & 2) header.space_id = CLAP_CORE_EVENT_SPACE_ID;
        if (fields & 4) header.type = type;
        std::memcpy(block, &header, sizeof header);
        host.events.push_back(reinterpret_cast<const clap_event_header_t*>(block));
    }

    const clap_input_events_t source = {&host, CHostList::Size, CHostList::Get};
    CCheckedEvents checker;
    const clap_input_events_t* const checked = checker.Check(&source);
    std::size_t next = 0;  // in the host's list
    std::uint8_t copy[sizeof(clap_event_param_value_t)];
    for (std::uint32_t i = 0; i < checked->size(checked); ++i) {
        const clap_event_header_t* const event = checked->get(checked, i);
        Check(event != nullptr && event->space_id == CLAP_CORE_EVENT_SPACE_ID && SizeOf(event->type) != 0);
        std::memcpy(copy, event, SizeOf(event->type));  // the whole struct, as DPF reads it
        while (next < host.events.size() && host.events[next] != event) ++next;
        Check(next < host.events.size());  // one of the host's, in order
        ++next;
        if (event->type == CLAP_EVENT_PARAM_VALUE) {
            clap_event_param_value_t change;
            std::memcpy(&change, event, sizeof change);
            Check(change.param_id >= kFirstSettingParameter && change.param_id < kDpfParameterCount);
        }
    }
    Check(checked->get(checked, checked->size(checked)) == nullptr);
    return 0;
}
