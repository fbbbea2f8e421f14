// Entry of the ZorvekCapture library: the plug-in with its editor.
#include <memory>
#include <new>

#include "capture/CapturePlugin.h"
#include "editor/CaptureEditor.h"
#include "host/PluginEntry.h"

AudioEffectX* createEffectInstance(audioMasterCallback host) {
    // Owned until handed over, so an editor that throws does not leak the plug-in.
    std::unique_ptr<CapturePlugin> plugin(new (std::nothrow) CapturePlugin(host));
    if (!plugin) return nullptr;
    if (auto* editor = new (std::nothrow) CaptureEditor(plugin.get()))
        plugin->setEditor(editor);
    else
        markEditorCreationFailed();
    return plugin.release();
}
