// Shared set-up for the synthesizer tests: a rack and a module context with voice
// flags the test controls, and plain scalar versions of the modules' vector paths
// written straight from the arithmetic they must reproduce.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dsp/Buffers.h"
#include "dsp/ExpTables.h"
#include "dsp/ModuleContext.h"
#include "dsp/ModuleRack.h"
#include "dsp/ParamValue.h"

struct SynthRig {
    ModuleRack rack;
    ModuleContext context;
    int32_t active[kVoices] = {1, 1, 1, 1, 1, 1, 1, 1};

    SynthRig() {
        ExpTables::fill();
        context.voiceActive = active;
        context.random.seed(5);
    }
};

// Deterministic test signal in [-1, 1].
class TestNoise {
public:
    explicit TestNoise(uint32_t seed) : state(seed) {}
    float next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<int32_t>(state >> 8) - (1 << 23)) * (1.0f / (1 << 23));
    }

private:
    uint32_t state;
};

namespace scalar {

// The vector units answer their second operand on ties and NaNs.
inline float vmin(float a, float b) { return a < b ? a : b; }
inline float vmax(float a, float b) { return a > b ? a : b; }

struct Shape {
    float low, high, scale, cubic;
};

// One voice of a periodic oscillator form for one frame.
struct OscillatorVoice {
    float increment = 0, reciprocal = 0, pw = 0, phase = 0;

    float next(const Shape& c) {
        phase += increment;
        phase -= std::trunc(phase);
        float x = vmax(phase - pw, 0.0f) * (1.0f / (1.0f - pw));
        float g = vmin(c.high - x, vmax(c.low - x, x));
        float u = (g - 0.5f) * c.scale;
        float s = u - c.cubic * (u * u * u);
        s = vmin(vmax(s, -1.0f), 1.0f);
        float d = vmin(1.0f - x, x);
        float w = vmin(d, 0.5f - d);
        float fade = vmin(w * (1.0f - pw), increment) * reciprocal;
        return s * fade;
    }
};

inline float voiceSum(const float* x) {
    return 0.5f * (((x[0] + x[4]) + (x[1] + x[5])) + ((x[3] + x[7]) + (x[2] + x[6])));
}

// One voice of the ladder filter.
struct LadderVoice {
    float b0 = 0, b1 = 0, a1 = 0, feedback = 0;
    float s1 = 0, s2 = 0, s3 = 0, y = 0, prev = 0;

    void setCutoff(float w, float reso) {
        bool limited = w > 0.42f;
        if (limited) w = 0.42f;
        double W = 2.0 * w;
        double k = 3.6 * W - 1.6 * (W * W) - 1.0;
        double p = (k + 1.0) * 0.5;
        b0 = b1 = static_cast<float>(p);
        a1 = static_cast<float>(k);
        auto K = static_cast<float>((1.0 - p) * 1.386249);
        feedback = limited || K < 0.0f ? 0.0f : fastExpE(K) * reso;
    }

    float next(float input) {
        float u = input - feedback * y;
        float n1 = b0 * u + b1 * prev - a1 * s1;
        prev = u;
        float n2 = b0 * n1 + b1 * s1 - a1 * s2;
        float n3 = b0 * n2 + b1 * s2 - a1 * s3;
        float s4 = b0 * n3 + b1 * s3 - a1 * y;
        s1 = n1;
        s2 = n2;
        s3 = n3;
        float z = vmax(vmin(s4, 1.5f), -1.5f);
        y = z - 0.14815f * (z * z * z);
        return vmax(vmin(y, 1.0f), -1.0f);
    }
};

}  // namespace scalar
