#include "vocoder/VocoderFilterBank.h"

#include <emmintrin.h>
#include <xmmintrin.h>

namespace {

constexpr int kLanes = VocoderFilterBank::kLanes;

// Four doubles: one AVX register, or two SSE2 registers on the baseline path.
// Vectors are passed by reference only: by value their calling convention would differ
// between the two paths.
typedef double D4 __attribute__((vector_size(32), may_alias));
typedef float F4 __attribute__((vector_size(16)));

using Section = VocoderFilterBank::Section;
using State = VocoderFilterBank::State;
using Block = VocoderFilterBank::Block;

// Four lanes of a 32-byte aligned band array.
[[gnu::always_inline]] inline D4& lanes(double* p) { return *reinterpret_cast<D4*>(p); }
[[gnu::always_inline]] inline const D4& lanes(const double* p) { return *reinterpret_cast<const D4*>(p); }

// Four equal lanes, without arithmetic (adding a zero vector would turn -0 into +0).
[[gnu::always_inline]] inline void splat(float x, D4& v) {
    const double d = static_cast<double>(x);
    v = D4{d, d, d, d};
}

// Lane by lane, a form that becomes one conversion instruction on every path.
[[gnu::always_inline]] inline void widen(const F4& f, D4& d) {
    for (int i = 0; i < 4; ++i) d[i] = static_cast<double>(f[i]);
}

// The inputs one section sees at one frame: the current one and the last two. From the
// third frame of a run on, the last two are the run's own inputs for every band; before
// that each band has its own history (bands outside the count stop at other times).
struct Inputs {
    D4 x, x1, x2;
};

template <bool Steady>
[[gnu::always_inline]] inline void history(const Inputs& frame, const Section& section, int j, D4& x1, D4& x2) {
    if constexpr (Steady) {
        x1 = frame.x1;
        x2 = frame.x2;
    } else {
        x1 = lanes(section.x1 + j);
        x2 = lanes(section.x2 + j);
    }
}

// One frame of four bands' band-passes: y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2 + 1e-30,
// summed in that order, rounded to float and kept as the next y1.
template <bool Steady>
[[gnu::always_inline]] inline __m128 biquad(const State& s, Section& section, int j, const Inputs& frame) {
    D4 x1, x2;
    history<Steady>(frame, section, j, x1, x2);
    const D4 y1 = lanes(section.y1 + j);
    const D4 y2 = lanes(section.y2 + j);
    D4 y = lanes(s.b0 + j) * frame.x + lanes(s.b1 + j) * x1;
    y = y + lanes(s.b2 + j) * x2;
    y = y - lanes(s.a1 + j) * y1;
    y = y - lanes(s.a2 + j) * y2;
    y = y + 1e-30;
    const F4 rounded = __builtin_convertvector(y, F4);
    lanes(section.y2 + j) = y1;
    widen(rounded, lanes(section.y1 + j));
    if constexpr (!Steady) {
        lanes(section.x2 + j) = x1;
        lanes(section.x1 + j) = frame.x;
    }
    return (__m128)rounded;
}

// The current and last two inputs of frame n of a run.
[[gnu::always_inline]] inline void inputsAt(const float* in, int32_t n, Inputs& frame) {
    splat(in[n], frame.x);
    if (n >= 2) {
        splat(in[n - 1], frame.x1);
        splat(in[n - 2], frame.x2);
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

template <bool Stereo>
[[gnu::always_inline]] inline void runBands(State& s, const Block& b) {
    const int32_t count = b.count;
    const int32_t lanes = (count + 3) & ~3;
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

    const __m128 keep = _mm_set1_ps(1.0f - b.a * 0.01f);
    const __m128 speed = _mm_set1_ps(b.a);
    const __m128 hundredth = _mm_set1_ps(0.01f);
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));

    alignas(16) float picked[kLanes] = {};
    alignas(16) float productsLeft[4][kLanes] = {};
    alignas(16) float productsRight[4][kLanes] = {};
    Inputs modulator{}, left{}, right{};
    // The first two frames update each band's own input history; after them the
    // history is the run's, written back at its end.
    auto frame = [&]<bool Steady>(int32_t n) __attribute__((always_inline)) {
        // The modulator bands and their followers.
        inputsAt(b.modulator, n, modulator);
        for (int j = 0; j < lanes; j += 4) {
            const __m128 y = biquad<Steady>(s, s.sections[0], j, modulator);
            const __m128 envelope = _mm_load_ps(s.envelope + j);
            _mm_store_ps(before + j, envelope);
            const __m128 follow = _mm_mul_ps(_mm_mul_ps(_mm_and_ps(y, magnitude), speed), hundredth);
            _mm_store_ps(s.envelope + j, _mm_add_ps(_mm_mul_ps(envelope, keep), follow));
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
        for (int j = 0; j < lanes; j += 4) {
            const __m128 weight = _mm_mul_ps(_mm_load_ps(weights + j), _mm_load_ps(s.gain + j));
            _mm_store_ps(productsLeft[row] + j, _mm_mul_ps(weight, biquad<Steady>(s, s.sections[1], j, left)));
            if constexpr (Stereo)
                _mm_store_ps(productsRight[row] + j, _mm_mul_ps(weight, biquad<Steady>(s, s.sections[2], j, right)));
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
        runBands<true>(s, b);
    else
        runBands<false>(s, b);
}

__attribute__((target("avx2"))) void runAvx2(State& s, const Block& b) {
    if (b.right)
        runBands<true>(s, b);
    else
        runBands<false>(s, b);
}

}  // namespace

VocoderFilterBank::VocoderFilterBank() : kernel(&runBaseline) {
    clear();
    usePath(widestSimdPath());
}

bool VocoderFilterBank::usePath(SimdPath path) {
    if (!simdSupported(path)) return false;
    current = path;
    kernel = path == SimdPath::Avx2 ? &runAvx2 : &runBaseline;
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
