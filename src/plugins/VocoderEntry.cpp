// Entry of the Zorvek2 library: the plug-in with its editor, which lives a layer above
// the framework and is therefore attached here.
#include <memory>
#include <new>

#include "editor/VocoderEditor.h"
#include "framework/VocoderPlugin.h"
#include "host/PluginEntry.h"

AudioEffectX* createEffectInstance(audioMasterCallback host) {
    // Owned until handed over, so an editor that throws does not leak the plug-in.
    std::unique_ptr<VocoderPlugin> plugin(new (std::nothrow) VocoderPlugin(host));
    if (!plugin) return nullptr;
    if (auto* editor = new (std::nothrow) VocoderEditor(plugin.get())) {
        plugin->setEditor(editor);
        // Knobs follow the pointer linearly in every editor of the process.
        editor->setKnobMode(kLinearMode);
    } else {
        markEditorCreationFailed();
    }
    return plugin.release();
}
