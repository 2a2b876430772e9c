// The 64-byte settings (core/settings_bytes.h) through the host's stream:
// only Read and Write are used, at the stream's position, with the outcomes
// the host relies on.
#pragma once

#include "core/filter_core.h"
#include "core/settings_bytes.h"
#include "filter/class_ids.h"

static_assert(kSettingsMagic == CLSID_VeltraceFilter.Data1, "the magic is the filter's class id");
constexpr std::uint32_t kSettingsStreamBytes = kSettingsBytes;

// Writes the header with one Write, then each cell with its own, read one at
// a time. Stops at the first failing Write: STG_E_MEDIUMFULL if that was its
// status, STG_E_CANTSAVE for any other failure. S_OK when all thirteen writes
// succeeded.
HRESULT SaveSettings(const CFilterCore& core, ISequentialStream* stream);

// Reads the header with one Read and each cell with its own. Every check is
// exact: the status must be S_OK and the count full, the magic and version
// right (the length fields are not looked at). Each accepted cell is stored at
// once, so a stream cut short keeps the cells read before the cut.
enum class LoadOutcome {
    Loaded,       // all twelve cells stored
    BadHeader,    // short header, wrong magic or version: nothing stored
    CutShort,     // a cell could not be read in full: the cells before it stored
};
LoadOutcome LoadSettings(CFilterCore& core, ISequentialStream* stream);
