// Any bytes as a settings stream. A load must store exactly the cells it
// could read, never read past 64 bytes, and what loads must save back to the
// same bytes but for the two length fields.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/settings_stream.h"
#include "tests/engine/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFilterEngine engine;
    CMemoryStream input(std::vector<BYTE>(data, data + size));
    const LoadOutcome outcome = LoadSettings(engine, &input);
    if (input.m_position > kSettingsStreamBytes) std::abort();

    const bool headerOk = size >= 16 && std::memcmp(data, "\x9A\xE0\x25\xB8\x01\x00\x00\x00", 8) == 0;
    if ((outcome == LoadOutcome::BadHeader) == headerOk) std::abort();
    if ((outcome == LoadOutcome::Loaded) != (headerOk && size >= kSettingsStreamBytes)) std::abort();

    // Every cell read in full holds the stream's value; the rest keep defaults.
    for (std::uint32_t cell = 0; cell < kParamCells; ++cell) {
        const size_t offset = kSettingsHeaderBytes + 4 * cell;
        std::int32_t expected = kDefaultParams[cell / 6][cell % 6];
        if (headerOk && size >= offset + 4) std::memcpy(&expected, data + offset, 4);  // little-endian hosts
        if (engine.GetParam(cell / 6, cell % 6) != expected) std::abort();
    }

    if (outcome == LoadOutcome::Loaded) {
        CMemoryStream output;
        if (SaveSettings(engine, &output) != S_OK || output.m_bytes.size() != kSettingsStreamBytes) std::abort();
        if (std::memcmp(output.m_bytes.data(), data, 8) != 0 ||
            std::memcmp(output.m_bytes.data() + 16, data + 16, kSettingsValueBytes) != 0)
            std::abort();
    }
    return 0;
}
