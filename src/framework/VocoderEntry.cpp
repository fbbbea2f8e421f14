// Entry of the Zorvek2 library.
#include <new>

#include "framework/VocoderPlugin.h"
#include "host/PluginEntry.h"

AudioEffectX* createEffectInstance(audioMasterCallback host) { return new (std::nothrow) VocoderPlugin(host); }
