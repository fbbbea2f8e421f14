// The four constants that bend one phase ramp into the periodic forms of the
// oscillators and the LFO: g = min(high - x, max(low - x, x)) is a triangle for
// low 0.5 / high 1.5 and a ramp for low 0 / high 2; scale and cubic shape it further.
#pragma once

#include <bit>

struct ShapeConstants {
    float low;
    float high;
    float scale;
    float cubic;
};

// Just below 2 pi: the sine forms scale the triangle to +-1.5708 before bending it.
inline constexpr float kSineScale = std::bit_cast<float>(0x40C90FD0u);
