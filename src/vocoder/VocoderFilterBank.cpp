#include "vocoder/VocoderFilterBank.h"

#include <algorithm>
#include <cstring>

#include "dsp/Finite.h"
#include "dsp/VectorLanes.h"

// The lane helpers are always inlined, so no call passes a wide vector by value (the
// warning about how such a call would pass it is reported at the end of the file).
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

constexpr int kLanes = VocoderFilterBank::kLanes;

// Band lanes: four doubles are one AVX register or two SSE2 (or NEON) registers, eight
// doubles one AVX-512 register; the floats of the same lanes ride along.
using lanes::D4;
using lanes::D8;
using lanes::F4;
using lanes::F8;

using Section = VocoderFilterBank::Section;
using State = VocoderFilterBank::State;
using Block = VocoderFilterBank::Block;

using lanes::broadcast;
using lanes::load;
using lanes::splat;
using lanes::store;

// Lane by lane, a form that becomes one conversion instruction on every path.
template <class D, class F>
[[gnu::always_inline]] inline D widen(const F& f) {
    D d;
    for (size_t i = 0; i < sizeof(D) / sizeof(double); ++i) d[i] = static_cast<double>(f[i]);
    return d;
}

// One frame of one vector of bands' band-pass from the sum of its input terms t: y = t
// - a1 y1 - a2 y2 + 1e-30, summed in that order and rounded to float; y2 and y1 move on in
// registers.
template <class D>
[[gnu::always_inline]] inline lanes::FloatsOf<D> recurse(const D& t, const D& a1, const D& a2, D& y1, D& y2) {
    D y = t - a1 * y1;
    y = y - a2 * y2;
    y = y + 1e-30;
    const auto rounded = __builtin_convertvector(y, lanes::FloatsOf<D>);
    y2 = y1;
    y1 = widen<D>(rounded);
    return rounded;
}

// The input terms of y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2 + 1e-30. b1 is 0 in every
// band design and x1 finite, so b1 x1 is a signed zero: it cannot change a nonzero
// partial sum, and a zero one ends as 1e-30 either way. The term is left out.
template <class D>
[[gnu::always_inline]] inline D inputTerms(const D& b0, const D& b2, const D& x, const D& x2) {
    return b0 * x + b2 * x2;
}

// The same terms when b2 = -b0 and the difference d = x - x2 is exact: b0 x and b2 x2 are
// products of two floats, exact in double, so b0 x + b2 x2 is the exact value b0 d
// rounded once, which is what b0 d gives. Should it be zero, its sign is lost in the
// 1e-30 term (see above).
template <class D>
[[gnu::always_inline]] inline D inputTerms(const D& b0, const D& d) {
    return b0 * d;
}

// The frames inputs x in double, then zeros for a whole vector read at the last frame.
template <class D>
[[gnu::always_inline]] inline void widenInputs(const float* x, int32_t frames, double* wide) {
    using F = lanes::FloatsOf<D>;
    constexpr int kWidth = sizeof(D) / sizeof(double);
    int32_t n = 0;
    for (; n + kWidth <= frames; n += kWidth) store(wide + n, widen<D>(load<F>(x + n)));
    for (; n < frames; ++n) wide[n] = x[n];
    store(wide + frames, D{});
}

// Each widened input's difference to the input two frames back (from frame 2 on);
// answers whether every difference is exact: its rounding error, recovered without error
// in round-to-nearest, is zero. A non-finite input answers false. Reads past the frames
// meet the zeros after them, whose differences are exact.
template <class D>
[[gnu::always_inline]] inline bool differencesExact(const double* wide, int32_t frames, double* difference) {
    using I = lanes::IntsOf<D>;
    constexpr int kWidth = sizeof(D) / sizeof(double);
    I exact = ~I{};
    for (int32_t n = 2; n < frames; n += kWidth) {
        const D a = load<D>(wide + n);
        const D b = load<D>(wide + n - 2);
        const D d = a - b;
        const D bPart = d - a;
        const D aPart = d - bPart;
        const D error = (a - aPart) - (b + bPart);
        store(difference + n, d);
        exact &= __builtin_convertvector(error == 0.0, I);
    }
    for (int i = 0; i < kWidth; ++i)
        if (!exact[i]) return false;
    return true;
}

// In the first two frames of a run each band has its own input history (bands outside
// the count stop at other times): answers the input two frames back and moves it on.
template <class D>
[[gnu::always_inline]] inline D ownTwoBack(Section& section, int j, const D& x) {
    const D x2 = load<D>(section.x2 + j);
    store(section.x2 + j, load<D>(section.x1 + j));
    store(section.x1 + j, x);
    return x2;
}

// Adds the products of one group of up to R frames band after band, the frames side by
// side (R = lanes of G): each frame's sum is formed in band order exactly as one frame
// alone.
template <class G, int R = lanes::kWidth<G>>
[[gnu::always_inline]] inline void sumGroup(const float (&products)[R][kLanes], int32_t count, int32_t rows,
                                            float* sums) {
    G sum = {};
    for (int j = 0; j < count; j += R) {
        G c[R];
        for (int f = 0; f < R; ++f) c[f] = load<G>(products[f] + j);
        lanes::transpose(c);
        sum = sum + c[0];
        for (int f = 1; f < R; ++f)
            if (j + f < count) sum = sum + c[f];
    }
    for (int32_t f = 0; f < rows; ++f) sums[f] = sum[f];
}

// The bands as V vectors. With V fixed, output states and envelopes (and, below eight
// lanes, coefficients) are locals the compiler keeps in registers over the whole run as
// far as there are enough.
template <class D, class G, int V, bool Stereo>
[[gnu::always_inline]] inline void runBands(State& s, const Block& b) {
    using F = lanes::FloatsOf<D>;
    using I = lanes::IntsOf<D>;
    constexpr int kWidth = sizeof(D) / sizeof(double);
    constexpr int kChannels = Stereo ? 3 : 2;
    const int32_t count = b.count;

    // Lanes past the count run along inside the last vector; its states are saved whole
    // and those lanes put back at the end.
    constexpr int kLast = (V - 1) * kWidth;
    struct {
        D x1, x2, y1, y2;
    } saved[kChannels];
    for (int c = 0; c < kChannels; ++c) {
        const Section& section = s.sections[c];
        saved[c] = {load<D>(section.x1 + kLast), load<D>(section.x2 + kLast), load<D>(section.y1 + kLast),
                    load<D>(section.y2 + kLast)};
    }
    const F savedEnvelope = load<F>(s.envelope + kLast);

    // Where band i takes its envelope: a higher band's is still the previous frame's.
    alignas(64) float before[kLanes] = {};
    alignas(64) float current[kLanes] = {};
    const float* from[kLanes];
    for (int32_t i = 0; i < count; ++i) {
        int32_t k = i + b.shift;
        if (k <= 0) k = 0;
        if (k >= count - 1) k = count - 1;
        from[i] = k > i ? before + k : current + k;
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

    D b0[V], b2[V], a1[V], a2[V], y1[kChannels][V], y2[kChannels][V];
    F gain[V], envelope[V];
    for (int v = 0; v < V; ++v) {
        const int j = v * kWidth;
        b0[v] = load<D>(s.b0 + j);
        b2[v] = load<D>(s.b2 + j);
        a1[v] = load<D>(s.a1 + j);
        a2[v] = load<D>(s.a2 + j);
        gain[v] = load<F>(s.gain + j);
        envelope[v] = load<F>(s.envelope + j);
        for (int c = 0; c < kChannels; ++c) {
            y1[c][v] = load<D>(s.sections[c].y1 + j);
            y2[c][v] = load<D>(s.sections[c].y2 + j);
        }
    }

    const float* inputs[3] = {b.modulator, b.left, b.right};
    alignas(64) float picked[kLanes] = {};
    // The carrier products of a group of frames, a row per frame.
    constexpr int kRows = lanes::kWidth<G>;
    alignas(64) float products[2][kRows][kLanes] = {};
    // The first two frames of a run take each band's own input history, later ones the
    // run's inputs, as the difference of the input and the one two frames back where that
    // is exact for the whole run.
    enum class Form { Start, Steady, Difference };
    // The difference form (with the inputs widened once per run) pays with eight lanes,
    // where it frees registers; with four, where the states spill either way, it
    // measured no faster.
    constexpr bool kDifferences = kWidth == 8;
    // With eight lanes the states alone fill most registers: coefficients and gains are
    // read afresh at every use (through a pointer the optimiser cannot see through, so
    // the reads are neither merged nor hoisted and become operands of the arithmetic)
    // rather than held in registers that would spill the states.
    auto reread = [](const auto* array, int v) __attribute__((always_inline)) {
        asm volatile("" : "+r"(array));
        return array + v * kWidth;
    };
    auto coefficient = [&](const D(&held)[V], const double* array, int v) __attribute__((always_inline)) {
        if constexpr (kWidth == 8)
            return load<D>(reread(array, v));
        else
            return held[v];
    };
    auto gainOf = [&](int v) __attribute__((always_inline)) {
        if constexpr (kWidth == 8)
            return load<F>(reread(s.gain, v));
        else
            return gain[v];
    };
    auto frame = [&]<Form form>(int32_t n) __attribute__((always_inline)) {
        // The input of frame n - back in every lane.
        auto input = [&](int c, int back = 0) __attribute__((always_inline)) {
            if constexpr (kDifferences)
                return broadcast<D>(s.wide[c] + n - back);
            else
                return splat<D>(inputs[c][n - back]);
        };
        auto terms = [&](int c, int v) __attribute__((always_inline)) {
            if constexpr (form == Form::Start)
                return inputTerms(coefficient(b0, s.b0, v), coefficient(b2, s.b2, v), input(c),
                                  ownTwoBack(s.sections[c], v * kWidth, input(c)));
            else if constexpr (form == Form::Steady)
                return inputTerms(coefficient(b0, s.b0, v), coefficient(b2, s.b2, v), input(c), input(c, 2));
            else
                return inputTerms(coefficient(b0, s.b0, v), broadcast<D>(s.difference[c] + n));
        };

        // The modulator bands and their followers.
        for (int v = 0; v < V; ++v) {
            const F y = recurse(terms(0, v), coefficient(a1, s.a1, v), coefficient(a2, s.a2, v), y1[0][v], y2[0][v]);
            const F follow = (reinterpret_cast<F>(reinterpret_cast<I>(y) & magnitude) * speed) * hundredth;
            if (shifted) store(before + v * kWidth, envelope[v]);
            envelope[v] = envelope[v] * keep + follow;
        }
        F weight[V];
        if (shifted) {
            for (int v = 0; v < V; ++v) store(current + v * kWidth, envelope[v]);
            for (int32_t i = 0; i < count; ++i) picked[i] = *from[i];
            for (int v = 0; v < V; ++v) weight[v] = load<F>(picked + v * kWidth) * gainOf(v);
        } else {
            for (int v = 0; v < V; ++v) weight[v] = envelope[v] * gainOf(v);
        }

        // The carrier bands, scaled by their envelopes and gains.
        const int row = n % kRows;
        for (int c = 1; c < kChannels; ++c)
            for (int v = 0; v < V; ++v)
                store(products[c - 1][row] + v * kWidth,
                      weight[v] *
                          recurse(terms(c, v), coefficient(a1, s.a1, v), coefficient(a2, s.a2, v), y1[c][v], y2[c][v]));
        if (row == kRows - 1 || n + 1 == b.frames) {
            sumGroup<G>(products[0], count, row + 1, b.sumLeft + n - row);
            if constexpr (Stereo) sumGroup<G>(products[1], count, row + 1, b.sumRight + n - row);
        }
    };
    bool exact = kDifferences && s.opposite;
    for (int c = 0; c < kChannels && kDifferences; ++c) {
        widenInputs<D>(inputs[c], b.frames, s.wide[c]);
        exact = differencesExact<D>(s.wide[c], b.frames, s.difference[c]) && exact;
    }
    int32_t n = 0;
    for (; n < b.frames && n < 2; ++n) frame.template operator()<Form::Start>(n);
    if constexpr (kDifferences)
        if (exact)
            for (; n < b.frames; ++n) frame.template operator()<Form::Difference>(n);
    for (; n < b.frames; ++n) frame.template operator()<Form::Steady>(n);

    for (int v = 0; v < V; ++v) {
        const int j = v * kWidth;
        store(s.envelope + j, envelope[v]);
        for (int c = 0; c < kChannels; ++c) {
            store(s.sections[c].y1 + j, y1[c][v]);
            store(s.sections[c].y2 + j, y2[c][v]);
        }
    }
    // The input history of the bands in use, after a run of three frames or more.
    for (int c = 0; c < kChannels && b.frames > 2; ++c) {
        const float* in = inputs[c];
        Section& section = s.sections[c];
        for (int32_t i = 0; i < count; ++i) {
            section.x2[i] = static_cast<double>(in[b.frames - 2]);
            section.x1[i] = static_cast<double>(in[b.frames - 1]);
        }
    }
    for (int i = 0; i < kWidth; ++i) {
        if (kLast + i < count) continue;
        for (int c = 0; c < kChannels; ++c) {
            Section& section = s.sections[c];
            section.x1[kLast + i] = saved[c].x1[i];
            section.x2[kLast + i] = saved[c].x2[i];
            section.y1[kLast + i] = saved[c].y1[i];
            section.y2[kLast + i] = saved[c].y2[i];
        }
        s.envelope[kLast + i] = savedEnvelope[i];
    }
}

// Picks the instance for the number of vectors the count needs.
template <class D, class G, bool Stereo>
[[gnu::always_inline]] inline void runCount(State& s, const Block& b) {
    constexpr int kWidth = sizeof(D) / sizeof(double);
    switch ((b.count + kWidth - 1) / kWidth) {
        case 1:
            return runBands<D, G, 1, Stereo>(s, b);
        case 2:
            return runBands<D, G, 2, Stereo>(s, b);
        case 3:
            return runBands<D, G, 3, Stereo>(s, b);
    }
    if constexpr (kWidth == 4) {
        switch ((b.count + kWidth - 1) / kWidth) {
            case 4:
                return runBands<D, G, 4, Stereo>(s, b);
            case 5:
                return runBands<D, G, 5, Stereo>(s, b);
            case 6:
                return runBands<D, G, 6, Stereo>(s, b);
        }
    }
}

// D: the band vectors; G: the float vectors whose frames are summed side by side.
template <class D, class G>
[[gnu::always_inline]] inline void runPath(State& s, const Block& b) {
    if (b.right)
        runCount<D, G, true>(s, b);
    else
        runCount<D, G, false>(s, b);
}

void runBaseline(State& s, const Block& b) { runPath<D4, F4>(s, b); }

ZORVEK_TARGET_AVX2 void runAvx2(State& s, const Block& b) { runPath<D4, F8>(s, b); }

ZORVEK_TARGET_AVX512 void runAvx512(State& s, const Block& b) { runPath<D8, F8>(s, b); }

constexpr SimdKernels<void (*)(State&, const Block&)> kKernels{&runBaseline, &runAvx2, &runAvx512};

}  // namespace

VocoderFilterBank::VocoderFilterBank() : state{}, kernel(&runBaseline) {
    clear();
    usePath(activeSimdPath());
}

bool VocoderFilterBank::usePath(SimdPath path) {
    if (!simdSupported(path)) return false;
    current = path;
    kernel = kKernels[path];
    return true;
}

void VocoderFilterBank::apply(const vocoder::BandDesign& design) {
    for (int32_t i = 0; i < design.count; ++i) {
        const vocoder::BandCoefficients& c = design.coefficients[i];
        // A narrow band-pass whose coefficients switch under a ringing output history can
        // gain energy at every switch: switched often enough (Bands moved every frame or
        // every few frames) the recursion grows without bound although every single design
        // is stable. A band whose design changes therefore starts its recursion afresh;
        // its input history and envelope stay.
        if (state.b0[i] != c.b0 || state.b2[i] != c.b2 || state.a1[i] != c.a1 || state.a2[i] != c.a2)
            for (Section& section : state.sections) section.y1[i] = section.y2[i] = 0.0;
        state.b0[i] = c.b0;
        state.b2[i] = c.b2;
        state.a1[i] = c.a1;
        state.a2[i] = c.a2;
        state.gain[i] = design.gain[i];
    }
    // The band designs make b2 = -b0; the bank relies on that only where it holds in
    // every lane (lanes past the count run along) and otherwise takes the general form.
    state.opposite = true;
    for (int i = 0; i < kLanes; ++i) state.opposite = state.opposite && state.b2[i] == -state.b0[i];
}

void VocoderFilterBank::clear() {
    for (Section& section : state.sections) section = Section{};
    for (int i = 0; i < kLanes; ++i) {
        state.b0[i] = state.b2[i] = state.a1[i] = state.a2[i] = 0.0;
        state.envelope[i] = 0.0f;
        state.gain[i] = 1.0f;
    }
    state.opposite = true;
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
    // A stereo carrier whose two channels carry the same samples (the synthesizer's
    // carrier always does) gives the same right outputs and states as left ones while
    // both sides' states are the same too: the left side is run alone and copied.
    Section& leftSection = state.sections[1];
    Section& rightSection = state.sections[2];
    const bool twins = right && std::memcmp(left, right, frames * sizeof(float)) == 0 &&
                       std::memcmp(&leftSection, &rightSection, sizeof(Section)) == 0;
    const float* carried = twins ? nullptr : right;
    for (int32_t n = 0; n < frames; n += kSpan) {
        const int32_t part = std::min(frames - n, kSpan);
        kernel(state, Block{modulator + n, left + n, carried ? carried + n : nullptr, part, count, shift, a,
                            sumLeft + n, carried ? sumRight + n : nullptr});
    }
    if (twins) {
        std::memcpy(sumRight, sumLeft, frames * sizeof(float));
        rightSection = leftSection;
    }
    // y2 is the previous frame's y1, which went into y1: a non-finite y2 shows in y1.
    bool finite = dsp::allFinite(state.envelope, kLanes);
    for (const Section& section : state.sections) finite = finite && dsp::allFinite(section.y1, kLanes);
    if (!finite) {
        // Inputs and outputs start again from silence; the design stays.
        for (Section& section : state.sections) section = Section{};
        for (float& envelope : state.envelope) envelope = 0.0f;
    }
}
