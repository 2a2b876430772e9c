// The filter's VST3 component, in front of DPF's: the host's IComponent and
// IAudioProcessor are the filter's own, everything else DPF's.
// - The state is the settings' 64 bytes (settings_state.h), refused whole
//   when it is not one of this filter's, and handed to DPF's own state as
//   its text.
// - Processing goes through CVst3RunProcessor (MIDI in order, calls DPF
//   cannot take refused or cut).
// - The edit controller (DPF's) hides the placeholder parameter
//   (veltrace_dpf_plugin.h) and shows the property page's texts
//   ("Pressure", "85%", "+/- 54") and reads them back: DPF's objects keep
//   their function tables in the object itself, so those three entries of
//   its table are the filter's.
#pragma once

#include "travesty/component.h"

// The component in front of `dpf` (a component DPF made, whose reference
// it takes over); null, with `dpf` released, when memory runs out.
v3_component** GuardedComponent(v3_component** dpf);
