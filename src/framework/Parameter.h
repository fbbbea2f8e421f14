// One live parameter entry, created from its descriptor.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>

#include "dsp/ParamValue.h"
#include "framework/ParamDesc.h"

class CControl;

// Brings a value into 0..1 (infinities clamp). Answers false for NaN, which would reach
// float-to-int conversions in the modules and is never stored.
inline bool toParameterRange(float& value) {
    if (std::isnan(value)) return false;
    if (value >= 1.0f)
        value = 1.0f;
    else if (value <= 0.0f)
        value = 0.0f;
    return true;
}

struct Parameter {
    ControlKind kind{};
    int32_t x = 0, y = 0;
    // Set by the editor while it is open (user-interface thread only).
    CControl* control = nullptr;
    char label[16] = {};
    char name[32] = {};
    // Format string; for File1..File4 the path the vocoder stores once a chunk set one.
    std::atomic<const char*> text{nullptr};
    // The live value, always within 0..1.
    ParamValue value{0.0f};
    float defaultValue = 0.0f;
    int32_t bitmap1 = 0, bitmap2 = 0, bitmap3 = 0;
    int32_t width = 0, height = 0;
    int32_t frameSize = 0;
    int32_t stepped = 0, positions = 0;
    int32_t offsetX = 0, offsetY = 0;

    void fill(const ParamDesc& desc);
    float get() const { return value.load(std::memory_order_relaxed); }
};
