#include "framework/Parameter.h"

#include "host/AudioEffectX.h"

void Parameter::fill(const ParamDesc& desc) {
    kind = desc.kind;
    x = desc.x;
    y = desc.y;
    label[0] = 0;
    copyString(name, desc.name, sizeof name);
    text.store(desc.text, std::memory_order_relaxed);
    value.store(desc.defaultValue, std::memory_order_relaxed);
    defaultValue = desc.defaultValue;
    bitmap1 = desc.bitmap1;
    bitmap2 = desc.bitmap2;
    bitmap3 = desc.bitmap3;
    width = desc.width;
    height = desc.height;
    frameSize = desc.frameSize;
    stepped = desc.stepped;
    positions = desc.positions;
    offsetX = desc.offsetX;
    offsetY = desc.offsetY;
}
