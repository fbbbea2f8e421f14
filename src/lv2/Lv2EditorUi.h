// The plug-in's own editor as an LV2 X11 UI: opened in the host's parent window on the
// plug-in instance the host hands over (instance access), idled by the host, and its
// parameter changes written to the host's control ports so the host records them.
#pragma once

#include <lv2/ui/ui.h>

class AEffEditor;
class Lv2Plugin;

class Lv2EditorUi {
public:
    // User-interface thread, as every operation here. Null when the host offers no
    // parent window or instance access, or the plug-in has no editor.
    static Lv2EditorUi* create(LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                               const LV2_Feature* const* features);
    ~Lv2EditorUi();
    Lv2EditorUi(const Lv2EditorUi&) = delete;
    Lv2EditorUi& operator=(const Lv2EditorUi&) = delete;

    // 0 while the window is open.
    int idle();

    // A descriptor for an X11 UI of this kind with the given URI.
    static LV2UI_Descriptor descriptor(const char* uri);

private:
    Lv2EditorUi(Lv2Plugin& plugin, AEffEditor& editor, LV2UI_Write_Function write, LV2UI_Controller controller);

    Lv2Plugin& plugin;
    AEffEditor& editor;
    LV2UI_Write_Function write;
    LV2UI_Controller controller;
};
