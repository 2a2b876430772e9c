// A small VST3 host, written against the VST3 declarations DPF ships
// (travesty): a plug-in bundle loaded as a host loads it, and one instance
// (its component, audio processor, edit controller and MIDI mapping) driven
// one call at a time. veltrace-host plays files through it, and the VST3
// edition's tests check the edition with it. Portable (Linux and Windows);
// one thread plays both the host's main and audio threads.
//
// VST3 carries notes and polyphonic pressure as events, and controllers,
// channel pressure and pitch bend as changes of the parameters the plug-in's
// MIDI mapping names; on the way out, all but notes and polyphonic pressure
// come back as legacy MIDI controller events. A program change has no form
// in VST3 at all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/host/plugin_module.h"
#include "travesty/audio_processor.h"
#include "travesty/bstream.h"
#include "travesty/component.h"
#include "travesty/edit_controller.h"
#include "travesty/events.h"
#include "travesty/factory.h"

// A .vst3 bundle (or its binary): loaded, its module entered, its factory
// and its audio module class at hand. Throws InputError when it is no VST3
// plug-in.
class CVst3Library {
public:
    explicit CVst3Library(const std::string& path);
    ~CVst3Library();
    CVst3Library(const CVst3Library&) = delete;
    CVst3Library& operator=(const CVst3Library&) = delete;

    v3_plugin_factory** Factory() const { return m_factory; }
    // The audio module class, as the factory's second version describes it
    // (a factory that does not answer leaves all but its id and name zeroed).
    const v3_class_info_2& ClassInfo() const { return m_class; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    std::unique_ptr<CPluginModule> m_module;
    v3_plugin_factory** m_factory = nullptr;
    v3_class_info_2 m_class{};
};

// What one process call hands the plug-in: events, and points of parameter
// changes (both at frames within the call).
struct Vst3Input {
    struct Point {
        v3_param_id id;
        std::int32_t frame;
        double value;  // normalised
    };
    std::vector<v3_event> events;
    std::vector<Point> points;
};

// What came out of a process call: MIDI messages (from note, polyphonic
// pressure and legacy controller events) at their frames; anything else
// counted.
struct Vst3MidiOut {
    std::int32_t frame;
    std::uint8_t data[3];
    std::uint32_t size;
};

class CVst3Instance {
public:
    // Made, initialised, its interfaces asked for. Throws InputError.
    explicit CVst3Instance(const CVst3Library& library);
    ~CVst3Instance();
    CVst3Instance(const CVst3Instance&) = delete;
    CVst3Instance& operator=(const CVst3Instance&) = delete;

    v3_component** Component() const { return m_component; }
    v3_audio_processor** Processor() const { return m_processor; }
    v3_edit_controller** Controller() const { return m_controller; }

    bool Setup(double sampleRate, std::int32_t maxFrames);
    bool SetActive(bool active);
    bool SetProcessing(bool processing);

    // The component's state, or false; and a state handed to it (read in
    // pieces of `piece` bytes, as hosts may hand it).
    bool SaveState(std::vector<std::uint8_t>& bytes);
    bool LoadState(const std::vector<std::uint8_t>& bytes, std::size_t piece = 1 << 16);

    // A MIDI message at `frame` in the form VST3 carries it: false for one it
    // cannot carry (a program change, a system message).
    bool AddMidi(Vst3Input& input, std::int32_t frame, const std::uint8_t* bytes, std::uint32_t size) const;

    // One process call of `frames` frames (none processes nothing), with this
    // transport (or none).
    v3_result Process(std::int32_t frames, const Vst3Input& input, v3_process_context* context, std::vector<Vst3MidiOut>& out);

    // The parameter the plug-in's MIDI mapping gives a controller (0..127),
    // channel pressure (128) or pitch bend (129) on a channel, if any.
    bool MidiParameter(std::int16_t channel, std::int16_t controller, v3_param_id& id) const;

    std::uint32_t otherEventsOut = 0;  // output events that were no MIDI message

private:
    struct Lists;
    // Lets go of everything the constructor took, in the reverse order.
    void Close();

    const CVst3Library& m_library;
    v3_component** m_component = nullptr;
    v3_audio_processor** m_processor = nullptr;
    v3_edit_controller** m_controller = nullptr;
    v3_midi_mapping** m_mapping = nullptr;
    bool m_initialised = false, m_active = false, m_processing = false;
    std::unique_ptr<Lists> m_lists;
};

// The transport a host sends while it plays (or stands) at `frame` of the
// project, at 120 beats a minute in 4/4.
v3_process_context Vst3Transport(bool playing, std::int64_t frame, double sampleRate);

// The same as UTF-8, for the ASCII texts plug-ins give.
std::string Vst3Text(const int16_t* text, std::size_t size);
