// Each plug-in library exports only its two entry points: a host that loads both must
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

class Exports : public ::testing::TestWithParam<const char*> {};

TEST_P(Exports, OnlyTheEntryPoints) {
    EXPECT_EQ(exportedSymbols(std::string(ZORVEK_PLUGIN_DIR "/") + GetParam()),
              (std::set<std::string>{"VSTPluginMain", "main"}));
}

INSTANTIATE_TEST_SUITE_P(Plugins, Exports, ::testing::Values("Zorvek2.so", "ZorvekCapture.so"));

}  // namespace
