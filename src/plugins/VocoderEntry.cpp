// Entry of the Zorvek2 library: the plug-in with its editor, which lives a layer above
// the framework and is therefore attached here.
#include <new>

#include "editor/VocoderEditor.h"
#include "framework/VocoderPlugin.h"
#include "host/PluginEntry.h"

AudioEffectX* createEffectInstance(audioMasterCallback host) {
    auto* plugin = new (std::nothrow) VocoderPlugin(host);
    if (!plugin) return nullptr;
    if (auto* editor = new (std::nothrow) VocoderEditor(plugin)) {
        plugin->setEditor(editor);
        // Knobs follow the pointer linearly in every editor of the process.
        editor->setKnobMode(kLinearMode);
    } else {
        markEditorCreationFailed();
    }
    return plugin;
}
