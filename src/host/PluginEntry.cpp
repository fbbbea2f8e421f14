#include "host/PluginEntry.h"

#include <atomic>
#include <new>

namespace {
std::atomic<bool> editorCreationFailed{false};
}

void markEditorCreationFailed() { editorCreationFailed.store(true); }

AEffect* pluginMain(audioMasterCallback host) {
    if (!host || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    editorCreationFailed.store(false);
    // No exception may unwind into the host: a plug-in whose buffers cannot be allocated
    // is answered as no plug-in.
    AudioEffectX* plugin = nullptr;
    try {
        plugin = createEffectInstance(host);
    } catch (...) {
        return nullptr;
    }
    if (!plugin) return nullptr;
    if (editorCreationFailed.load()) {
        delete plugin;
        return nullptr;
    }
    return plugin->getAeffect();
}

extern "C" {
__attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) { return pluginMain(host); }
__attribute__((visibility("default"))) AEffect* vstMainEntry(audioMasterCallback host) __asm__("main");
AEffect* vstMainEntry(audioMasterCallback host) { return pluginMain(host); }
}
