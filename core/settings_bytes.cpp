#include "settings_bytes.h"

namespace {

void PutLittleEndian(std::uint32_t value, std::uint8_t* bytes) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetLittleEndian(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

}  // namespace

std::array<std::uint8_t, kSettingsHeaderBytes> EncodeSettingsHeader() {
    std::array<std::uint8_t, kSettingsHeaderBytes> header;
    PutLittleEndian(kSettingsMagic, header.data());
    PutLittleEndian(kSettingsVersion, header.data() + 4);
    PutLittleEndian(kSettingsHeaderBytes, header.data() + 8);
    PutLittleEndian(kSettingsValueBytes, header.data() + 12);
    return header;
}

SettingsBytes EncodeSettings(const SettingsCells& cells) {
    SettingsBytes bytes;
    const auto header = EncodeSettingsHeader();
    for (std::size_t i = 0; i < header.size(); ++i) bytes[i] = header[i];
    for (std::size_t cell = 0; cell < cells.size(); ++cell)
        EncodeSettingsCell(cells[cell], bytes.data() + kSettingsHeaderBytes + 4 * cell);
    return bytes;
}

SettingsHeader CheckSettingsHeader(const std::uint8_t* header16) {
    if (GetLittleEndian(header16) != kSettingsMagic) return SettingsHeader::WrongMagic;
    if (GetLittleEndian(header16 + 4) != kSettingsVersion) return SettingsHeader::WrongVersion;
    return SettingsHeader::Good;
}

std::uint32_t SettingsVersionOf(const std::uint8_t* header16) { return GetLittleEndian(header16 + 4); }

void EncodeSettingsCell(std::int32_t value, std::uint8_t* bytes4) {
    PutLittleEndian(static_cast<std::uint32_t>(value), bytes4);
}

std::int32_t DecodeSettingsCell(const std::uint8_t* bytes4) { return static_cast<std::int32_t>(GetLittleEndian(bytes4)); }

SettingsRead DecodeSettings(const std::uint8_t* bytes, std::size_t size, SettingsCells& cells) {
    if (size < kSettingsHeaderBytes) return {SettingsOutcome::ShortHeader, 0};
    switch (CheckSettingsHeader(bytes)) {
    case SettingsHeader::WrongMagic: return {SettingsOutcome::WrongMagic, 0};
    case SettingsHeader::WrongVersion: return {SettingsOutcome::WrongVersion, 0};
    case SettingsHeader::Good: break;
    }
    std::size_t cell = 0;
    for (; cell < cells.size(); ++cell) {
        const std::size_t at = kSettingsHeaderBytes + 4 * cell;
        if (size < at + 4) return {SettingsOutcome::CutShort, cell};
        cells[cell] = DecodeSettingsCell(bytes + at);
    }
    return {SettingsOutcome::Loaded, cell};
}

std::optional<std::uint32_t> SettingOutOfRange(const SettingsCells& cells) {
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) {
        const std::int32_t value = cells[SettingRow * kParamsPerRow + index];
        if (!SettingInRange(index, value)) return index;
    }
    return std::nullopt;
}
