// veltrace-host's CLAP face: each track through an instance of the CLAP
// plug-in, its settings handed over as the plug-in's state (the settings'
// 64 bytes, as a host restores a project), each block of playback one
// process call at 48 kHz with each event at a frame of its own.
#pragma once

#include <memory>
#include <string>

#include "tools/host/host_run.h"

// Loads the .clap file; throws InputError naming what is wrong with it.
std::unique_ptr<CPluginHost> LoadClapPlugin(const std::string& path);
