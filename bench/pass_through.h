// What a filter that changes nothing does: GetCount, then GetAt and Add for
// each record. The yardstick of the event paths' cost.
#pragma once

#include "filter/mfx.h"

void PassThroughEvents(IMfxEventQueue* input, IMfxEventQueue* output);
void PassThroughData(IMfxDataQueue* input, IMfxDataQueue* output);
