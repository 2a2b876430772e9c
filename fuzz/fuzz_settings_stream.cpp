// Any bytes as a settings stream, read whole or by a stream that misbehaves.
// A load must store exactly the cells it could read, never read past 64
// bytes, and what loads must save back to the same bytes but for the two
// length fields. Then the same bytes through a stream whose every Read may
// deliver less than asked (answering S_FALSE, or S_OK all the same), fail
// with a failure code, or leave its count unset: only reads that answer S_OK
// in full count, and the load stops at the first one that does not.
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <vector>

#include "filter/settings_stream.h"
#include "tests/filter/memory_stream.h"

namespace {

// Each Read takes one byte of its script: how it answers and, for a short
// read, how much it delivers.
class CScriptedStream final : public CUncountedObject<ISequentialStream> {
public:
    struct Call {
        ULONG asked;
        ULONG delivered;
        HRESULT status;
        std::vector<BYTE> bytes;
    };
    CScriptedStream(const uint8_t* script, size_t scriptSize, const uint8_t* content, size_t contentSize)
        : m_script(script, script + scriptSize), m_content(content, content + contentSize) {}

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG asked, ULONG* delivered) override {
        const uint8_t control = m_calls.size() < m_script.size() ? m_script[m_calls.size()] : 0;
        const size_t available = m_content.size() - m_position;
        ULONG count = static_cast<ULONG>(std::min<size_t>(asked, available));
        HRESULT status = count < asked ? S_FALSE : S_OK;
        switch (control & 3) {
        case 1:
        case 2:  // short: S_FALSE, or S_OK as some streams answer
            count = asked == 0 ? 0 : std::min<ULONG>(count, (control >> 3) % asked);
            status = (control & 3) == 1 ? S_FALSE : S_OK;
            break;
        case 3:  // a failure; the count is left as garbage
            *delivered = 0xCCCC;
            m_calls.push_back({asked, 0, (control & 4) ? STG_E_READFAULT : E_FAIL, {}});
            return m_calls.back().status;
        default:
            break;
        }
        const auto first = m_content.begin() + static_cast<std::ptrdiff_t>(m_position);
        std::copy(first, first + count, static_cast<BYTE*>(buffer));
        m_calls.push_back({asked, count, status, std::vector<BYTE>(first, first + count)});
        m_position += count;
        *delivered = count;
        return status;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { std::abort(); }

    std::vector<Call> m_calls;

private:
    std::vector<uint8_t> m_script;
    std::vector<uint8_t> m_content;
    size_t m_position = 0;
};

std::uint32_t Word(const std::vector<BYTE>& bytes, size_t offset) {
    std::uint32_t value;
    std::memcpy(&value, bytes.data() + offset, 4);  // little-endian hosts
    return value;
}

void CheckScriptedLoad(const uint8_t* data, size_t size) {
    if (size == 0) return;
    const size_t scriptSize = std::min<size_t>(data[0] % 16, size - 1);
    CScriptedStream stream(data + 1, scriptSize, data + 1 + scriptSize, size - 1 - scriptSize);
    CFilterCore core;
    const LoadOutcome outcome = LoadSettings(core, &stream);

    const auto& calls = stream.m_calls;
    const auto whole = [](const CScriptedStream::Call& call) {
        return call.status == S_OK && call.delivered == call.asked;
    };
    if (calls.empty() || calls[0].asked != kSettingsHeaderBytes) std::abort();
    const bool headerOk =
        whole(calls[0]) && Word(calls[0].bytes, 0) == kSettingsMagic && Word(calls[0].bytes, 4) == kSettingsVersion;
    size_t stored = 0;  // cells read whole, in order, before the first that was not
    if (headerOk)
        while (stored < kParamCells && calls.size() > stored + 1 && whole(calls[stored + 1])) ++stored;
    const LoadOutcome expected = !headerOk                ? LoadOutcome::BadHeader
                                 : stored == kParamCells ? LoadOutcome::Loaded
                                                         : LoadOutcome::CutShort;
    if (outcome != expected) std::abort();
    if (calls.size() != (!headerOk ? 1 : std::min<size_t>(stored + 2, kParamCells + 1))) std::abort();
    for (size_t call = 1; call < calls.size(); ++call)
        if (calls[call].asked != 4) std::abort();
    for (std::uint32_t cell = 0; cell < kParamCells; ++cell) {
        const std::int32_t value = cell < stored ? static_cast<std::int32_t>(Word(calls[cell + 1].bytes, 0))
                                                 : kDefaultParams[cell / 6][cell % 6];
        if (core.GetParam(cell / 6, cell % 6) != value) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckScriptedLoad(data, size);

    CFilterCore core;
    CMemoryStream input(std::vector<BYTE>(data, data + size));
    const LoadOutcome outcome = LoadSettings(core, &input);
    if (input.m_position > kSettingsStreamBytes) std::abort();

    const bool headerOk = size >= 16 && std::memcmp(data, "\x9A\xE0\x25\xB8\x01\x00\x00\x00", 8) == 0;
    if ((outcome == LoadOutcome::BadHeader) == headerOk) std::abort();
    if ((outcome == LoadOutcome::Loaded) != (headerOk && size >= kSettingsStreamBytes)) std::abort();

    // Every cell read in full holds the stream's value; the rest keep defaults.
    for (std::uint32_t cell = 0; cell < kParamCells; ++cell) {
        const size_t offset = kSettingsHeaderBytes + 4 * cell;
        std::int32_t expected = kDefaultParams[cell / 6][cell % 6];
        if (headerOk && size >= offset + 4) std::memcpy(&expected, data + offset, 4);  // little-endian hosts
        if (core.GetParam(cell / 6, cell % 6) != expected) std::abort();
    }

    // The core's own reading of the same bytes agrees, cell for cell.
    SettingsCells cells = DefaultSettingsCells();
    const SettingsRead read = DecodeSettings(data, size, cells);
    const LoadOutcome coreOutcome = read.outcome == SettingsOutcome::Loaded     ? LoadOutcome::Loaded
                                    : read.outcome == SettingsOutcome::CutShort ? LoadOutcome::CutShort
                                                                                : LoadOutcome::BadHeader;
    if (coreOutcome != outcome) std::abort();
    for (std::uint32_t cell = 0; cell < kParamCells; ++cell)
        if (core.GetParam(cell / 6, cell % 6) != cells[cell]) std::abort();

    if (outcome == LoadOutcome::Loaded) {
        CMemoryStream output;
        if (SaveSettings(core, &output) != S_OK || output.m_bytes.size() != kSettingsStreamBytes) std::abort();
        if (std::memcmp(output.m_bytes.data(), data, 8) != 0 ||
            std::memcmp(output.m_bytes.data() + 16, data + 16, kSettingsValueBytes) != 0)
            std::abort();
    }
    return 0;
}
