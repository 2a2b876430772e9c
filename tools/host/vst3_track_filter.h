// veltrace-host's VST3 face: each track through an instance of the VST3
// plug-in, its settings handed over as the component's state (the settings'
// 64 bytes, as a host restores a project), each block of playback one
// process call at 48 kHz with each event at a frame of its own. A program
// change, which VST3 has no form for, passes around the plug-in at its place
// (as a host sends it on to the instrument).
#pragma once

#include <memory>
#include <string>

#include "tools/host/host_run.h"

// Loads the .vst3 bundle; throws InputError naming what is wrong with it.
std::unique_ptr<CPluginHost> LoadVst3Plugin(const std::string& path);
