// A translation unit of its own, as the plug-in's code is.
#include "bench/lv2_pass_through.h"

#include <cstdint>

#include <lv2/atom/util.h>

void PassThroughAtoms(const LV2_Atom_Sequence* input, LV2_Atom_Sequence* output) {
    const std::uint32_t capacity = output->atom.size;
    lv2_atom_sequence_clear(output);
    output->atom.type = input->atom.type;
    LV2_ATOM_SEQUENCE_FOREACH(input, event) {
        if (lv2_atom_sequence_append_event(output, capacity, event) == nullptr) break;
    }
}
