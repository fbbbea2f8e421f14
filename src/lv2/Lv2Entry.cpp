#include "lv2/Lv2Entry.h"

extern "C" {
LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &lv2PluginDescriptor() : nullptr;
}
LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &lv2EditorDescriptor() : nullptr;
}
}
