// A bare PluginBase for framework tests: no modules, its controller map file in a
// private temporary folder, and the messages it shows collected.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "framework/PluginBase.h"
#include "platform/MessageBox.h"

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zorvek-test-XXXXXX").string();
        path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path, ignored);
    }
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

// Collects "caption: text" messages while alive.
class MessageLog {
public:
    MessageLog() {
        platform::setMessageSink([this](const char* caption, const char* text) {
            messages.push_back(std::string(caption) + ": " + text);
        });
    }
    ~MessageLog() { platform::setMessageSink({}); }
    std::vector<std::string> messages;
};

class BarePlugin : public PluginBase {
public:
    BarePlugin(const std::string& iniPath, audioMasterCallback host = nullptr)
        : PluginBase(host, kNumAutomatable, kVocoderParams, "Zorvek2", "Zorvek2", "Drennak", iniPath) {}
    using PluginBase::dispatchController;
    using PluginBase::loadChunk;
};
