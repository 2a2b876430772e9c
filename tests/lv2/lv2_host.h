// A small LV2 host for the plug-in's tests and fuzzer: one instance made
// through lv2_descriptor, its ports connected to buffers of its own, and a
// cycle's input written and its output read as MIDI events at frames.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include "lv2/veltrace_plugin.h"

extern "C" const LV2_Descriptor* lv2_descriptor(std::uint32_t index);

struct TimedBytes {
    std::int64_t frame;
    std::vector<std::uint8_t> bytes;
    bool operator==(const TimedBytes& other) const { return frame == other.frame && bytes == other.bytes; }
};

class CLv2TestHost {
public:
    // `room`: bytes of each sequence buffer.
    explicit CLv2TestHost(bool withUridMap = true, std::uint32_t room = 1 << 16) : m_room(room) {
        m_map.handle = &m_ids;
        m_map.map = [](LV2_URID_Map_Handle handle, const char* uri) {
            auto& ids = *static_cast<std::map<std::string, LV2_URID, std::less<>>*>(handle);
            const auto known = ids.find(std::string_view(uri));  // no allocation for a known URI
            if (known != ids.end()) return known->second;
            return ids.emplace(uri, static_cast<LV2_URID>(ids.size() + 1)).first->second;
        };
        const LV2_Feature map{LV2_URID__map, &m_map};
        const LV2_Feature* const features[] = {&map, nullptr};
        const LV2_Feature* const none[] = {nullptr};
        m_descriptor = lv2_descriptor(0);
        m_instance = m_descriptor->instantiate(m_descriptor, 48000, "", withUridMap ? features : none);
        if (m_instance == nullptr) return;
        m_in.assign(room / 8, 0);
        m_out.assign(room / 8 + 1, 0);
        m_descriptor->connect_port(m_instance, PortEventsIn, m_in.data());
        m_descriptor->connect_port(m_instance, PortEventsOut, m_out.data());
        for (std::uint32_t i = 0; i < kSettingPorts; ++i) {
            m_controls[i] = static_cast<float>(kDefaultParams[SettingRow][i]);
            m_descriptor->connect_port(m_instance, kFirstSettingPort + i, &m_controls[i]);
        }
        m_descriptor->activate(m_instance);
        Clear();
    }
    ~CLv2TestHost() {
        if (m_instance == nullptr) return;
        m_descriptor->deactivate(m_instance);
        m_descriptor->cleanup(m_instance);
    }
    CLv2TestHost(const CLv2TestHost&) = delete;
    CLv2TestHost& operator=(const CLv2TestHost&) = delete;

    bool Instantiated() const { return m_instance != nullptr; }
    std::uint32_t Room() const { return m_room; }
    CVeltracePlugin& Plugin() { return *static_cast<CVeltracePlugin*>(m_instance); }
    float& Control(SettingIndex index) { return m_controls[index]; }
    LV2_URID Id(const char* uri) { return m_map.map(m_map.handle, uri); }

    // The next cycle's input, written in order of frames.
    void Clear() {
        In().atom.type = Id(LV2_ATOM__Sequence);
        In().atom.size = sizeof(LV2_Atom_Sequence_Body);
        In().body.unit = 0;
        In().body.pad = 0;
    }
    void* Append(std::int64_t frame, LV2_URID type, std::uint32_t size) {
        // Where the sequence ends (its size is kept padded), taken from the
        // buffer itself: GCC reads a pointer from the 8-byte header's body as
        // pointing into those 8 bytes and refuses the writes beyond them.
        auto* const event = reinterpret_cast<LV2_Atom_Event*>(reinterpret_cast<std::uint8_t*>(m_in.data()) + sizeof(LV2_Atom) + In().atom.size);
        event->time.frames = frame;
        event->body.type = type;
        event->body.size = size;
        In().atom.size += lv2_atom_pad_size(static_cast<std::uint32_t>(sizeof(LV2_Atom_Event)) + size);
        return event + 1;
    }
    void Midi(std::int64_t frame, const std::uint8_t* bytes, std::uint32_t size) {
        void* const body = Append(frame, Id(LV2_MIDI__MidiEvent), size);
        if (size > 0) std::memcpy(body, bytes, size);
    }
    void Midi(std::int64_t frame, const std::vector<std::uint8_t>& bytes) {
        Midi(frame, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    }
    // A transport position: any of frame and speed.
    void Position(std::int64_t at, const std::int64_t* frame, const float* speed) {
        Property properties[2];  // no allocation: the heap watch runs around this
        std::size_t count = 0;
        if (frame) properties[count++] = {LV2_TIME__frame, LV2_ATOM__Long, static_cast<double>(*frame)};
        if (speed) properties[count++] = {LV2_TIME__speed, LV2_ATOM__Float, *speed};
        Position(at, properties, count);
    }
    // A transport position with any properties, each a number of an atom type
    // (Int, Long, Float or Double), as an atom:Object or an atom:Blank.
    struct Property {
        const char* key = nullptr;
        const char* type = nullptr;
        double value = 0;
    };
    void Position(std::int64_t at, const std::vector<Property>& properties, const char* objectType = LV2_ATOM__Object) {
        Position(at, properties.data(), properties.size(), objectType);
    }
    void Position(std::int64_t at, const Property* properties, std::size_t count,
                  const char* objectType = LV2_ATOM__Object) {
        const auto size = static_cast<std::uint32_t>(sizeof(LV2_Atom_Object_Body) + 24 * count);
        auto* const body = static_cast<LV2_Atom_Object_Body*>(Append(at, Id(objectType), size));
        body->id = 0;
        body->otype = Id(LV2_TIME__Position);
        auto* property = reinterpret_cast<std::uint8_t*>(body + 1);
        for (const Property* p = properties; p != properties + count; ++p) {
            const LV2_URID type = Id(p->type);
            std::uint8_t value[8] = {};
            std::uint32_t bytes = 8;
            if (type == Id(LV2_ATOM__Int)) {
                const auto v = static_cast<std::int32_t>(p->value);
                std::memcpy(value, &v, bytes = 4);
            } else if (type == Id(LV2_ATOM__Long)) {
                const auto v = static_cast<std::int64_t>(p->value);
                std::memcpy(value, &v, 8);
            } else if (type == Id(LV2_ATOM__Float)) {
                const auto v = static_cast<float>(p->value);
                std::memcpy(value, &v, bytes = 4);
            } else {
                std::memcpy(value, &p->value, 8);
            }
            const LV2_Atom_Property_Body head{Id(p->key), 0, {bytes, type}};
            std::memcpy(property, &head, sizeof head);
            std::memcpy(property + sizeof head, value, 8);
            property += 24;
        }
    }

    // Runs the cycle with `capacity` bytes of output (as the host sets the
    // output's size) and returns the MIDI events written.
    std::vector<TimedBytes> Run(std::uint32_t frames) { return Run(frames, m_room - 8); }
    // The descriptor, for what a host calls besides run.
    const LV2_Descriptor& Descriptor() const { return *m_descriptor; }
    LV2_Handle Handle() const { return m_instance; }

    std::vector<TimedBytes> Run(std::uint32_t frames, std::uint32_t capacity) {
        Out().atom.size = capacity;
        Out().atom.type = Id(LV2_ATOM__Chunk);
        // The input in memory of its exact size, so that a read past its end
        // is caught by the sanitizers.
        const std::size_t inputBytes = sizeof(LV2_Atom) + In().atom.size;
        const std::unique_ptr<std::uint8_t[]> input(new std::uint8_t[inputBytes]);
        std::memcpy(input.get(), &In(), inputBytes);
        m_descriptor->connect_port(m_instance, PortEventsIn, input.get());
        m_descriptor->run(m_instance, frames);
        m_descriptor->connect_port(m_instance, PortEventsIn, m_in.data());
        Clear();
        std::vector<TimedBytes> events;
        LV2_ATOM_SEQUENCE_FOREACH(&Out(), event) {
            const auto* bytes = static_cast<const std::uint8_t*>(LV2_ATOM_BODY_CONST(&event->body));
            if (event->body.type == Id(LV2_MIDI__MidiEvent))
                events.push_back({event->time.frames, {bytes, bytes + event->body.size}});
        }
        return events;
    }
    LV2_Atom_Sequence& Out() { return *reinterpret_cast<LV2_Atom_Sequence*>(m_out.data()); }
    LV2_Atom_Sequence& In() { return *reinterpret_cast<LV2_Atom_Sequence*>(m_in.data()); }
    const std::uint8_t* OutBytes() const { return reinterpret_cast<const std::uint8_t*>(m_out.data()); }

private:

    const std::uint32_t m_room;
    std::map<std::string, LV2_URID, std::less<>> m_ids;
    LV2_URID_Map m_map{};
    const LV2_Descriptor* m_descriptor = nullptr;
    LV2_Handle m_instance = nullptr;
    std::vector<std::uint64_t> m_in, m_out;
    float m_controls[kSettingPorts] = {};
};
