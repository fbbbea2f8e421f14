#include "vocoder/VocoderFilterBank.h"

#include <xmmintrin.h>

#include <cstring>

// The lane helpers are always inlined, so no call passes a wide vector by value (the
// warning about how such a call would pass it is reported at the end of the file).
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

constexpr int kLanes = VocoderFilterBank::kLanes;

// Band lanes as generic vectors: four doubles are one AVX register or two SSE2 registers,
// eight doubles one AVX-512 register; the floats of the same lanes ride along.
typedef double D4 __attribute__((vector_size(32)));
typedef float F4 __attribute__((vector_size(16)));
typedef int32_t I4 __attribute__((vector_size(16)));
typedef double D8 __attribute__((vector_size(64)));
typedef float F8 __attribute__((vector_size(32)));
typedef int32_t I8 __attribute__((vector_size(32)));

template <class D>
struct Lanes;
template <>
struct Lanes<D4> {
    using F = F4;
    using I = I4;
};
template <>
struct Lanes<D8> {
    using F = F8;
    using I = I8;
};

using Section = VocoderFilterBank::Section;
using State = VocoderFilterBank::State;
using Block = VocoderFilterBank::Block;

template <class V, class T>
[[gnu::always_inline]] inline V load(const T* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V, class T>
[[gnu::always_inline]] inline void store(T* p, const V& v) {
    std::memcpy(p, &v, sizeof v);
}

// Equal lanes, without arithmetic (adding a zero vector would turn -0 into +0).
template <class D>
[[gnu::always_inline]] inline D splat(float x) {
    D v;
    for (size_t i = 0; i < sizeof(D) / sizeof(double); ++i) v[i] = static_cast<double>(x);
    return v;
}

// Lane by lane, a form that becomes one conversion instruction on every path.
template <class D, class F>
[[gnu::always_inline]] inline D widen(const F& f) {
    D d;
    for (size_t i = 0; i < sizeof(D) / sizeof(double); ++i) d[i] = static_cast<double>(f[i]);
    return d;
}

// The inputs one section sees at one frame: the current one and the last two. From the
// third frame of a run on, the last two are the run's own inputs for every band; before
// that each band has its own history (bands outside the count stop at other times).
template <class D>
struct Inputs {
    D x, x1, x2;
};

// One frame of a vector of bands' band-passes: y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2
// + 1e-30, summed in that order, rounded to float and kept as the next y1.
template <class D, bool Steady>
[[gnu::always_inline]] inline typename Lanes<D>::F biquad(const State& s, Section& section, int j,
                                                          const Inputs<D>& frame) {
    using F = typename Lanes<D>::F;
    const D x1 = Steady ? frame.x1 : load<D>(section.x1 + j);
    const D x2 = Steady ? frame.x2 : load<D>(section.x2 + j);
    const D y1 = load<D>(section.y1 + j);
    const D y2 = load<D>(section.y2 + j);
    D y = load<D>(s.b0 + j) * frame.x + load<D>(s.b1 + j) * x1;
    y = y + load<D>(s.b2 + j) * x2;
    y = y - load<D>(s.a1 + j) * y1;
    y = y - load<D>(s.a2 + j) * y2;
    y = y + 1e-30;
    const F rounded = __builtin_convertvector(y, F);
    store(section.y2 + j, y1);
    store(section.y1 + j, widen<D>(rounded));
    if constexpr (!Steady) {
        store(section.x2 + j, x1);
        store(section.x1 + j, frame.x);
    }
    return rounded;
}

// The current and last two inputs of frame n of a run.
template <class D>
[[gnu::always_inline]] inline void inputsAt(const float* in, int32_t n, Inputs<D>& frame) {
    frame.x = splat<D>(in[n]);
    if (n >= 2) {
        frame.x1 = splat<D>(in[n - 1]);
        frame.x2 = splat<D>(in[n - 2]);
    }
}

[[gnu::always_inline]] inline void copyLane(const Section& from, Section& to, int32_t i) {
    to.x1[i] = from.x1[i];
    to.x2[i] = from.x2[i];
    to.y1[i] = from.y1[i];
    to.y2[i] = from.y2[i];
}

// Adds the products of one group of up to four frames band after band, the frames side
// by side: each frame's sum is formed in band order exactly as one frame alone.
[[gnu::always_inline]] inline void sumGroup(const float (&products)[4][kLanes], int32_t count, int32_t rows,
                                            float* sums) {
    __m128 sum = _mm_setzero_ps();
    for (int j = 0; j < count; j += 4) {
        __m128 c0 = _mm_load_ps(products[0] + j), c1 = _mm_load_ps(products[1] + j);
        __m128 c2 = _mm_load_ps(products[2] + j), c3 = _mm_load_ps(products[3] + j);
        _MM_TRANSPOSE4_PS(c0, c1, c2, c3);
        sum = _mm_add_ps(sum, c0);
        if (j + 1 < count) sum = _mm_add_ps(sum, c1);
        if (j + 2 < count) sum = _mm_add_ps(sum, c2);
        if (j + 3 < count) sum = _mm_add_ps(sum, c3);
    }
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, sum);
    for (int32_t f = 0; f < rows; ++f) sums[f] = lanes[f];
}

template <class D, bool Stereo>
[[gnu::always_inline]] inline void runBands(State& s, const Block& b) {
    using F = typename Lanes<D>::F;
    using I = typename Lanes<D>::I;
    constexpr int kWidth = sizeof(D) / sizeof(double);
    const int32_t count = b.count;
    const int32_t lanes = (count + kWidth - 1) & -kWidth;
    const int channels = Stereo ? 3 : 2;

    // Lanes past the count run along inside the last vector; their states are put back.
    Section saved[3];
    float savedEnvelope[kLanes];
    for (int32_t i = count; i < lanes; ++i) {
        for (int c = 0; c < channels; ++c) copyLane(s.sections[c], saved[c], i);
        savedEnvelope[i] = s.envelope[i];
    }

    // Where band i takes its envelope: a higher band's is still the previous frame's.
    alignas(16) float before[kLanes] = {};
    const float* from[kLanes];
    for (int32_t i = 0; i < count; ++i) {
        int32_t k = i + b.shift;
        if (k <= 0) k = 0;
        if (k >= count - 1) k = count - 1;
        from[i] = k > i ? before + k : s.envelope + k;
    }
    const bool shifted = b.shift != 0;

    F keep, speed, hundredth;
    I magnitude;
    for (int i = 0; i < kWidth; ++i) {
        keep[i] = 1.0f - b.a * 0.01f;
        speed[i] = b.a;
        hundredth[i] = 0.01f;
        magnitude[i] = 0x7FFFFFFF;
    }

    alignas(16) float picked[kLanes] = {};
    alignas(16) float productsLeft[4][kLanes] = {};
    alignas(16) float productsRight[4][kLanes] = {};
    Inputs<D> modulator{}, left{}, right{};
    // The first two frames update each band's own input history; after them the
    // history is the run's, written back at its end.
    auto frame = [&]<bool Steady>(int32_t n) __attribute__((always_inline)) {
        // The modulator bands and their followers.
        inputsAt(b.modulator, n, modulator);
        for (int j = 0; j < lanes; j += kWidth) {
            const F y = biquad<D, Steady>(s, s.sections[0], j, modulator);
            const F envelope = load<F>(s.envelope + j);
            store(before + j, envelope);
            const F follow = (reinterpret_cast<F>(reinterpret_cast<I>(y) & magnitude) * speed) * hundredth;
            store(s.envelope + j, envelope * keep + follow);
        }
        const float* weights = s.envelope;
        if (shifted) {
            for (int32_t i = 0; i < count; ++i) picked[i] = *from[i];
            weights = picked;
        }

        // The carrier bands, scaled by their envelopes and gains.
        const int row = n & 3;
        inputsAt(b.left, n, left);
        if constexpr (Stereo) inputsAt(b.right, n, right);
        for (int j = 0; j < lanes; j += kWidth) {
            const F weight = load<F>(weights + j) * load<F>(s.gain + j);
            store(productsLeft[row] + j, weight * biquad<D, Steady>(s, s.sections[1], j, left));
            if constexpr (Stereo) store(productsRight[row] + j, weight * biquad<D, Steady>(s, s.sections[2], j, right));
        }

        if (row == 3 || n + 1 == b.frames) {
            sumGroup(productsLeft, count, row + 1, b.sumLeft + n - row);
            if constexpr (Stereo) sumGroup(productsRight, count, row + 1, b.sumRight + n - row);
        }
    };
    int32_t n = 0;
    for (; n < b.frames && n < 2; ++n) frame.template operator()<false>(n);
    for (; n < b.frames; ++n) frame.template operator()<true>(n);

    // The input history of the bands in use, after a run of three frames or more.
    const float* inputs[3] = {b.modulator, b.left, b.right};
    for (int c = 0; c < channels && b.frames > 2; ++c) {
        const float* in = inputs[c];
        Section& section = s.sections[c];
        for (int32_t i = 0; i < count; ++i) {
            section.x2[i] = static_cast<double>(in[b.frames - 2]);
            section.x1[i] = static_cast<double>(in[b.frames - 1]);
        }
    }
    for (int32_t i = count; i < lanes; ++i) {
        for (int c = 0; c < channels; ++c) copyLane(saved[c], s.sections[c], i);
        s.envelope[i] = savedEnvelope[i];
    }
}

void runBaseline(State& s, const Block& b) {
    if (b.right)
        runBands<D4, true>(s, b);
    else
        runBands<D4, false>(s, b);
}

__attribute__((target("avx2"))) void runAvx2(State& s, const Block& b) {
    if (b.right)
        runBands<D4, true>(s, b);
    else
        runBands<D4, false>(s, b);
}

__attribute__((target("avx512f"))) void runAvx512(State& s, const Block& b) {
    if (b.right)
        runBands<D8, true>(s, b);
    else
        runBands<D8, false>(s, b);
}

}  // namespace

VocoderFilterBank::VocoderFilterBank() : kernel(&runBaseline) {
    clear();
    usePath(widestSimdPath());
}

bool VocoderFilterBank::usePath(SimdPath path) {
    if (!simdSupported(path)) return false;
    current = path;
    kernel = path == SimdPath::Avx512 ? &runAvx512 : path == SimdPath::Avx2 ? &runAvx2 : &runBaseline;
    return true;
}

void VocoderFilterBank::apply(const vocoder::BandDesign& design) {
    for (int32_t i = 0; i < design.count; ++i) {
        const vocoder::BandCoefficients& c = design.coefficients[i];
        state.b0[i] = c.b0;
        state.b1[i] = c.b1;
        state.b2[i] = c.b2;
        state.a1[i] = c.a1;
        state.a2[i] = c.a2;
        state.gain[i] = design.gain[i];
    }
}

void VocoderFilterBank::clear() {
    for (Section& section : state.sections) section = Section{};
    for (int i = 0; i < kLanes; ++i) {
        state.b0[i] = state.b1[i] = state.b2[i] = state.a1[i] = state.a2[i] = 0.0;
        state.envelope[i] = 0.0f;
        state.gain[i] = 1.0f;
    }
}

void VocoderFilterBank::run(const float* modulator, const float* left, const float* right, int32_t frames,
                            int32_t count, int32_t shift, float a, float* sumLeft, float* sumRight) {
    if (frames <= 0) return;
    if (count < 1 || count > vocoder::kMaxBands) {
        for (int32_t n = 0; n < frames; ++n) {
            sumLeft[n] = 0.0f;
            if (right) sumRight[n] = 0.0f;
        }
        return;
    }
    kernel(state, Block{modulator, left, right, frames, count, shift, a, sumLeft, sumRight});
}
