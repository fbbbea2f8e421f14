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
    // Both groups in one loop, so their gain ramps overlap in the pipeline.
    const __m128 stepLow = _mm_load_ps(step), stepHigh = _mm_load_ps(step + 4);
    __m128 low = _mm_load_ps(current), high = _mm_load_ps(current + 4);
    const float* in = signal->data;
    float* o = out.data;
    for (int32_t k = 0; k < frames; ++k, in += kVoices, o += kVoices) {
        _mm_store_ps(o, _mm_mul_ps(_mm_load_ps(in), low));
        _mm_store_ps(o + 4, _mm_mul_ps(_mm_load_ps(in + 4), high));
        low = _mm_add_ps(low, stepLow);
        high = _mm_add_ps(high, stepHigh);
    }
    _mm_store_ps(current, low);
    _mm_store_ps(current + 4, high);
}
