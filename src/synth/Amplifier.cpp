#include "synth/Amplifier.h"

#include <xmmintrin.h>

#include "dsp/ModuleContext.h"

Amplifier::Amplifier(ModuleRack& rack, ModuleContext& moduleContext) : DspModule(rack, moduleContext) {}

void Amplifier::process(int32_t frames, int32_t) {
    if (frames <= 0) return;
    if (frames > kMaxFrames) frames = kMaxFrames;
    const int32_t* active = context.voiceActive;
    const float am = readParam(amParam);
    const float n = static_cast<float>(frames);
    alignas(16) float step[kVoices];
    for (int v = kVoices - 1; v >= 0; --v) {
        if (active[v]) {
            float target = (lfo->v[v] * am + 1.0f) * envelope->v[v];
            step[v] = (target - current[v]) / n;
        } else {
            step[v] = 0.0f;  // an inactive voice keeps its gain
        }
    }
    for (int g = 0; g < kVoices; g += 4) {
        const __m128 increment = _mm_load_ps(step + g);
        __m128 gain = _mm_load_ps(current + g);
        const float* in = signal->data + g;
        float* o = out.data + g;
        for (int32_t k = 0; k < frames; ++k, in += kVoices, o += kVoices) {
            _mm_store_ps(o, _mm_mul_ps(_mm_load_ps(in), gain));
            gain = _mm_add_ps(gain, increment);
        }
        _mm_store_ps(current + g, gain);
    }
}
