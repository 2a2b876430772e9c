// Channel messages written in one neutral form, so that routing cases are
// written once and checked on every path that carries them.
#pragma once

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
