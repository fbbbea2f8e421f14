// The exported entry points `lv2_descriptor` and `lv2ui_descriptor`, shared by both LV2
// libraries.
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

// Defined once by each LV2 library: its one plug-in and its one editor UI.
const LV2_Descriptor& lv2PluginDescriptor();
const LV2UI_Descriptor& lv2EditorDescriptor();
