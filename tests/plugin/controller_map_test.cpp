#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/LoadedPlugin.h"
#include "support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

// A copy of the plug-in in a private folder, and a private configuration home, so both
// ini files are this test's own.
class PrivatePluginCopy {
public:
    PrivatePluginCopy() {
        fs::copy_file(fs::path(ZORVEK_PLUGIN_DIR) / "Zorvek2.so", library());
        for (const auto& entry : fs::directory_iterator(ZORVEK_PLUGIN_DIR))
            if (entry.path().extension() == ".wav")
                fs::create_symlink(entry.path(), folder.file(entry.path().filename()));
        setenv("XDG_CONFIG_HOME", folder.file("config").c_str(), 1);
    }
    std::string library() const { return folder.file("Zorvek2.so"); }
    std::string ini() const { return folder.file("Zorvek2.ini"); }
    std::string userIni() const { return folder.file("config/Zorvek/Zorvek2.ini"); }
    static std::string read(const std::string& path) {
        std::ifstream in(path);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    TempFolder folder;
};

bool automated(const LoadedPlugin& plugin, int32_t index, float value) {
    return std::any_of(plugin.automations.begin(), plugin.automations.end(),
                       [&](const LoadedPlugin::Automation& a) { return a.index == index && a.value == value; });
}

TEST(ControllerMap, ControllersMoveParametersThroughTheHost) {
    PrivatePluginCopy copy;
    const std::string shipped = "[other]\nkeep=me\n[midicc]\nCutoff=20\nReso=0\nPan=300\n";
    std::ofstream(copy.ini()) << shipped;
    {
        LoadedPlugin plugin(copy.library());
        ASSERT_NE(plugin.effect(), nullptr);
        plugin.start();
        std::vector<float> left, right;

        plugin.sendMidi(0xB0, 7, 127);
        plugin.render(left, right, 512);
        EXPECT_EQ(plugin.getParameter(0), 1.0f);
        EXPECT_TRUE(automated(plugin, 0, 127 * 0.007874016f));

        // Osc1Frm (20 by default) and Cutoff share controller 20.
        plugin.sendMidi(0xB0, 20, 0);
        plugin.render(left, right, 512);
        EXPECT_EQ(plugin.getParameter(4), 0.0f);
        EXPECT_EQ(plugin.getParameter(20), 0.0f);

        // Controller 0 and Pan's dropped controller move nothing.
        float reso = plugin.getParameter(21);
        float pan = plugin.getParameter(1);
        size_t before = plugin.automations.size();
        plugin.sendMidi(0xB0, 0, 127);
        plugin.sendMidi(0xB0, 10, 127);
        plugin.render(left, right, 512);
        EXPECT_EQ(plugin.getParameter(21), reso);
        EXPECT_EQ(plugin.getParameter(1), pan);
        EXPECT_EQ(plugin.automations.size(), before);

        plugin.sendMidi(0xB0, 64, 127);
        plugin.render(left, right, 512);
        EXPECT_EQ(plugin.getParameter(48), 1.0f);  // ChrsRat
    }
    // Written at close into the user's file only: all keys, the dropped controller as 0.
    EXPECT_EQ(PrivatePluginCopy::read(copy.ini()), shipped);
    std::string ini = PrivatePluginCopy::read(copy.userIni());
    EXPECT_EQ(ini.rfind("[midicc]\nVolume=7\nPan=0\nModSrc=41\n", 0), 0u) << ini;
    for (const char* line : {"\nCutoff=20\nReso=0\n", "\nMixVoc=71\n"})
        EXPECT_NE(ini.find(line), std::string::npos) << line;
}

TEST(ControllerMap, AnUnreadableIniFileIsLeftAsItIs) {
    PrivatePluginCopy copy;
    // A folder holds the user's ini file's name: nothing is read or written there.
    fs::create_directories(copy.userIni());
    std::ofstream(copy.ini()) << "[midicc]\nVolume=9\n";
    {
        LoadedPlugin plugin(copy.library());
        ASSERT_NE(plugin.effect(), nullptr);
        plugin.start();
        std::vector<float> left, right;
        plugin.sendMidi(0xB0, 7, 127);  // Volume keeps its default controller
        plugin.render(left, right, 512);
        EXPECT_EQ(plugin.getParameter(0), 1.0f);
    }
    EXPECT_TRUE(fs::is_directory(copy.userIni()));
    EXPECT_TRUE(fs::is_empty(copy.userIni()));
    for (const auto& entry : fs::directory_iterator(copy.folder.file("config/Zorvek")))
        EXPECT_EQ(entry.path().filename().string().rfind("Zorvek2.ini.", 0), std::string::npos) << entry.path();
}

}  // namespace
