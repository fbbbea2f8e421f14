// One frame of the filter bank's bands for vectors of band lanes, in two stages: the
// followers (the modulator's band-passes and envelopes, which give each band its weight
// for the frame) and the carriers (their band-passes scaled by those weights). The
// followers need nothing from the carrier, so a kernel that renders the carrier can run
// them inside its own frame loop; the bank's own loops step with the same code.
#pragma once

#include <cstdint>

#include "dsp/VectorLanes.h"
#include "vocoder/VocoderFilterBank.h"

// Always inlined, so no call passes a wide vector by value.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace banklanes {

using Section = VocoderFilterBank::Section;
using State = VocoderFilterBank::State;
using Block = VocoderFilterBank::Block;
constexpr int kLanes = VocoderFilterBank::kLanes;

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

// The first two frames of a run take each band's own input history (bands outside the
// count stop at other times), later ones the run's inputs: as the difference of the input
// and the one two frames back where that is exact for the whole run.
enum class Form { Start, Steady, Difference };

// The difference form (with the inputs widened once per run) pays with eight lanes,
// where it frees registers; with four, where the states spill either way, it measured no
// faster.
template <class D>
constexpr bool kDifferences = lanes::kWidth<D> == 8;

// The frames inputs x in double, then zeros for a whole vector read at the last frame.
template <class D>
[[gnu::always_inline]] inline void widenInputs(const float* x, int32_t frames, double* wide) {
    using F = lanes::FloatsOf<D>;
    constexpr int kWidth = lanes::kWidth<D>;
    int32_t n = 0;
    for (; n + kWidth <= frames; n += kWidth) lanes::store(wide + n, widen<D>(lanes::load<F>(x + n)));
    for (; n < frames; ++n) wide[n] = x[n];
    lanes::store(wide + frames, D{});
}

// Each widened input's difference to the input two frames back (from frame 2 on);
// answers whether every difference is exact: its rounding error, recovered without error
// in round-to-nearest, is zero. A non-finite input answers false. Reads past the frames
// meet the zeros after them, whose differences are exact.
template <class D>
[[gnu::always_inline]] inline bool differencesExact(const double* wide, int32_t frames, double* difference) {
    using I = lanes::IntsOf<D>;
    constexpr int kWidth = lanes::kWidth<D>;
    I exact = ~I{};
    for (int32_t n = 2; n < frames; n += kWidth) {
        const D a = lanes::load<D>(wide + n);
        const D b = lanes::load<D>(wide + n - 2);
        const D d = a - b;
        const D bPart = d - a;
        const D aPart = d - bPart;
        const D error = (a - aPart) - (b + bPart);
        lanes::store(difference + n, d);
        exact &= __builtin_convertvector(error == 0.0, I);
    }
    for (int i = 0; i < kWidth; ++i)
        if (!exact[i]) return false;
    return true;
}

// The coefficients and gains of V vectors of bands. With eight lanes the states alone
// fill most registers: coefficients and gains are read afresh at every use (through a
// pointer the optimiser cannot see through, so the reads are neither merged nor hoisted
// and become operands of the arithmetic) rather than held in registers that would spill
// the states.
template <class D, int V>
struct BandCoefficients {
    using F = lanes::FloatsOf<D>;
    static constexpr int kWidth = lanes::kWidth<D>;
    static constexpr bool kHeld = kWidth != 8;
    const State& s;
    D heldB0[V], heldB2[V], heldA1[V], heldA2[V];
    F heldGain[V];

    [[gnu::always_inline]] inline explicit BandCoefficients(const State& state) : s(state) {
        if constexpr (kHeld)
            for (int v = 0; v < V; ++v) {
                heldB0[v] = lanes::load<D>(s.b0 + v * kWidth);
                heldB2[v] = lanes::load<D>(s.b2 + v * kWidth);
                heldA1[v] = lanes::load<D>(s.a1 + v * kWidth);
                heldA2[v] = lanes::load<D>(s.a2 + v * kWidth);
                heldGain[v] = lanes::load<F>(s.gain + v * kWidth);
            }
    }

    template <class T>
    [[gnu::always_inline]] static const T* reread(const T* array, int v) {
        asm volatile("" : "+r"(array));
        return array + v * kWidth;
    }

    template <class W, class T>
    [[gnu::always_inline]] static W pick(const W (&held)[V], const T* array, int v) {
        if constexpr (kHeld)
            return held[v];
        else
            return lanes::load<W>(reread(array, v));
    }

    [[gnu::always_inline]] inline D b0(int v) const { return pick(heldB0, s.b0, v); }
    [[gnu::always_inline]] inline D b2(int v) const { return pick(heldB2, s.b2, v); }
    [[gnu::always_inline]] inline D a1(int v) const { return pick(heldA1, s.a1, v); }
    [[gnu::always_inline]] inline D a2(int v) const { return pick(heldA2, s.a2, v); }
    [[gnu::always_inline]] inline F gain(int v) const { return pick(heldGain, s.gain, v); }
};

// The bands' input terms and band-passes on one input channel c (0 modulator, 1 left and
// 2 right carrier).
template <class D, int V>
struct BandInputs {
    static constexpr int kWidth = lanes::kWidth<D>;
    State& s;
    const BandCoefficients<D, V>& k;
    const int c;
    const float* in;

    [[gnu::always_inline]] inline BandInputs(State& state, const BandCoefficients<D, V>& coefficients, int channel,
                                             const float* input)
        : s(state), k(coefficients), c(channel), in(input) {}

    // The input of frame n - back in every lane.
    [[gnu::always_inline]] inline D input(int32_t n, int back = 0) const {
        if constexpr (kDifferences<D>)
            return lanes::broadcast<D>(s.wide[c] + n - back);
        else
            return lanes::splat<D>(in[n - back]);
    }

    // In the first two frames of a run each band has its own input history: answers the
    // input two frames back and moves it on.
    [[gnu::always_inline]] inline D ownTwoBack(int v, const D& x) const {
        Section& section = s.sections[c];
        const int j = v * kWidth;
        const D x2 = lanes::load<D>(section.x2 + j);
        lanes::store(section.x2 + j, lanes::load<D>(section.x1 + j));
        lanes::store(section.x1 + j, x);
        return x2;
    }

    // The terms from the input x and the one two frames back, x2, given (in the first two
    // frames of a run x2 comes from each band's own history instead).
    template <Form form>
    [[gnu::always_inline]] inline D termsOf(int v, const D& x, const D& x2) const {
        if constexpr (form == Form::Start)
            return inputTerms(k.b0(v), k.b2(v), x, ownTwoBack(v, x));
        else
            return inputTerms(k.b0(v), k.b2(v), x, x2);
    }

    template <Form form>
    [[gnu::always_inline]] inline D terms(int v, int32_t n) const {
        if constexpr (form == Form::Start)
            return termsOf<form>(v, input(n), D{});
        else if constexpr (form == Form::Steady)
            return termsOf<form>(v, input(n), input(n, 2));
        else
            return inputTerms(k.b0(v), lanes::broadcast<D>(s.difference[c] + n));
    }

    // One frame of band v's band-pass with its output states, from frame n of the input.
    template <Form form>
    [[gnu::always_inline]] inline lanes::FloatsOf<D> bandPass(int v, int32_t n, D& y1, D& y2) const {
        return recurse(terms<form>(v, n), k.a1(v), k.a2(v), y1, y2);
    }

    // The same from given inputs (see termsOf).
    template <Form form>
    [[gnu::always_inline]] inline lanes::FloatsOf<D> bandPassOf(int v, const D& x, const D& x2, D& y1, D& y2) const {
        return recurse(termsOf<form>(v, x, x2), k.a1(v), k.a2(v), y1, y2);
    }

    // Before a run: the inputs widened and their differences formed (with eight lanes);
    // answers whether the difference form holds for the run.
    [[gnu::always_inline]] inline bool prepare(int32_t frames) const {
        if constexpr (kDifferences<D>) {
            widenInputs<D>(in, frames, s.wide[c]);
            return differencesExact<D>(s.wide[c], frames, s.difference[c]) && s.opposite;
        } else {
            return false;
        }
    }

    // After a run of three frames or more: the input history of the bands in use, the run's
    // last two inputs.
    [[gnu::always_inline]] inline void keepHistory(float beforeLast, float last, int32_t count) const {
        Section& section = s.sections[c];
        for (int32_t i = 0; i < count; ++i) {
            section.x2[i] = static_cast<double>(beforeLast);
            section.x1[i] = static_cast<double>(last);
        }
    }
    [[gnu::always_inline]] inline void keepHistory(int32_t frames, int32_t count) const {
        if (frames > 2) keepHistory(in[frames - 2], in[frames - 1], count);
    }
};

// Lanes past the count run along inside the last of V vectors: its states are saved
// whole before a run and those lanes put back after it.
template <class D, int V>
struct SavedLanes {
    static constexpr int kLast = (V - 1) * lanes::kWidth<D>;
    D x1, x2, y1, y2;

    [[gnu::always_inline]] inline explicit SavedLanes(const Section& section)
        : x1(lanes::load<D>(section.x1 + kLast)),
          x2(lanes::load<D>(section.x2 + kLast)),
          y1(lanes::load<D>(section.y1 + kLast)),
          y2(lanes::load<D>(section.y2 + kLast)) {}

    [[gnu::always_inline]] inline void restore(Section& section, int32_t count) const {
        for (int i = 0; i < lanes::kWidth<D>; ++i) {
            if (kLast + i < count) continue;
            section.x1[kLast + i] = x1[i];
            section.x2[kLast + i] = x2[i];
            section.y1[kLast + i] = y1[i];
            section.y2[kLast + i] = y2[i];
        }
    }
};

// The followers of V vectors of bands over one run: per frame the modulator's band-pass,
// the envelope, and each band's weight (the envelope it takes, times its gain). With V
// fixed, states and envelopes are locals the compiler keeps in
// registers over the run as far as there are enough.
template <class D, int V>
struct FollowerLanes {
    using F = lanes::FloatsOf<D>;
    using I = lanes::IntsOf<D>;
    static constexpr int kWidth = lanes::kWidth<D>;
    static constexpr int kLast = (V - 1) * kWidth;

    State& s;
    const Block& b;
    BandInputs<D, V> modulator;
    const SavedLanes<D, V> saved;
    const F savedEnvelope;
    // Where band i takes its envelope: a higher band's is still the previous frame's.
    alignas(64) float before[kLanes] = {};
    alignas(64) float current[kLanes] = {};
    alignas(64) float picked[kLanes] = {};
    const float* from[kLanes];
    const bool shifted;
    const bool exact;
    F keep, speed, hundredth;
    I magnitude;
    D y1[V], y2[V];
    F envelope[V];

    [[gnu::always_inline]] inline FollowerLanes(State& state, const Block& block,
                                                const BandCoefficients<D, V>& coefficients)
        : s(state),
          b(block),
          modulator(state, coefficients, 0, block.modulator),
          saved(state.sections[0]),
          savedEnvelope(lanes::load<F>(state.envelope + kLast)),
          shifted(block.shift != 0),
          exact(modulator.prepare(block.frames)) {
        for (int32_t i = 0; i < b.count; ++i) {
            int32_t k = i + b.shift;
            if (k <= 0) k = 0;
            if (k >= b.count - 1) k = b.count - 1;
            from[i] = k > i ? before + k : current + k;
        }
        for (int i = 0; i < kWidth; ++i) {
            keep[i] = 1.0f - b.a * 0.01f;
            speed[i] = b.a;
            hundredth[i] = 0.01f;
            magnitude[i] = 0x7FFFFFFF;
        }
        for (int v = 0; v < V; ++v) {
            envelope[v] = lanes::load<F>(s.envelope + v * kWidth);
            y1[v] = lanes::load<D>(s.sections[0].y1 + v * kWidth);
            y2[v] = lanes::load<D>(s.sections[0].y2 + v * kWidth);
        }
    }

    // Frame n: the weight of every band into weight.
    template <Form form>
    [[gnu::always_inline]] inline void step(int32_t n, F (&weight)[V]) {
        for (int v = 0; v < V; ++v) {
            const F y = modulator.template bandPass<form>(v, n, y1[v], y2[v]);
            const F follow = (reinterpret_cast<F>(reinterpret_cast<I>(y) & magnitude) * speed) * hundredth;
            if (shifted) lanes::store(before + v * kWidth, envelope[v]);
            envelope[v] = envelope[v] * keep + follow;
        }
        if (shifted) {
            for (int v = 0; v < V; ++v) lanes::store(current + v * kWidth, envelope[v]);
            for (int32_t i = 0; i < b.count; ++i) picked[i] = *from[i];
            for (int v = 0; v < V; ++v) weight[v] = lanes::load<F>(picked + v * kWidth) * modulator.k.gain(v);
        } else {
            for (int v = 0; v < V; ++v) weight[v] = envelope[v] * modulator.k.gain(v);
        }
    }

    // After the run's last frame: states back, lanes past the count restored.
    [[gnu::always_inline]] inline void finish() {
        Section& section = s.sections[0];
        for (int v = 0; v < V; ++v) {
            const int j = v * kWidth;
            lanes::store(s.envelope + j, envelope[v]);
            lanes::store(section.y1 + j, y1[v]);
            lanes::store(section.y2 + j, y2[v]);
        }
        modulator.keepHistory(b.frames, b.count);
        saved.restore(section, b.count);
        for (int i = 0; i < kWidth; ++i)
            if (kLast + i >= b.count) s.envelope[kLast + i] = savedEnvelope[i];
    }
};

// The carrier bands of V vectors over one run, on Carriers inputs (the left carrier, and
// the right one in stereo): per frame each band's band-pass times its weight, into a row
// of products per carrier. With V fixed, the states are locals the compiler keeps in
// registers over the run as far as there are enough.
template <class D, int V, int Carriers>
struct CarrierLanes {
    using F = lanes::FloatsOf<D>;
    static constexpr int kWidth = lanes::kWidth<D>;

    State& s;
    const Block& b;
    // The right carrier's are set up in mono too, and not used.
    BandInputs<D, V> inputs[2];
    const SavedLanes<D, V> saved[2];
    D y1[Carriers][V], y2[Carriers][V];

    [[gnu::always_inline]] inline CarrierLanes(State& state, const Block& block,
                                               const BandCoefficients<D, V>& coefficients)
        : s(state),
          b(block),
          inputs{{state, coefficients, 1, block.left}, {state, coefficients, 2, block.right}},
          saved{SavedLanes<D, V>(state.sections[1]), SavedLanes<D, V>(state.sections[2])} {
        for (int c = 0; c < Carriers; ++c)
            for (int v = 0; v < V; ++v) {
                y1[c][v] = lanes::load<D>(s.sections[c + 1].y1 + v * kWidth);
                y2[c][v] = lanes::load<D>(s.sections[c + 1].y2 + v * kWidth);
            }
    }

    // Answers whether the difference form holds for the run's inputs in memory.
    [[gnu::always_inline]] inline bool prepare() const {
        bool exact = kDifferences<D>;
        for (int c = 0; c < Carriers; ++c) exact = inputs[c].prepare(b.frames) && exact;
        return exact;
    }

    // Frame n of the inputs in memory.
    template <Form form>
    [[gnu::always_inline]] inline void step(int32_t n, const F (&weight)[V], float* const (&rows)[Carriers]) {
        for (int c = 0; c < Carriers; ++c)
            for (int v = 0; v < V; ++v)
                lanes::store(rows[c] + v * kWidth,
                             weight[v] * inputs[c].template bandPass<form>(v, n, y1[c][v], y2[c][v]));
    }

    // A frame of the left carrier from its input x and the one two frames back, x2, given.
    template <Form form>
    [[gnu::always_inline]] inline void stepOf(const D& x, const D& x2, const F (&weight)[V], float* row) {
        for (int v = 0; v < V; ++v)
            lanes::store(row + v * kWidth, weight[v] * inputs[0].template bandPassOf<form>(v, x, x2, y1[0][v], y2[0][v]));
    }

    // After the run's last frame: states back, lanes past the count restored; the input
    // history is kept by keepHistory.
    [[gnu::always_inline]] inline void finish() {
        for (int c = 0; c < Carriers; ++c) {
            Section& section = s.sections[c + 1];
            for (int v = 0; v < V; ++v) {
                lanes::store(section.y1 + v * kWidth, y1[c][v]);
                lanes::store(section.y2 + v * kWidth, y2[c][v]);
            }
            saved[c].restore(section, b.count);
        }
    }
};

// Adds the products of one group of up to R frames band after band, the frames side by
// side (R = lanes of G): each frame's sum is formed in band order exactly as one frame
// alone.
template <class G, int R = lanes::kWidth<G>>
[[gnu::always_inline]] inline void sumGroup(const float (&products)[R][kLanes], int32_t count, int32_t rows,
                                            float* sums) {
    G sum = {};
    for (int j = 0; j < count; j += R) {
        G c[R];
        for (int f = 0; f < R; ++f) c[f] = lanes::load<G>(products[f] + j);
        lanes::transpose(c);
        sum = sum + c[0];
        for (int f = 1; f < R; ++f)
            if (j + f < count) sum = sum + c[f];
    }
    for (int32_t f = 0; f < rows; ++f) sums[f] = sum[f];
}

}  // namespace banklanes

#pragma GCC diagnostic pop
