// Channel messages written in one neutral form, so that routing cases are
// written once and checked on every path that carries them.
#pragma once

#include <cstdint>
#include <ostream>

struct Msg {
    enum Kind { Cc, Pressure, Note } kind;
    int number;  // controller or note number; 0 for pressure
    int value;
    int channel;

    bool operator==(const Msg& other) const {
        return kind == other.kind && number == other.number && value == other.value && channel == other.channel;
    }
};

inline Msg CcMsg(int number, int value, int channel = 0) { return {Msg::Cc, number, value, channel}; }
inline Msg PressureMsg(int value, int channel = 0) { return {Msg::Pressure, 0, value, channel}; }
inline Msg NoteMsg(int key, int velocity, int channel = 0) { return {Msg::Note, key, velocity, channel}; }

inline std::ostream& operator<<(std::ostream& out, const Msg& msg) {
    static const char* const kinds[] = {"cc", "pressure", "note"};
    return out << kinds[msg.kind] << "(" << msg.number << ", " << msg.value << ", ch " << msg.channel << ")";
}

// A message as a plain MIDI message: status, then its data bytes (channel
// pressure: the amount, then 0).
struct MidiBytes {
    std::uint8_t status, data1, data2;
};

inline MidiBytes Encode(const Msg& msg) {
    const auto channel = static_cast<std::uint8_t>(msg.channel);
    const auto number = static_cast<std::uint8_t>(msg.number), value = static_cast<std::uint8_t>(msg.value);
    switch (msg.kind) {
    case Msg::Cc: return {static_cast<std::uint8_t>(0xB0 | channel), number, value};
    case Msg::Pressure: return {static_cast<std::uint8_t>(0xD0 | channel), value, 0};
    default: return {static_cast<std::uint8_t>(0x90 | channel), number, value};
    }
}

inline Msg Decode(const MidiBytes& bytes) {
    const int channel = bytes.status & 0x0F;
    switch (bytes.status & 0xF0) {
    case 0xB0: return CcMsg(bytes.data1, bytes.data2, channel);
    case 0xD0: return PressureMsg(bytes.data1, channel);
    default: return NoteMsg(bytes.data1, bytes.data2, channel);
    }
}
