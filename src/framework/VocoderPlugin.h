// The Zorvek2 plug-in object: the framework plus the instrument's modules, wired once.
#pragma once

#include "framework/PluginBase.h"

class VocoderPlugin : public PluginBase {
public:
    explicit VocoderPlugin(audioMasterCallback host);
    ~VocoderPlugin() override;
};
