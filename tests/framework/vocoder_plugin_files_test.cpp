#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "framework/BarePlugin.h"
#include "framework/VocoderPlugin.h"

namespace {

std::string lastLine(PluginBase& plugin, bool isPreset) {
    void* data = nullptr;
    int32_t size = plugin.getChunk(&data, isPreset);
    const char* text = static_cast<const char*>(data);
    std::string line;
    for (int32_t at = 4; at < size && text[at]; at += static_cast<int32_t>(std::strlen(text + at)) + 1)
        line = text + at;
    return line;
}

TEST(VocoderPluginFiles, FactoryBankFillsTheSlotsAndTheFileEntriesShowThem) {
    MessageLog log;  // the test folder holds no WAV files
    auto plugin = std::make_unique<VocoderPlugin>(nullptr);
    EXPECT_STREQ(plugin->fileSlotPath(3), ".\\speech.wav");
    EXPECT_EQ(plugin->parameter(63).text.load(), plugin->fileSlotPath(3));
    EXPECT_EQ(plugin->getParameter(0), 0.8f);
    char name[32] = {};
    plugin->getProgramName(name);
    EXPECT_STREQ(name, "Default");
}

TEST(VocoderPluginFiles, ChosenFileIsWhatTheNextChunkSaves) {
    MessageLog log;
    auto plugin = std::make_unique<VocoderPlugin>(nullptr);
    plugin->fileSelected(63, "./chosen.wav");
    EXPECT_EQ(lastLine(*plugin, false), "00File4=./chosen.wav");
    EXPECT_EQ(lastLine(*plugin, true), "File4=./chosen.wav");
    EXPECT_STREQ(static_cast<const char*>(plugin->parameter(63).text.load()), "./chosen.wav");
    plugin->fileSelected(59, "./ignored.wav");  // a file button, not a file entry
    EXPECT_EQ(lastLine(*plugin, false), "00File4=./chosen.wav");
}

}  // namespace
