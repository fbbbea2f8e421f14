#include "synth/OscillatorMixer.h"

#include <xmmintrin.h>

OscillatorMixer::OscillatorMixer(ModuleRack& rack, ModuleContext& moduleContext) : DspModule(rack, moduleContext) {}

void OscillatorMixer::process(int32_t frames, int32_t) {
    if (frames <= 0) return;
    if (frames > kMaxFrames) frames = kMaxFrames;
    // Halved, so two full-scale oscillators still sum within [-1, 1].
    const float mix = readParam(mixParam);
    const __m128 gainA = _mm_set1_ps(mix * 0.5f);
    const __m128 gainB = _mm_set1_ps((1.0f - mix) * 0.5f);
    const float* a = inputA->data;
    const float* b = inputB->data;
    for (int32_t i = 0; i < frames * kVoices; i += 4) {
        __m128 mixed = _mm_add_ps(_mm_mul_ps(_mm_load_ps(a + i), gainA), _mm_mul_ps(_mm_load_ps(b + i), gainB));
        _mm_store_ps(out.data + i, mixed);
    }
}
