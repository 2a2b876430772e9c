// The LV2 plug-in through any sequence of cycles: any control values, MIDI
// events of any size and bytes, transport positions well-formed or not, other
// atoms, any output capacity. Checks that nothing is read or written out of
// bounds, that the output stays within its capacity and its cycle, in order of frames, no
// longer than the input's MIDI, and that every event that comes out is an
// input event unchanged or a master message carrying MIDI data bytes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "tests/lv2/lv2_host.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool IsMasterMessage(const std::vector<uint8_t>& bytes) {
    if (bytes.size() == 3) return (bytes[0] & 0xF0) == 0xB0 && bytes[1] < 0x80 && bytes[2] < 0x80;
    return bytes.size() == 2 && (bytes[0] & 0xF0) == 0xD0 && bytes[1] < 0x80;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput reader(data, size);
    CLv2TestHost host;
    Check(host.Instantiated());
    for (int cycle = 0; cycle < 16 && !reader.Empty(); ++cycle) {
        for (uint32_t i = 0; i < kSettingPorts; ++i)
            if (reader.Byte() & 1) host.Control(static_cast<SettingIndex>(i)) = reader.Take<float>();

        std::vector<TimedBytes> inputs;
        bool phantoms = false;  // a damaged size may make later bytes read as events no one wrote
        const int events = reader.Byte() % 48;
        std::int64_t frame = 0;
        for (int e = 0; e < events; ++e) {
            frame += reader.Byte() % 4;
            const uint8_t kind = reader.Byte() % 8;
            if (kind < 5) {  // MIDI of 0 to 7 bytes, mostly well-formed voice messages
                std::vector<uint8_t> bytes(kind < 3 ? 1 + (reader.Byte() & 1) + (kind != 0) : reader.Byte() % 8);
                for (uint8_t& byte : bytes) byte = reader.Byte();
                if (kind < 3 && !bytes.empty()) bytes[0] |= 0x80;
                host.Midi(frame, bytes);
                inputs.push_back({frame, bytes});
            } else if (kind == 5) {  // a position in any of the forms hosts send, as an Object or a Blank
                const char* const keys[] = {LV2_TIME__frame, LV2_TIME__speed, LV2_TIME__bar, LV2_TIME__barBeat,
                                            LV2_TIME__beat, LV2_TIME__beatsPerMinute, LV2_TIME__beatsPerBar};
                const char* const types[] = {LV2_ATOM__Long, LV2_ATOM__Float, LV2_ATOM__Int, LV2_ATOM__Double};
                std::vector<CLv2TestHost::Property> properties;
                const uint8_t which = reader.Byte();
                for (int key = 0; key < 7; ++key)
                    if (which >> key & 1)
                        properties.push_back({keys[key], types[reader.Byte() % 4], reader.Take<int16_t>() / 4.0});
                host.Position(frame, properties, reader.Byte() & 1 ? LV2_ATOM__Blank : LV2_ATOM__Object);
            } else if (kind == 6) {  // a position whose property claims any size, cut anywhere
                const uint32_t tail = reader.Byte() % 24;
                auto* body = static_cast<uint8_t*>(
                    host.Append(frame, host.Id(LV2_ATOM__Object), sizeof(LV2_Atom_Object_Body) + sizeof(LV2_Atom_Property_Body) + tail));
                const uint8_t which = reader.Byte();
                const LV2_Atom_Object_Body object{0, host.Id(LV2_TIME__Position)};
                const char* const types[] = {LV2_ATOM__Long, LV2_ATOM__Float, LV2_ATOM__Int, LV2_ATOM__Double};
                const LV2_Atom_Property_Body property{host.Id(which & 1 ? LV2_TIME__frame : LV2_TIME__speed), 0,
                                                     {static_cast<uint32_t>(reader.Byte() % 32), host.Id(types[which >> 1 & 3])}};
                std::memcpy(body, &object, sizeof object);
                std::memcpy(body + sizeof object, &property, sizeof property);
                for (uint32_t i = 0; i < tail; ++i) body[sizeof object + sizeof property + i] = reader.Byte();
            } else {  // any event claiming any size, as a damaged sequence may: MIDI, a position or not MIDI
                const char* const types[] = {LV2_ATOM__Int, LV2_MIDI__MidiEvent, LV2_ATOM__Object};
                const uint8_t which = reader.Byte() % 3;
                auto* const body = static_cast<uint32_t*>(host.Append(frame, host.Id(types[which]), 16));
                body[0] = 0xB0, body[1] = 0, body[2] = 0, body[3] = 0;
                if (which == 2) body[1] = host.Id(LV2_TIME__Position);
                if (reader.Byte() & 1) {
                    (reinterpret_cast<LV2_Atom_Event*>(body) - 1)->body.size = reader.Take<uint32_t>();
                    phantoms = true;
                } else if (which == 1) {
                    inputs.push_back({frame, std::vector<uint8_t>(reinterpret_cast<uint8_t*>(body), reinterpret_cast<uint8_t*>(body) + 16)});
                }
            }
        }
        if (reader.Byte() % 4 == 0) {  // a sequence whose last event runs past its end
            const uint32_t cut = reader.Byte() % 40;
            host.In().atom.size = host.In().atom.size > 8 + cut ? host.In().atom.size - cut : 8;
        }
        const uint32_t capacity = reader.Byte() & 1 ? host.Room() - 8 : reader.Byte() * 4u;
        const auto before = host.Plugin().DroppedEvents();
        auto* const beyond = reinterpret_cast<uint8_t*>(&host.Out()) + sizeof(LV2_Atom) + capacity;
        const size_t watched = std::min<size_t>(64, host.Room() - capacity);  // the buffer holds Room() + 8 bytes
        std::memset(beyond, 0xAB, watched);
        const std::vector<TimedBytes> outputs = host.Run(1 + static_cast<uint32_t>(frame), capacity);

        Check(host.Out().atom.size <= capacity);
        for (size_t i = 0; i < watched; ++i) Check(beyond[i] == 0xAB);  // nothing written past the capacity
        if (phantoms) continue;  // what came out need not match what was written
        Check(outputs.size() + (host.Plugin().DroppedEvents() - before) <= inputs.size());
        size_t next = 0;  // outputs keep the inputs' order
        for (size_t o = 0; o < outputs.size(); ++o) {
            if (o > 0) Check(outputs[o - 1].frame <= outputs[o].frame);
            Check(outputs[o].frame >= 0 && outputs[o].frame <= frame);  // within the cycle
            while (next < inputs.size() && inputs[next].frame < outputs[o].frame) ++next;
            Check(next < inputs.size() && inputs[next].frame == outputs[o].frame);
            bool unchanged = false;
            for (size_t i = next; i < inputs.size() && inputs[i].frame == outputs[o].frame; ++i)
                unchanged = unchanged || inputs[i].bytes == outputs[o].bytes;
            Check(unchanged || IsMasterMessage(outputs[o].bytes));
        }
    }
    return 0;
}
