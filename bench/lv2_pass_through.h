// What an LV2 MIDI plug-in that changes nothing does in its run: clear the
// output, then append every event of the input to it within the capacity
// the host gave. The yardstick of the LV2 plug-in's cost.
#pragma once

#include <lv2/atom/atom.h>

void PassThroughAtoms(const LV2_Atom_Sequence* input, LV2_Atom_Sequence* output);
