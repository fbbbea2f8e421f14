// Entry of the ZorvekCapture library: the plug-in with its editor.
#include <new>

#include "capture/CapturePlugin.h"
#include "editor/CaptureEditor.h"
#include "host/PluginEntry.h"

AudioEffectX* createEffectInstance(audioMasterCallback host) {
    auto* plugin = new (std::nothrow) CapturePlugin(host);
    if (!plugin) return nullptr;
    if (auto* editor = new (std::nothrow) CaptureEditor(plugin))
        plugin->setEditor(editor);
    else
        markEditorCreationFailed();
    return plugin;
}
