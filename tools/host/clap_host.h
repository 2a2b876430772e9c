// A small CLAP host, written against the CLAP headers DPF ships: a plug-in
// file loaded as a host loads it, and one plug-in instance with a host of its
// own, driven one call at a time. veltrace-host plays files through it, and
// the CLAP edition's tests check the edition with it. Portable (Linux and
// Windows); one thread plays both the host's main and audio threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "clap/entry.h"
#include "clap/events.h"
#include "clap/ext/note-ports.h"
#include "clap/ext/params.h"
#include "clap/ext/state.h"
#include "clap/plugin-factory.h"
#include "clap/process.h"
#include "tools/host/plugin_module.h"

// A .clap file: loaded, its entry initialised, its plug-in factory at hand.
// Throws InputError when it is no CLAP plug-in.
class CClapLibrary {
public:
    explicit CClapLibrary(const std::string& path);
    ~CClapLibrary();
    CClapLibrary(const CClapLibrary&) = delete;
    CClapLibrary& operator=(const CClapLibrary&) = delete;

    const clap_plugin_factory_t& Factory() const { return *m_factory; }
    // The first plug-in the factory describes.
    const clap_plugin_descriptor_t& Descriptor() const { return *m_descriptor; }
    const std::string& Path() const { return m_module.Path(); }

private:
    CPluginModule m_module;
    const clap_plugin_entry_t* m_entry = nullptr;
    const clap_plugin_factory_t* m_factory = nullptr;
    const clap_plugin_descriptor_t* m_descriptor = nullptr;
};

// A MIDI message the plug-in sent, at its frame.
struct ClapMidiOut {
    std::uint32_t frame;
    std::uint8_t data[3];
};

// One plug-in instance, made and initialised; destroyed (after stopping and
// deactivating it as needed) when this goes.
class CClapInstance {
public:
    // Throws InputError when the plug-in is not made or does not initialise.
    CClapInstance(const CClapLibrary& library, const char* id);
    ~CClapInstance();
    CClapInstance(const CClapInstance&) = delete;
    CClapInstance& operator=(const CClapInstance&) = delete;

    const clap_plugin_t& Plugin() const { return *m_plugin; }
    const clap_plugin_params_t* Params() const { return m_params; }
    const clap_plugin_note_ports_t* NotePorts() const { return m_notePorts; }

    bool Activate(double sampleRate, std::uint32_t maxFrames);
    void Deactivate();
    bool StartProcessing();
    void StopProcessing();
    void Reset();

    // The plug-in's state, or false; and a state handed to it (read in
    // pieces of `piece` bytes, as hosts may hand it).
    bool SaveState(std::vector<std::uint8_t>& bytes);
    bool LoadState(const std::vector<std::uint8_t>& bytes, std::size_t piece = 1 << 16);

    // One process call of `frames` frames: these events in (any the test or
    // the tool makes), the transport (or none), what came out collected
    // (MIDI messages; everything else is counted in otherEventsOut).
    clap_process_status Process(std::uint32_t frames, const std::vector<const clap_event_header_t*>& events,
                                const clap_event_transport_t* transport, std::vector<ClapMidiOut>& out);

    std::uint64_t SteadyTime() const { return m_steadyTime; }
    std::uint32_t otherEventsOut = 0;  // output events that were no MIDI message
    std::uint32_t rescans = 0;         // the plug-in asked the host to read its parameters again

private:
    struct Host;
    std::unique_ptr<Host> m_host;
    const clap_plugin_t* m_plugin = nullptr;
    const clap_plugin_params_t* m_params = nullptr;
    const clap_plugin_state_t* m_state = nullptr;
    const clap_plugin_note_ports_t* m_notePorts = nullptr;
    bool m_active = false, m_processing = false;
    std::uint64_t m_steadyTime = 0;
};

// A MIDI message as a CLAP event at `frame`.
clap_event_midi_t ClapMidiEvent(std::uint32_t frame, std::uint8_t status, std::uint8_t data1, std::uint8_t data2);

// The transport a host sends while it plays (or stands), in seconds and
// beats from `beats` at 120 beats a minute in 4/4.
clap_event_transport_t ClapTransport(bool playing, double beats);
