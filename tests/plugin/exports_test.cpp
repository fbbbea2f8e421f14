// Each plug-in library, VST 2 or LV2, exports only its two entry points: a host that loads both must
// never bind one plug-in's symbols to the other's code.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

std::set<std::string> exportedSymbols(const std::string& library) {
    std::string command = "nm -D --defined-only " + library;
    FILE* pipe = popen(command.c_str(), "r");
    std::set<std::string> symbols;
    if (!pipe) return symbols;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        text.erase(text.find_last_not_of("\n") + 1);
        std::string name = text.substr(text.find_last_of(' ') + 1);
        // Section boundary markers that some link modes (sanitizer builds) add.
        if (name != "__bss_start" && name != "_edata" && name != "_end") symbols.insert(name);
    }
    EXPECT_EQ(pclose(pipe), 0);
    return symbols;
}

struct Library {
    const char* path;  // relative to the build folder
    std::set<std::string> entries;
};

class Exports : public ::testing::TestWithParam<Library> {};

TEST_P(Exports, OnlyTheEntryPoints) {
    EXPECT_EQ(exportedSymbols(std::string(ZORVEK_BINARY_DIR "/") + GetParam().path), GetParam().entries);
}

const std::set<std::string> kVst2 = {"VSTPluginMain", "main"};
const std::set<std::string> kLv2 = {"lv2_descriptor", "lv2ui_descriptor"};
INSTANTIATE_TEST_SUITE_P(Plugins, Exports,
                         ::testing::Values(Library{"plugins/Zorvek2.so", kVst2},
                                           Library{"plugins/ZorvekCapture.so", kVst2},
                                           Library{"lv2/Zorvek2.lv2/Zorvek2.so", kLv2},
                                           Library{"lv2/ZorvekCapture.lv2/ZorvekCapture.so", kLv2}));

}  // namespace
