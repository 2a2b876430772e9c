#include "filter/settings_stream.h"

namespace {

HRESULT SaveFailure(HRESULT status) { return status == STG_E_MEDIUMFULL ? STG_E_MEDIUMFULL : STG_E_CANTSAVE; }

// Exactly `size` bytes read with status S_OK; S_FALSE or a short count fails.
bool ReadExactly(ISequentialStream* stream, BYTE* bytes, ULONG size) {
    ULONG read = 0;
    return stream->Read(bytes, size, &read) == S_OK && read == size;
}

}  // namespace

HRESULT SaveSettings(const CFilterCore& core, ISequentialStream* stream) {
    const auto header = EncodeSettingsHeader();
    ULONG written = 0;  // a successful Write counts as complete
    HRESULT status = stream->Write(header.data(), static_cast<ULONG>(header.size()), &written);
    if (FAILED(status)) return SaveFailure(status);

    for (std::uint32_t row = 0; row < kParamRows; ++row) {
        for (std::uint32_t index = 0; index < kParamsPerRow; ++index) {
            BYTE cell[4];
            EncodeSettingsCell(core.GetParam(row, index), cell);
            status = stream->Write(cell, sizeof cell, &written);
            if (FAILED(status)) return SaveFailure(status);
        }
    }
    return S_OK;
}

LoadOutcome LoadSettings(CFilterCore& core, ISequentialStream* stream) {
    BYTE header[kSettingsHeaderBytes];
    if (!ReadExactly(stream, header, sizeof header) || CheckSettingsHeader(header) != SettingsHeader::Good)
        return LoadOutcome::BadHeader;

    for (std::uint32_t row = 0; row < kParamRows; ++row) {
        for (std::uint32_t index = 0; index < kParamsPerRow; ++index) {
            BYTE cell[4];
            if (!ReadExactly(stream, cell, sizeof cell)) return LoadOutcome::CutShort;
            core.SetParam(row, index, DecodeSettingsCell(cell));
        }
    }
    return LoadOutcome::Loaded;
}
