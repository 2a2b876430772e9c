// What the DISTRHO Plugin Framework builds around the filter: a MIDI effect
// with no audio, no user interface of its own (hosts draw the parameters),
// the host's transport, the presets as programs, and state (the settings'
// 64 bytes, which the CLAP and VST3 entries keep themselves).
#pragma once

#define DISTRHO_PLUGIN_BRAND "Quorvane"
#define DISTRHO_PLUGIN_NAME "Veltrace"
#define DISTRHO_PLUGIN_URI "urn:quorvane:veltrace"
#define DISTRHO_PLUGIN_CLAP_ID "com.quorvane.veltrace"
// A note effect that is also a tool: CLAP's own feature words.
#define DISTRHO_PLUGIN_CLAP_FEATURES "note-effect", "utility"
// VST3 has no MIDI-effect category: hosts list it among the tools.
#define DISTRHO_PLUGIN_VST3_CATEGORIES "Fx|Tools"

#define DISTRHO_PLUGIN_NUM_INPUTS 0
#define DISTRHO_PLUGIN_NUM_OUTPUTS 0
#define DISTRHO_PLUGIN_HAS_UI 0
#define DISTRHO_PLUGIN_IS_RT_SAFE 1
#define DISTRHO_PLUGIN_IS_SYNTH 0
#define DISTRHO_PLUGIN_WANT_MIDI_INPUT 1
#define DISTRHO_PLUGIN_WANT_MIDI_OUTPUT 1
#define DISTRHO_PLUGIN_WANT_TIMEPOS 1
#define DISTRHO_PLUGIN_WANT_PROGRAMS 1
// DPF offers hosts a CLAP state only with state wanted; the filter keeps no
// state keys of its own (its state is its parameters).
#define DISTRHO_PLUGIN_WANT_STATE 1
#define DISTRHO_PLUGIN_WANT_FULL_STATE 0
