// veltrace-host's command line, the settings it hands the filter, and how it
// writes files.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/core/golden_settings.h"
#include "tools/host/host_options.h"

namespace {

std::string ErrorOf(const std::vector<std::string>& arguments) {
    try {
        ParseHostOptions(arguments);
    } catch (const InputError& error) {
        return error.what();
    }
    return "no error";
}

TEST(HostOptions, ReadsEverySettingAndOption) {
    const HostOptions options = ParseHostOptions({"--master", "pressure", "--modifier=11", "--amount", "100", "--low",
                                                  "0", "--high=127", "--mode", "Rel64", "--live", "--slice", "7",
                                                  kPluginOption, "x.dll", "--settings", "s.bin", "--save-settings", "t.bin",
                                                  "in.mid", "out.mid"});
    EXPECT_EQ(options.settings, (std::array<std::optional<std::int32_t>, 6>{0, 11, 100, 0, 127, 2}));
    EXPECT_TRUE(options.playback.live);
    EXPECT_EQ(options.playback.sliceTicks, 7u);
    EXPECT_EQ(options.plugin + options.settingsFile + options.saveSettingsFile, "x.dlls.bint.bin");
    EXPECT_EQ(options.input + " " + options.output, "in.mid out.mid");
    const HostOptions bare = ParseHostOptions({"a.mid", "b.mid"});
    EXPECT_EQ(bare.settings, (std::array<std::optional<std::int32_t>, 6>{}));
    EXPECT_FALSE(bare.playback.live);
    EXPECT_TRUE(ParseHostOptions({"--help"}).help);
}

TEST(HostOptions, EveryMistakeIsNamed) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"--volume", "3", "a", "b"}, "unknown option --volume"},
        {{"-x", "a", "b"}, "unknown option -x"},
        {{"a", "b", "--amount"}, "--amount needs a value"},
        {{"--amount", "101", "a", "b"}, "--amount must be 0..100, not '101'"},
        {{"--low", "-1", "a", "b"}, "--low must be 0..127, not '-1'"},
        {{"--high", "12x", "a", "b"}, "--high must be 0..127, not '12x'"},
        {{"--master", "128", "a", "b"}, "--master must be a controller number 1..127, or pressure (0), not '128'"},
        {{"--modifier", "aftertouch", "a", "b"}, "--modifier must be a controller number"},
        {{"--mode", "mul", "a", "b"}, "--mode must be add, sub or rel64, not 'mul'"},
        {{"--slice", "0", "a", "b"}, "--slice must be 1..1000000 ticks, not '0'"},
        {{"--live=yes", "a", "b"}, "--live takes no value"},
        {{"a"}, "expected INPUT.mid and OUTPUT.mid, got 1 file names"},
        {{"a", "b", "c"}, "got 3 file names"},
    };
    for (const auto& [arguments, message] : cases)
        EXPECT_NE(ErrorOf(arguments).find(message), std::string::npos) << ErrorOf(arguments);
}

TEST(HostOptions, SettingOptionsOverrideTheStream) {
    SettingsCells cells = ReadSettingsStream(kDefaultSettingsStream, "s");
    HostOptions options;
    options.settings[2] = 40;
    options.settings[5] = 1;
    ApplySettingOptions(options, cells);
    EXPECT_EQ(cells, (SettingsCells{1, 0, 40, 0, 96, 1, 128, 128, 128, 128, 128, 128}));
}

TEST(HostOptions, FilesAreReplacedWholeOrNotAtAll) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("veltrace-host-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(folder);
    const std::string target = (folder / "out.mid").string();
    WriteFileReplacing(target, {1, 2, 3});
    WriteFileReplacing(target, {4, 5});
    EXPECT_EQ(ReadWholeFile(target), (std::vector<std::uint8_t>{4, 5}));
    EXPECT_TRUE(SameFile(target, (folder / "." / "out.mid").string()));
    EXPECT_FALSE(SameFile(target, (folder / "in.mid").string()));
    EXPECT_THROW(WriteFileReplacing((folder / "missing" / "out.mid").string(), {1}), InputError);
    EXPECT_THROW(ReadWholeFile((folder / "missing.mid").string()), InputError);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << "nothing left behind";
    fs::remove_all(folder);
}

}  // namespace
