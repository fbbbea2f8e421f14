#include "synth/VoiceSummer.h"

#include <xmmintrin.h>

VoiceSummer::VoiceSummer(ModuleRack& rack, ModuleContext& moduleContext) : DspModule(rack, moduleContext) {}

void VoiceSummer::process(int32_t frames, int32_t) {
    if (frames <= 0) return;
    if (frames > kMaxFrames) frames = kMaxFrames;
    const __m128 half = _mm_set1_ps(0.5f);
    const float* in = signal->data;
    for (int32_t k = 0; k < frames; ++k, in += kVoices) {
        // Pairs (x0+x4, x1+x5, x2+x6, x3+x7), then ((x0+x4)+(x1+x5)) + ((x3+x7)+(x2+x6)).
        __m128 pairs = _mm_add_ps(_mm_load_ps(in), _mm_load_ps(in + 4));
        __m128 quads = _mm_add_ps(pairs, _mm_shuffle_ps(pairs, pairs, _MM_SHUFFLE(2, 3, 0, 1)));
        __m128 sum = _mm_mul_ps(_mm_add_ss(quads, _mm_movehl_ps(quads, quads)), half);
        _mm_storel_pi(reinterpret_cast<__m64*>(out.data + 2 * k), _mm_unpacklo_ps(sum, sum));
    }
}
