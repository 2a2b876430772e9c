#include "engine/settings_stream.h"

namespace {

void PutLittleEndian(std::uint32_t value, BYTE* bytes) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(value >> (8 * i));
}

std::uint32_t GetLittleEndian(const BYTE* bytes) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

HRESULT SaveFailure(HRESULT status) { return status == STG_E_MEDIUMFULL ? STG_E_MEDIUMFULL : STG_E_CANTSAVE; }

// Exactly `size` bytes read with status S_OK; S_FALSE or a short count fails.
bool ReadExactly(ISequentialStream* stream, BYTE* bytes, ULONG size) {
    ULONG read = 0;
    return stream->Read(bytes, size, &read) == S_OK && read == size;
}

}  // namespace

HRESULT SaveSettings(const CFilterEngine& engine, ISequentialStream* stream) {
    BYTE header[kSettingsHeaderBytes];
    PutLittleEndian(kSettingsMagic, header);
    PutLittleEndian(kSettingsVersion, header + 4);
    PutLittleEndian(kSettingsHeaderBytes, header + 8);
    PutLittleEndian(kSettingsValueBytes, header + 12);
    ULONG written = 0;  // a successful Write counts as complete
    HRESULT status = stream->Write(header, sizeof header, &written);
    if (FAILED(status)) return SaveFailure(status);

    for (std::uint32_t row = 0; row < kParamRows; ++row) {
        for (std::uint32_t index = 0; index < kParamsPerRow; ++index) {
            BYTE cell[4];
            PutLittleEndian(static_cast<std::uint32_t>(engine.GetParam(row, index)), cell);
            status = stream->Write(cell, sizeof cell, &written);
            if (FAILED(status)) return SaveFailure(status);
        }
    }
    return S_OK;
}

LoadOutcome LoadSettings(CFilterEngine& engine, ISequentialStream* stream) {
    BYTE header[kSettingsHeaderBytes];
    if (!ReadExactly(stream, header, sizeof header) || GetLittleEndian(header) != kSettingsMagic ||
        GetLittleEndian(header + 4) != kSettingsVersion)
        return LoadOutcome::BadHeader;

    for (std::uint32_t row = 0; row < kParamRows; ++row) {
        for (std::uint32_t index = 0; index < kParamsPerRow; ++index) {
            BYTE cell[4];
            if (!ReadExactly(stream, cell, sizeof cell)) return LoadOutcome::CutShort;
            engine.SetParam(row, index, static_cast<std::int32_t>(GetLittleEndian(cell)));
        }
    }
    return LoadOutcome::Loaded;
}
