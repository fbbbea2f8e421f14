// The exported entry points `main` and `VSTPluginMain`, shared by both plug-ins.
#pragma once

#include "host/AudioEffectX.h"

// Defined once by each plug-in library (src/plugins/): constructs its plug-in object and
// attaches its editor.
AudioEffectX* createEffectInstance(audioMasterCallback host);

// Raised by createEffectInstance when the editor could not be created; the entry point
// then refuses the plug-in.
void markEditorCreationFailed();

// What `main` does, callable by tests without going through the exported symbol.
AEffect* pluginMain(audioMasterCallback host);
