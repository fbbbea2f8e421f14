// The lane helpers are always inlined, so no call passes a wide vector by value (the
// warning about how such a call would pass it is reported at the end of the file).
#pragma GCC diagnostic ignored "-Wpsabi"

#include "vocoder/VocoderMix.h"

#include "dsp/VectorLanes.h"
#include "vocoder/VocoderBands.h"

namespace vocoder {

namespace {

// W frames per vector, each lane with the scalar arithmetic, from frame n on; the frame
// after the last whole vector.
template <class V, bool Stereo>
[[gnu::always_inline]] inline int32_t mixLanes(const MixInputs& in, const MixLevels& g, float* o, int32_t n,
                                               int32_t frames) {
    using lanes::load;
    using lanes::splat;
    constexpr int w = lanes::kWidth<V>;
    const V dry = splat<V>(g.dry), x = splat<V>(g.x), vocoded = splat<V>(g.vocoded);
    const V direct = splat<V>(g.direct), carried = splat<V>(g.carried);
    for (; n + w <= frames; n += w) {
        const V m = load<V>(in.modulator + n);
        const V l = lanes::softClip((dry * load<V>(in.ringLeft + n) + x * load<V>(in.sumLeft + n)) * vocoded +
                                    direct * m + carried * load<V>(in.left + n));
        V r = l;
        if constexpr (Stereo)
            r = lanes::softClip((dry * load<V>(in.ringRight + n) + x * load<V>(in.sumRight + n)) * vocoded +
                                carried * load<V>(in.right + n) + direct * m);
        lanes::store(o + 2 * n, lanes::interleavedLow(l, r));
        lanes::store(o + 2 * n + w, lanes::interleavedHigh(l, r));
    }
    return n;
}

// Eight frames per vector where the path allows, then four, then one at a time.
template <class Wide, bool Stereo>
[[gnu::always_inline]] inline void mix(const MixInputs& in, const MixLevels& g, float* o, int32_t frames) {
    int32_t n = mixLanes<Wide, Stereo>(in, g, o, 0, frames);
    n = mixLanes<lanes::F4, Stereo>(in, g, o, n, frames);
    for (; n < frames; ++n) {
        const float m = in.modulator[n];
        const float l = softClip((g.dry * in.ringLeft[n] + g.x * in.sumLeft[n]) * g.vocoded + g.direct * m +
                                 g.carried * in.left[n]);
        o[2 * n] = l;
        if constexpr (Stereo)
            o[2 * n + 1] = softClip((g.dry * in.ringRight[n] + g.x * in.sumRight[n]) * g.vocoded +
                                    g.carried * in.right[n] + g.direct * m);
        else
            o[2 * n + 1] = l;
    }
}

template <bool Stereo>
void mixSse2(const MixInputs& in, const MixLevels& g, float* o, int32_t frames) {
    mix<lanes::F4, Stereo>(in, g, o, frames);
}

// Eight lanes also on the AVX-512 path: sixteen would leave more frames of a sub-block
// to the narrower loops.
template <bool Stereo>
ZORVEK_TARGET_AVX2 void mixAvx2(const MixInputs& in, const MixLevels& g, float* o, int32_t frames) {
    mix<lanes::F8, Stereo>(in, g, o, frames);
}

using MixKernel = void (*)(const MixInputs&, const MixLevels&, float*, int32_t);
constexpr SimdKernels<MixKernel> kMixMono{&mixSse2<false>, &mixAvx2<false>, &mixAvx2<false>};
constexpr SimdKernels<MixKernel> kMixStereo{&mixSse2<true>, &mixAvx2<true>, &mixAvx2<true>};

}  // namespace

void mix(SimdPath path, bool stereo, const MixInputs& in, const MixLevels& levels, float* out, int32_t frames) {
    (stereo ? kMixStereo : kMixMono)[path](in, levels, out, frames);
}

}  // namespace vocoder
