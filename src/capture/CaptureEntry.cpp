// Entry of the ZorvekCapture library.
#include <new>

#include "capture/CapturePlugin.h"
#include "host/PluginEntry.h"

AudioEffectX* createEffectInstance(audioMasterCallback host) { return new (std::nothrow) CapturePlugin(host); }
