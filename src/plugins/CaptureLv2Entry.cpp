// LV2 entry of ZorvekCapture: the same plug-in object and editor as the VST 2 library.
#include <memory>
#include <new>

#include "capture/CapturePlugin.h"
#include "editor/CaptureEditor.h"
#include "lv2/Lv2EditorUi.h"
#include "lv2/Lv2Entry.h"
#include "plugins/Lv2Layouts.h"

namespace {

AudioEffectX* make(audioMasterCallback host) {
    // Owned until handed over, so an editor that throws does not leak the plug-in.
    std::unique_ptr<CapturePlugin> plugin(new (std::nothrow) CapturePlugin(host));
    if (plugin) {
        if (auto* editor = new (std::nothrow) CaptureEditor(plugin.get())) plugin->setEditor(editor);
    }
    return plugin.release();
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    return Lv2Plugin::start(new (std::nothrow) Lv2Plugin(lv2layout::kCapture, rate, lv2layout::kCaptureUri, features),
                            make);
}

}  // namespace

const LV2_Descriptor& lv2PluginDescriptor() {
    static const LV2_Descriptor descriptor = Lv2Plugin::descriptor(lv2layout::kCaptureUri, instantiate);
    return descriptor;
}

const LV2UI_Descriptor& lv2EditorDescriptor() {
    static const LV2UI_Descriptor descriptor = Lv2EditorUi::descriptor(lv2layout::kCaptureUiUri);
    return descriptor;
}
