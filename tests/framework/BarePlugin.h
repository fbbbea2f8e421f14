// A bare PluginBase for framework tests: no modules, its controller map file in a
// private temporary folder, and the messages it shows collected.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "framework/PluginBase.h"
#include "support/MessageLog.h"
#include "support/TempFolder.h"

class BarePlugin : public PluginBase {
public:
    BarePlugin(const std::string& iniPath, audioMasterCallback host = nullptr)
        : PluginBase(host, kNumAutomatable, kVocoderParams, "Zorvek2", "Zorvek2", "Drennak", iniPath) {}
    using PluginBase::dispatchController;
    using PluginBase::loadChunk;
};
