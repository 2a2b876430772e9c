// The 64-byte settings stream: its golden bytes, the round trip, and every way
// a stream can be short, wrong or failing.
#include <gtest/gtest.h>

#include <climits>

#include "filter/settings_stream.h"
#include "tests/core/golden_settings.h"
#include "memory_stream.h"

namespace {

void ExpectDefaults(const CFilterCore& core) {
    for (std::uint32_t row = 0; row < kParamRows; ++row)
        for (std::uint32_t index = 0; index < kParamsPerRow; ++index)
            EXPECT_EQ(core.GetParam(row, index), kDefaultParams[row][index]) << row << "," << index;
}

}  // namespace

TEST(SettingsStream, DefaultFilterWritesTheGoldenBytes) {
    CFilterCore core;
    CMemoryStream stream;
    EXPECT_EQ(SaveSettings(core, &stream), S_OK);
    EXPECT_EQ(stream.m_bytes, kDefaultSettingsStream);
    EXPECT_EQ(stream.m_writes, 13) << "one header write and one per cell";
}

TEST(SettingsStream, RoundTripCarriesAnyCellValue) {
    CFilterCore source, target;
    const std::int32_t values[kParamCells] = {0, 127, 250, -1, INT32_MIN, 2, 0, 128, INT32_MAX, 5, 64, 1};
    for (std::uint32_t cell = 0; cell < kParamCells; ++cell) source.SetParam(cell / 6, cell % 6, values[cell]);
    CMemoryStream stream;
    ASSERT_EQ(SaveSettings(source, &stream), S_OK);
    stream.m_position = 0;
    EXPECT_EQ(LoadSettings(target, &stream), LoadOutcome::Loaded);
    for (std::uint32_t cell = 0; cell < kParamCells; ++cell) EXPECT_EQ(target.GetParam(cell / 6, cell % 6), values[cell]);
}

TEST(SettingsStream, LengthFieldsAreNotLookedAt) {
    std::vector<BYTE> bytes = kDefaultSettingsStream;
    for (size_t i = 8; i < 16; ++i) bytes[i] = 0;
    SetStreamCell(bytes, EffectAmount, 250);
    CFilterCore core;
    CMemoryStream stream(bytes);
    EXPECT_EQ(LoadSettings(core, &stream), LoadOutcome::Loaded);
    EXPECT_EQ(core.GetParam(SettingRow, EffectAmount), 250) << "stored unchanged, out of bounds or not";
}

TEST(SettingsStream, WrongMagicOrVersionStoresNothing) {
    // Byte and the bits flipped in it: the magic's first and last bytes, the
    // version made 0 or 3, the version's top byte.
    const std::pair<size_t, BYTE> changes[] = {{0, 0x02}, {3, 0x02}, {4, 0x01}, {4, 0x02}, {7, 0x02}};
    for (const auto& [byte, bits] : changes) {
        std::vector<BYTE> bytes = kDefaultSettingsStream;
        bytes[byte] ^= bits;
        SetStreamCell(bytes, MasterCc, 9);
        CFilterCore core;
        CMemoryStream stream(bytes);
        EXPECT_EQ(LoadSettings(core, &stream), LoadOutcome::BadHeader) << "byte " << byte;
        ExpectDefaults(core);
        EXPECT_EQ(stream.m_reads, 1);
    }
}

TEST(SettingsStream, StreamCutAfterFortyBytesKeepsTheFirstRow) {
    std::vector<BYTE> bytes = kDefaultSettingsStream;
    for (size_t cell = 0; cell < kParamCells; ++cell) SetStreamCell(bytes, cell, static_cast<std::uint32_t>(cell + 2));
    bytes.resize(40);
    CFilterCore core;
    CMemoryStream stream(bytes);
    EXPECT_EQ(LoadSettings(core, &stream), LoadOutcome::CutShort);
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) {
        EXPECT_EQ(core.GetParam(SettingRow, index), static_cast<int>(index + 2));
        EXPECT_EQ(core.GetParam(CcAssignRow, index), 128);
    }
}

TEST(SettingsStream, ShortOrFailingReads) {
    {
        CFilterCore core;
        CMemoryStream stream(std::vector<BYTE>(kDefaultSettingsStream.begin(), kDefaultSettingsStream.begin() + 15));
        EXPECT_EQ(LoadSettings(core, &stream), LoadOutcome::BadHeader) << "header one byte short";
    }
    {
        CFilterCore core;
        std::vector<BYTE> bytes = kDefaultSettingsStream;
        SetStreamCell(bytes, 0, 77);
        bytes.resize(62);
        CMemoryStream stream(bytes);
        EXPECT_EQ(LoadSettings(core, &stream), LoadOutcome::CutShort) << "last cell two bytes short";
        EXPECT_EQ(core.GetParam(SettingRow, MasterCc), 77);
    }
    struct FailingRead {
        const char* what;
        int read;  // 1 is the header, 5 the fourth cell
        HRESULT status;
        bool delivers;
        LoadOutcome outcome;
    };
    const FailingRead failingReads[] = {
        {"fourth cell's read fails", 5, STG_E_READFAULT, false, LoadOutcome::CutShort},
        {"S_FALSE: not a failure code, but not S_OK either", 1, S_FALSE, false, LoadOutcome::BadHeader},
        {"the whole header, answered S_FALSE", 1, S_FALSE, true, LoadOutcome::BadHeader},
        {"the whole fourth cell, answered S_FALSE", 5, S_FALSE, true, LoadOutcome::CutShort},
    };
    for (const FailingRead& c : failingReads) {
        CFilterCore core;
        CMemoryStream stream(kDefaultSettingsStream);
        stream.m_failRead = c.read;
        stream.m_failStatus = c.status;
        stream.m_failedReadDelivers = c.delivers;
        SetStreamCell(stream.m_bytes, MasterCc, 11);
        SetStreamCell(stream.m_bytes, LowIn, 22);
        EXPECT_EQ(LoadSettings(core, &stream), c.outcome) << c.what;
        EXPECT_EQ(core.GetParam(SettingRow, MasterCc), c.outcome == LoadOutcome::CutShort ? 11 : 1) << c.what;
        EXPECT_EQ(core.GetParam(SettingRow, LowIn), 0) << c.what << ": nothing from the refused read on is stored";
    }
    for (const size_t size : {15u, 62u}) {  // S_OK with a short count, as some streams answer
        CFilterCore core;
        std::vector<BYTE> bytes = kDefaultSettingsStream;
        SetStreamCell(bytes, 0, 77);
        bytes.resize(size);
        CMemoryStream stream(bytes);
        stream.m_shortReadStatus = S_OK;
        EXPECT_EQ(LoadSettings(core, &stream), size < 16 ? LoadOutcome::BadHeader : LoadOutcome::CutShort) << size;
        EXPECT_EQ(core.GetParam(CcAssignRow, 5), 128) << "the short last cell is not stored";
    }
}

TEST(SettingsStream, ReadsAndWritesExactlySixtyFourBytesAtThePosition) {
    std::vector<BYTE> bytes(80, 0xEE);  // 8 bytes before the settings, 8 after
    std::copy(kDefaultSettingsStream.begin(), kDefaultSettingsStream.end(), bytes.begin() + 8);
    CFilterCore core;
    CMemoryStream stream(bytes);
    stream.m_position = 8;
    EXPECT_EQ(LoadSettings(core, &stream), LoadOutcome::Loaded);
    EXPECT_EQ(stream.m_position, 72u);

    stream.m_position = 3;
    EXPECT_EQ(SaveSettings(core, &stream), S_OK);
    EXPECT_EQ(stream.m_position, 67u);
    EXPECT_EQ(stream.m_bytes.size(), 80u);
    EXPECT_EQ(stream.m_bytes[2], 0xEE);
    EXPECT_EQ(stream.m_bytes[72], 0xEE) << "bytes after the written ones are left";
}

TEST(SettingsStream, FailingWritesMapToTheTwoSaveErrors) {
    struct Case {
        int failingWrite;
        HRESULT status;
        HRESULT expected;
    };
    const Case cases[] = {
        {1, STG_E_MEDIUMFULL, STG_E_MEDIUMFULL}, {7, STG_E_MEDIUMFULL, STG_E_MEDIUMFULL},
        {13, STG_E_MEDIUMFULL, STG_E_MEDIUMFULL}, {1, E_FAIL, STG_E_CANTSAVE},
        {9, STG_E_WRITEFAULT, STG_E_CANTSAVE},   {13, E_OUTOFMEMORY, STG_E_CANTSAVE},
    };
    for (const Case& c : cases) {
        CFilterCore core;
        CMemoryStream stream;
        stream.m_failWrite = c.failingWrite;
        stream.m_failStatus = c.status;
        EXPECT_EQ(SaveSettings(core, &stream), c.expected) << "write " << c.failingWrite;
        EXPECT_EQ(stream.m_writes, c.failingWrite) << "Save stops at the failing write";
        const size_t kept = c.failingWrite == 1 ? 0 : 16 + 4 * static_cast<size_t>(c.failingWrite - 2);
        EXPECT_EQ(stream.m_bytes.size(), kept) << "what was written stays";
    }
    CFilterCore core;
    CMemoryStream stream;
    stream.m_failWrite = 2;
    stream.m_failStatus = S_FALSE;  // success code: counts as written
    EXPECT_EQ(SaveSettings(core, &stream), S_OK);
}
