// Plain MIDI messages no well-formed stream holds, and what a new filter with
// the default settings (master controller 1, modifier channel pressure, Add
// 85% between 0 and 96) sends for them, played in this order on one filter.
// Every face that reads plain MIDI gives the core's Route's answer: a data
// byte of 128 or more is taken as it stands, so a controller number beyond
// 127 watches nothing and a value beyond 127 goes through the rule, which
// sends a MIDI value. Read by the routing cases (the core's door and the
// Windows module's two loops), the LV2 plug-in's, the CLAP edition's and the
// page's live tests (which parse these rows: keep one row a line); data only.
#pragma once

#include <cstdint>
#include <vector>

struct MalformedMessage {
    const char* what;
    std::vector<std::uint8_t> in;
    std::vector<std::uint8_t> out;  // empty: nothing leaves
    // Shorter than its status says: only a face that carries a message's
    // length can be handed it. LV2 passes it as it came; the page drops it
    // as incomplete, since a Web MIDI output refuses it.
    bool cutShort;
};

inline const std::vector<MalformedMessage> kMalformedMessages = {
    {"master value 200, modifier 0: 200 clamped", {0xB0, 1, 200}, {0xB0, 1, 127}, false},
    {"master 127 repeats what 200 sent", {0xB0, 1, 127}, {}, false},
    {"master 64", {0xB0, 1, 64}, {0xB0, 1, 64}, false},
    {"modifier 200 acts in full", {0xD0, 200}, {0xB0, 1, 118}, false},
    {"modifier 127 repeats what 200 sent", {0xD0, 127}, {}, false},
    {"a status byte as the master's value: 144", {0xB5, 1, 0x90}, {0xB5, 1, 127}, false},
    {"master 10 with modifier 127", {0xB0, 1, 10}, {0xB0, 1, 110}, false},
    {"modifier 128 acts in full: a repeat", {0xD0, 0x80}, {}, false},
    {"modifier 0", {0xD0, 0}, {0xB0, 1, 10}, false},
    {"controller 129 is not controller 1", {0xB0, 0x81, 5}, {0xB0, 0x81, 5}, false},
    {"controller 128 with value 200", {0xB0, 0x80, 200}, {0xB0, 0x80, 200}, false},
    {"an unwatched controller's value 200", {0xB0, 7, 200}, {0xB0, 7, 200}, false},
    {"a note's data bytes beyond 127", {0x90, 0xBC, 0xC8}, {0x90, 0xBC, 0xC8}, false},
    {"a master move cut short", {0xB0, 1}, {0xB0, 1}, true},
    {"pressure without its amount", {0xD0}, {0xD0}, true},
    {"a control change without data", {0xB3}, {0xB3}, true},
};
