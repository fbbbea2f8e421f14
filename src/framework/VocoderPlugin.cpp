#include "framework/VocoderPlugin.h"

VocoderPlugin::VocoderPlugin(audioMasterCallback host)
    : PluginBase(host, kNumAutomatable, kVocoderParams, "Zorvek2", "Zorvek2", "Drennak") {
    setUniqueID(0x31323234);  // '1224'
    setProgram(0);
    setSampleRate(44100.0f);
}

VocoderPlugin::~VocoderPlugin() = default;
