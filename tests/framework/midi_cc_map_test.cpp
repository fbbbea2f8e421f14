#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/BarePlugin.h"
#include "framework/MidiCcMap.h"
#include "support/HostCallback.h"

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

class MidiCcMapTest : public ::testing::Test {
protected:
    void SetUp() override { testhost::host().clear(); }
    TempFolder folder;
    std::string ini = folder.file("Zorvek2.ini");
};

TEST_F(MidiCcMapTest, DefaultsWithoutFileAndAllKeysWrittenAtDestruction) {
    {
        MidiCcMap map(kNumAutomatable, kVocoderParams, ini);
        const int expected[][2] = {{0, 7},   {1, 10},  {2, 41}, {3, 14},  {4, 20},
                                   {23, 39}, {24, 40}, {25, 5}, {26, 42}, {55, 71}};
        for (auto [parameter, controller] : expected) EXPECT_EQ(map.controllerOf(parameter), controller) << parameter;
    }
    std::string expected = "[midicc]\n";
    for (int i = 0; i < kNumAutomatable; ++i)
        expected +=
            std::string(kVocoderParams[i].name) + "=" + std::to_string(kVocoderParams[i].defaultController) + "\n";
    EXPECT_EQ(readFile(ini), expected);
}

TEST_F(MidiCcMapTest, Controller7SetsVolumeAndTellsTheHost) {
    BarePlugin plugin(ini, testhost::callback);
    plugin.dispatchController(7, 127);
    EXPECT_EQ(plugin.getParameter(0), 1.0f);
    EXPECT_EQ(testhost::automations(), (std::vector<testhost::Automation>{{0, 127 * 0.007874016f}}));
    plugin.dispatchController(7, 64);
    EXPECT_EQ(plugin.getParameter(0), 64 * 0.007874016f);
    EXPECT_EQ(testhost::automations().size(), 2u);
}

TEST_F(MidiCcMapTest, ControllerZeroNeverMovesAParameter) {
    writeFile(ini, "[midicc]\nVolume=0\n");
    BarePlugin plugin(ini, testhost::callback);
    plugin.dispatchController(0, 127);
    plugin.dispatchController(7, 127);  // Volume no longer listens to 7
    EXPECT_EQ(plugin.getParameter(0), 0.8f);
    EXPECT_TRUE(testhost::automations().empty());
}

TEST_F(MidiCcMapTest, TwoParametersFollowOneController) {
    writeFile(ini, "[midicc]\nCutoff=20\n");  // Osc1Frm has 20 by default
    BarePlugin plugin(ini, testhost::callback);
    plugin.dispatchController(20, 0);
    EXPECT_EQ(testhost::automations(), (std::vector<testhost::Automation>{{4, 0.0f}, {20, 0.0f}}));
    EXPECT_EQ(plugin.getParameter(4), 0.0f);
    EXPECT_EQ(plugin.getParameter(20), 0.0f);
    plugin.dispatchController(36, 127);  // Cutoff's own controller is gone
    EXPECT_EQ(testhost::automations().size(), 2u);
}

TEST_F(MidiCcMapTest, ValuesOutOfRangeLeaveNoControllerAndAreWrittenAsZero) {
    writeFile(ini, "[midicc]\nVolume=300\nPan=255\nModSrc=-3\nBndRng=abc\nOsc1Frm=99999999999999999999\nGlide= 12 \n");
    {
        MidiCcMap map(kNumAutomatable, kVocoderParams, ini);
        for (int parameter : {0, 1, 2, 3, 4}) EXPECT_EQ(map.controllerOf(parameter), 0) << parameter;
        EXPECT_EQ(map.controllerOf(25), 12);
        BarePlugin plugin(folder.file("other.ini"), testhost::callback);
        for (int controller : {7, 10, 41, 14, 20, 255}) map.dispatch(controller, 1.0f, plugin);
        EXPECT_TRUE(testhost::automations().empty());
    }
    std::string written = readFile(ini);
    for (const char* line :
         {"\nVolume=0\n", "\nPan=0\n", "\nModSrc=0\n", "\nBndRng=0\n", "\nOsc1Frm=0\n", "\nGlide=12\n"})
        EXPECT_NE(written.find(line), std::string::npos) << line;
}

TEST_F(MidiCcMapTest, Controller64MovesChrsRatAndHoldsNotes) {
    BarePlugin plugin(ini, testhost::callback);
    auto send = [&](std::vector<std::array<int, 3>> messages) {
        std::vector<VstMidiEvent> events(messages.size());
        std::vector<char> storage(sizeof(VstEvents) + messages.size() * sizeof(VstEvent*));
        auto* list = reinterpret_cast<VstEvents*>(storage.data());
        list->numEvents = static_cast<int32_t>(messages.size());
        for (size_t i = 0; i < messages.size(); ++i) {
            events[i].type = kVstMidiType;
            events[i].byteSize = sizeof(VstMidiEvent);
            for (int b = 0; b < 3; ++b) events[i].midiData[b] = static_cast<char>(messages[i][b]);
            list->events[i] = reinterpret_cast<VstEvent*>(&events[i]);
        }
        plugin.processEvents(list);
        float left[64] = {}, right[64] = {};
        float* outputs[2] = {left, right};
        plugin.processReplacing(nullptr, outputs, 64);
    };
    send({{0x90, 60, 127}, {0xB0, 64, 127}, {0x80, 60, 0}});
    EXPECT_EQ(plugin.getParameter(48), 1.0f);
    EXPECT_EQ(testhost::automations(), (std::vector<testhost::Automation>{{48, 127 * 0.007874016f}}));
    float gate = 0.0f;
    for (float v : plugin.keyboard().gateVelocities.v) gate += v;
    EXPECT_EQ(gate, 127 * 0.007874016f);  // the pedal holds the released key
    send({{0xB0, 64, 0}});
    EXPECT_EQ(plugin.getParameter(48), 0.0f);
    for (float v : plugin.keyboard().gateVelocities.v) EXPECT_EQ(v, 0.0f);
}

TEST_F(MidiCcMapTest, OtherSectionsKeysAndCommentsSurviveTheWrite) {
    const std::string before =
        "; written by hand\n[Other]\nkey=value\n\n[MIDICC]\nvolume=9\nUnrelated=1\n\n[tail]\nx=y\n";
    writeFile(ini, before);
    {
        MidiCcMap map(kNumAutomatable, kVocoderParams, ini);
        EXPECT_EQ(map.controllerOf(0), 9);  // section and key names ignore case
    }
    std::string after = readFile(ini);
    EXPECT_EQ(after.rfind("; written by hand\n[Other]\nkey=value\n\n[MIDICC]\nVolume=9\nUnrelated=1\nPan=10\n", 0), 0u)
        << after;
    EXPECT_EQ(after.substr(after.size() - 12), "\n[tail]\nx=y\n");
    EXPECT_NE(after.find("\nMixVoc=71\n\n[tail]"), std::string::npos);
}

TEST_F(MidiCcMapTest, AFailedWriteIsSkippedSilently) {
    // The folder of the file is a regular file: no one can create anything there.
    writeFile(folder.file("notafolder"), "x");
    {
        MessageLog log;
        { MidiCcMap map(kNumAutomatable, kVocoderParams, folder.file("notafolder/Zorvek2.ini")); }
        EXPECT_TRUE(log.messages.empty());
    }
    EXPECT_EQ(readFile(folder.file("notafolder")), "x");

    // A read-only folder keeps its file as it was (the superuser may write anyway).
    writeFile(ini, "[midicc]\nVolume=300\n");
    chmod(folder.path.c_str(), 0555);
    { MidiCcMap map(kNumAutomatable, kVocoderParams, ini); }
    chmod(folder.path.c_str(), 0700);
    if (geteuid() != 0)
        EXPECT_EQ(readFile(ini), "[midicc]\nVolume=300\n");
    else
        EXPECT_NE(readFile(ini).find("Volume=0\n"), std::string::npos);
}

TEST_F(MidiCcMapTest, TheUsersFileWinsAndIsTheOnlyOneWritten) {
    const std::string user = folder.file("config/Zorvek/Zorvek2.ini");
    const std::string shipped = folder.file("Zorvek2.ini");
    writeFile(shipped, "[midicc]\nVolume=9\n");
    {
        MidiCcMap map(kNumAutomatable, kVocoderParams, {user, shipped});
        EXPECT_EQ(map.controllerOf(0), 9);  // the user has no file yet
    }
    EXPECT_EQ(readFile(shipped), "[midicc]\nVolume=9\n");
    EXPECT_EQ(readFile(user).rfind("[midicc]\nVolume=9\nPan=10\n", 0), 0u) << readFile(user);

    writeFile(user, "[midicc]\nVolume=11\n");
    MidiCcMap map(kNumAutomatable, kVocoderParams, {user, shipped});
    EXPECT_EQ(map.controllerOf(0), 11);
}

TEST_F(MidiCcMapTest, AFileThatCannotBeReadIsNeverWrittenOver) {
    const std::string shipped = folder.file("shipped.ini"), big(300 * 1024, ';');
    writeFile(shipped, "[midicc]\nVolume=9\n");
    const std::string fifo = folder.file("fifo.ini"), link = folder.file("link.ini"), sub = folder.file("folder.ini");
    mkfifo(fifo.c_str(), 0600);
    symlink(fifo.c_str(), link.c_str());
    mkdir(sub.c_str(), 0700);
    writeFile(folder.file("big.ini"), big);
    for (const std::string& user : {fifo, link, sub, folder.file("big.ini")}) {
        MessageLog log;
        { EXPECT_EQ(MidiCcMap(kNumAutomatable, kVocoderParams, {user, shipped}).controllerOf(0), 7) << user; }
        ASSERT_EQ(log.messages.size(), 2u) << user;  // could not be read; left as it is
        for (const std::string& m : log.messages) EXPECT_NE(m.find(user), std::string::npos) << m;
    }
    struct stat info {};
    EXPECT_TRUE(lstat(link.c_str(), &info) == 0 && S_ISLNK(info.st_mode));
    EXPECT_TRUE(stat(fifo.c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
    EXPECT_EQ(readFile(folder.file("big.ini")), big);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path), {}), 5);  // no temporary left
}

TEST_F(MidiCcMapTest, UsersFileFollowsTheConfigurationHome) {
    const std::string saved = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(MidiCcMap::defaultFiles("Zorvek2").user, "/cfg/Zorvek/Zorvek2.ini");
    setenv("XDG_CONFIG_HOME", "relative", 1);  // only an absolute path counts
    EXPECT_EQ(MidiCcMap::defaultFiles("Zorvek2").user,
              std::string(std::getenv("HOME")) + "/.config/Zorvek/Zorvek2.ini");
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

TEST_F(MidiCcMapTest, IniFileNamedAfterTheLibrary) {
    EXPECT_EQ(MidiCcMap::iniPathFor("/home/u/.vst/Zorvek/Zorvek2.so"), "/home/u/.vst/Zorvek/Zorvek2.ini");
    EXPECT_EQ(MidiCcMap::iniPathFor("/opt/v1.2/Zorvek2"), "/opt/v1.2/Zorvek2.ini");
    EXPECT_EQ(MidiCcMap::iniPathFor("Zorvek2.so.1"), "Zorvek2.so.ini");
}

}  // namespace
