// What a user hands in, checked: settings streams read and written back,
// settings out of range and MIDI files refused, each fault named in one line.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "midi/settings_file.h"
#include "tests/core/golden_settings.h"

namespace {

TEST(SettingsFile, StreamsReadBackAndEachFaultIsNamed) {
    const SettingsCells cells = ReadSettingsStream(kDefaultSettingsStream, "s");
    EXPECT_EQ(cells, (SettingsCells{1, 0, 85, 0, 96, 0, 128, 128, 128, 128, 128, 128}));
    EXPECT_EQ(WriteSettingsStream(cells), kDefaultSettingsStream);
    EXPECT_EQ(StreamsOf(cells).masterCc, 1);

    std::vector<std::uint8_t> shortStream(kDefaultSettingsStream.begin(), kDefaultSettingsStream.begin() + 40);
    std::vector<std::uint8_t> badMagic = kDefaultSettingsStream, version2 = kDefaultSettingsStream;
    badMagic[3] = 0;
    version2[4] = 2;
    const std::pair<std::vector<std::uint8_t>, const char*> bad[] = {
        {shortStream, "s: 40 bytes; a settings stream is 64"},
        {badMagic, "s: not a Veltrace settings stream"},
        {version2, "s: settings version 2; this plug-in reads version 1"},
    };
    for (const auto& [bytes, message] : bad) {
        try {
            ReadSettingsStream(bytes, "s");
            ADD_FAILURE() << message;
        } catch (const InputError& error) {
            EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
        }
    }
}

std::string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const InputError& error) {
        return error.what();
    }
    return "no error";
}

TEST(SettingsFile, RefusalsNameTheSettingOrTheFile) {
    SettingsCells cells = DefaultSettingsCells();
    EXPECT_EQ(ErrorOf([&] { CheckSettingsWithinControls(cells); }), "no error");
    cells[EffectAmount] = 101;
    EXPECT_EQ(ErrorOf([&] { CheckSettingsWithinControls(cells); }),
              "the settings hold 101 for Effect Amount; the plug-in's control takes 0..100");
    const std::uint8_t notMidi[] = {'R', 'I', 'F', 'F'};
    EXPECT_EQ(ErrorOf([&] { ReadMidiFile(notMidi, sizeof notMidi, "song.mid"); }).rfind("song.mid: ", 0), 0u);
}

}  // namespace
