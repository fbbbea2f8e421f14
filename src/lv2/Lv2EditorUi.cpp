#include "lv2/Lv2EditorUi.h"

#include <lv2/instance-access/instance-access.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "gui/AEffGUIEditor.h"
#include "gui/CFrame.h"
#include "lv2/Lv2Plugin.h"

namespace {

void* feature(const LV2_Feature* const* features, const char* uri) {
    for (; features && *features; ++features)
        if (std::strcmp((*features)->URI, uri) == 0) return (*features)->data;
    return nullptr;
}

// Nothing the editor throws (an allocation that failed) reaches the host: no UI, or
// an idle that reports the UI closed.
LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
    try {
        return Lv2EditorUi::create(write, controller, widget, features);
    } catch (...) {
        return nullptr;
    }
}

void cleanup(LV2UI_Handle ui) { delete static_cast<Lv2EditorUi*>(ui); }

// Host changes of the control ports reach the editor through the plug-in, which shows
// every parameter it is given: nothing to do here.
void portEvent(LV2UI_Handle, uint32_t, uint32_t, uint32_t, const void*) {}

int idle(LV2UI_Handle ui) {
    try {
        return static_cast<Lv2EditorUi*>(ui)->idle();
    } catch (...) {
        return 1;
    }
}

const LV2UI_Idle_Interface kIdle{idle};

const void* extensionData(const char* uri) { return std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &kIdle : nullptr; }

}  // namespace

LV2UI_Descriptor Lv2EditorUi::descriptor(const char* uri) {
    return LV2UI_Descriptor{uri, instantiate, cleanup, portEvent, extensionData};
}

Lv2EditorUi* Lv2EditorUi::create(LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                                 const LV2_Feature* const* features) {
    void* parent = feature(features, LV2_UI__parent);
    auto* plugin = static_cast<Lv2Plugin*>(feature(features, LV2_INSTANCE_ACCESS_URI));
    if (!parent || !plugin || !plugin->plugin() || !widget) return nullptr;
    AEffEditor* editor = plugin->plugin()->getEditor();
    if (!editor) return nullptr;
    ERect* rect = nullptr;
    editor->getRect(&rect);
    if (!editor->open(parent)) return nullptr;
    auto* ui = new (std::nothrow) Lv2EditorUi(*plugin, *editor, write, controller);
    if (!ui) {
        editor->close();
        return nullptr;
    }
    // The widget of an X11 UI is its window; the parent stands in when the editor
    // could not make one (no display), so the host still has a valid handle.
    auto* toolkit = dynamic_cast<AEffGUIEditor*>(editor);
    unsigned long window = toolkit && toolkit->getFrame() ? toolkit->getFrame()->getSystemWindow() : 0;
    *widget = window ? reinterpret_cast<LV2UI_Widget>(static_cast<uintptr_t>(window)) : parent;
    if (auto* resize = static_cast<LV2UI_Resize*>(feature(features, LV2_UI__resize))) {
        if (rect) resize->ui_resize(resize->handle, rect->right - rect->left, rect->bottom - rect->top);
        // The user's scale menu resizes the editor later on: the host hears of it here.
        if (toolkit)
            toolkit->setSizeHandler(
                [](void* context, int32_t width, int32_t height) {
                    auto* host = static_cast<LV2UI_Resize*>(context);
                    host->ui_resize(host->handle, width, height);
                },
                resize);
    }
    return ui;
}

Lv2EditorUi::Lv2EditorUi(Lv2Plugin& owner, AEffEditor& opened, LV2UI_Write_Function writer, LV2UI_Controller host)
    : plugin(owner), editor(opened), write(writer), controller(host) {}

Lv2EditorUi::~Lv2EditorUi() {
    // The host's resize feature ends with this UI.
    if (auto* toolkit = dynamic_cast<AEffGUIEditor*>(&editor)) toolkit->setSizeHandler(nullptr, nullptr);
    editor.close();
}

int Lv2EditorUi::idle() {
    editor.idle();
    plugin.takeAutomation([this](int32_t index, float value) {
        write(controller, static_cast<uint32_t>(index), sizeof value, 0, &value);
    });
    return 0;
}
