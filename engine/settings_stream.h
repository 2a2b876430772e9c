// The 64-byte settings stream that the host keeps in its project: a 16-byte
// header (magic, version, header length, value length) and the twelve cells
// of the parameter table, all 32-bit little-endian, cells stored as the table
// holds them. Only Read and Write are used, at the stream's position.
#pragma once

#include <cstdint>

#include "engine/class_ids.h"
#include "engine/filter_engine.h"

constexpr std::uint32_t kSettingsMagic = 0xB825E09A;  // CLSID_VeltraceFilter's first 32 bits
constexpr std::uint32_t kSettingsVersion = 1;
constexpr std::uint32_t kSettingsHeaderBytes = 16;
constexpr std::uint32_t kSettingsValueBytes = kParamCells * 4;
constexpr std::uint32_t kSettingsStreamBytes = kSettingsHeaderBytes + kSettingsValueBytes;

static_assert(kSettingsMagic == CLSID_VeltraceFilter.Data1, "the magic is the filter's class id");
static_assert(kSettingsStreamBytes == 64, "the settings stream is 64 bytes");

// Writes the header with one Write, then each cell with its own, read under
// the lock one at a time. Stops at the first failing Write: STG_E_MEDIUMFULL
// if that was its status, STG_E_CANTSAVE for any other failure. S_OK when all
// thirteen writes succeeded.
HRESULT SaveSettings(const CFilterEngine& engine, ISequentialStream* stream);

// Reads the header with one Read and each cell with its own. Every check is
// exact: the status must be S_OK and the count full, the magic and version
// right (the length fields are not looked at). Each accepted cell is stored at
// once, so a stream cut short keeps the cells read before the cut.
enum class LoadOutcome {
    Loaded,       // all twelve cells stored
    BadHeader,    // short header, wrong magic or version: nothing stored
    CutShort,     // a cell could not be read in full: the cells before it stored
};
LoadOutcome LoadSettings(CFilterEngine& engine, ISequentialStream* stream);
