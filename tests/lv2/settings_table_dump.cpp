// Prints the core's settings table as tab-separated lines, for the checks of
// what each face shows hosts (the LV2 bundle as lilv reads it, the page):
//   setting SYMBOL NAME MINIMUM MAXIMUM DEFAULT DISPLAY UNIT
//   mode    VALUE NAME
//   preset  KEY LABEL VALUE,VALUE,...
// The display is the table's kind (controller, amount, number, mode): the
// checks work out what it means for themselves.
#include <cstdio>

#include "core/settings_table.h"

int main() {
    static const char* const kDisplays[] = {"controller", "amount", "number", "mode"};
    for (const SettingDescription& setting : kSettingTable)
        std::printf("setting\t%s\t%s\t%d\t%d\t%d\t%s\t%s\n", setting.symbol, setting.name, setting.minimum,
                    setting.maximum, setting.defaultValue, kDisplays[static_cast<int>(setting.display)], setting.unit);
    for (std::uint32_t mode = 0; mode < kModeCount; ++mode) std::printf("mode\t%u\t%s\n", mode, kModeNames[mode]);
    for (const SettingsPreset& preset : kPresets) {
        std::printf("preset\t%s\t%s\t", preset.key, preset.label);
        for (std::uint32_t index = 0; index < kParamsPerRow; ++index)
            std::printf("%s%d", index == 0 ? "" : ",", preset.values[index]);
        std::printf("\n");
    }
    return 0;
}
