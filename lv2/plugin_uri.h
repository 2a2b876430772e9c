// The plug-in's URI, as the bundle's Turtle names it: what a host asks for.
#pragma once

constexpr char kVeltracePluginUri[] = "urn:quorvane:veltrace";
