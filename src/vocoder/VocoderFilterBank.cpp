#include "vocoder/VocoderFilterBank.h"

#include <algorithm>
#include <cstring>

#include "dsp/Finite.h"
#include "vocoder/FilterBankLanes.h"

// The lane helpers are always inlined, so no call passes a wide vector by value (the
// warning about how such a call would pass it is reported at the end of the file).
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

using namespace banklanes;
using lanes::D4;
using lanes::D8;
using lanes::F4;
using lanes::F8;

// The followers and the carriers of V vectors of bands, frame by frame: their
// recursions are independent and fill each other's idle issue slots.
template <class D, class G, int V, bool Stereo>
[[gnu::always_inline]] inline void runBands(State& s, const Block& b) {
    using F = lanes::FloatsOf<D>;
    constexpr int kCarriers = Stereo ? 2 : 1;
    const BandCoefficients<D, V> coefficients(s);
    FollowerLanes<D, V> followers(s, b, coefficients);
    CarrierLanes<D, V, kCarriers> carriers(s, b, coefficients);
    const bool exact = carriers.prepare() && followers.exact;
    // The carrier products of a group of frames, a row per frame.
    constexpr int kRows = lanes::kWidth<G>;
    alignas(64) float products[kCarriers][kRows][kLanes] = {};
    auto frame = [&]<Form form>(int32_t n) __attribute__((always_inline)) {
        const int row = n % kRows;
        F weight[V];
        followers.template step<form>(n, weight);
        float* rows[kCarriers];
        for (int c = 0; c < kCarriers; ++c) rows[c] = products[c][row];
        carriers.template step<form>(n, weight, rows);
        if (row == kRows - 1 || n + 1 == b.frames) {
            sumGroup<G>(products[0], b.count, row + 1, b.sumLeft + n - row);
            if constexpr (Stereo) sumGroup<G>(products[1], b.count, row + 1, b.sumRight + n - row);
        }
    };
    int32_t n = 0;
    for (; n < b.frames && n < 2; ++n) frame.template operator()<Form::Start>(n);
    if constexpr (kDifferences<D>)
        if (exact)
            for (; n < b.frames; ++n) frame.template operator()<Form::Difference>(n);
    for (; n < b.frames; ++n) frame.template operator()<Form::Steady>(n);
    followers.finish();
    carriers.finish();
    for (int c = 0; c < kCarriers; ++c) carriers.inputs[c].keepHistory(b.frames, b.count);
}

// Picks the instance for the number of vectors the count needs.
template <class D, class G, bool Stereo>
[[gnu::always_inline]] inline void runCount(State& s, const Block& b) {
    constexpr int kWidth = lanes::kWidth<D>;
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
