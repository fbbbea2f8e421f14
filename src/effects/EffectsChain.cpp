// The lane helpers are always inlined, so no call passes a wide vector by value.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "effects/EffectsChain.h"

#include <algorithm>
#include <cmath>

#include "dsp/Finite.h"
#include "dsp/ModuleContext.h"
#include "dsp/VectorLanes.h"

namespace {

constexpr int32_t kDelayMask = EffectsChain::kDelayLength - 1;
constexpr int32_t kChorusMask = EffectsChain::kChorusLength - 1;

// Delay lengths as fractions of a whole note, the steps of DlyTime.
constexpr float kNoteFractions[10] = {1.0f / 32, 1.0f / 24, 1.0f / 16, 1.0f / 12, 1.0f / 8,
                                      1.0f / 6,  1.0f / 4,  1.0f / 3,  1.0f / 2,  1.0f};

// Keeps the feedback path out of denormal numbers.
constexpr float kDelayBias = 1e-12f;

// Chorus taps sit this many samples behind the newest one, plus or minus the sweep depth.
constexpr int32_t kChorusCentre = 1500;
constexpr float kChorusDepth = 100.0f;
static_assert(EffectsChain::kChorusCopy >= kChorusCentre + kChorusDepth + 1, "the farthest tap reads the copy");

int32_t noteIndex(float delayTime) {
    float n = delayTime * 9.0f + 0.5f;
    if (!(n >= 0.0f)) return 0;  // also NaN
    return n >= 9.0f ? 9 : static_cast<int32_t>(n);
}

}  // namespace

EffectsChain::EffectsChain(ModuleRack& rack, ModuleContext& moduleContext) : DspModule(rack, moduleContext) {
    delayLines = std::make_unique<float[]>(2 * kDelayLength);
    chorusLines = std::make_unique<float[]>(2 * (kChorusCopy + kChorusLength));
    onParameter(0, 0.0f);
}

void EffectsChain::onParameter(int32_t, float) {
    reverb.recompute(rate(), readParam(reverbTime), readParam(reverbLevel), readParam(reverbStereo));
}

void EffectsChain::process(int32_t frames, int32_t tick) {
    if (frames <= 0) return;
    if (frames > kMaxFrames) frames = kMaxFrames;
    if (tick) {
        float r = readParam(chorusRate) * 1e-7f;
        if (r != sweepRate) {
            sweepRate = r;
            sweep = 1.0f;
            sweepStep = 0.0f;
        }
        mono = 1 - static_cast<int32_t>(readParam(carrierStereo) + 0.5f);
    }

    Block block;
    block.frames = frames;
    // L grows with the tempo and is a whole note long; the product may reach 2^31 at
    // absurd tempos, so it is truncated in 64 bits before wrapping into the line.
    float whole = static_cast<float>(context.tempoLength.load(std::memory_order_relaxed));
    block.delay = static_cast<int32_t>(static_cast<int64_t>(whole * kNoteFractions[noteIndex(readParam(delayTime))]) &
                                       kDelayMask);
    block.feedback = readParam(delayFeedback) * 0.9f;
    block.delayLevel = readParam(delayLevel);
    block.chorusLevel = readParam(chorusLevel);
    bool wet = reverb.load(readParam(reverbTime), block.reverb);

    if (mono) {
        wet ? render<true, true>(block) : render<true, false>(block);
    } else {
        wet ? render<false, true>(block) : render<false, false>(block);
    }
    clearIfNotFinite(frames);
}

void EffectsChain::clearIfNotFinite(int32_t frames) {
    // Every line is written with the input plus what the lines give back, and the output
    // carries each input sample at full weight and what the lines gave: when the output is
    // finite, so is everything written into a line.
    if (dsp::allFinite(out.data, static_cast<size_t>(2 * frames)) && std::isfinite(sweep) && std::isfinite(sweepStep))
        return;
    std::fill(delayLines.get(), delayLines.get() + 2 * kDelayLength, 0.0f);
    std::fill(chorusLines.get(), chorusLines.get() + 2 * (kChorusCopy + kChorusLength), 0.0f);
    reverb.clear();
    sweep = 1.0f;
    sweepStep = 0.0f;
}

namespace {

using lanes::F4;
using lanes::F8;

// One run of frames in which no line position wraps. Every line holds frames: the left
// and the right sample side by side.
struct Run {
    const float* in;    // the input at the run's first frame
    float* write;       // the delay line at the run's first write
    const float* read;  // ... and at its first read
    float* newest;      // the chorus line at the run's first write
    float* out;         // the output at the run's first frame
    float* sweep;       // the chorus oscillator for each frame, twice
    int32_t frames;
    float feedback, delayLevel, chorusLevel;
};

// The chorus oscillator. Kept in a copy of its own while it runs, which no write to the
// lines can change, so that its chain of operations stays in registers.
struct Oscillator {
    float x, step, rate;
    int32_t done;  // frames of the run stepped so far

    [[gnu::always_inline]] float next() {
        x = x + step;
        x = x > 1.0f ? 1.0f : (x < -1.0f ? -1.0f : x);
        step = step - rate * x;
        return x;
    }

    // Steps on up to frame `to` of the run (at most its end), each value into sweep twice.
    [[gnu::always_inline]] void stepTo(const Run& r, int32_t to) {
        for (const int32_t end = std::min(to, r.frames); done < end; ++done) {
            r.sweep[2 * done] = next();
            r.sweep[2 * done + 1] = x;
        }
    }
};

// The delay of frame i: each channel's line written with the input and what it gives
// back; the delayed frame goes to the chorus line and into y. In mono the left channel
// alone, heard on both sides.
template <bool kMono>
[[gnu::always_inline]] inline void delayFrame(const Run& r, int32_t i, float* y) {
    for (int c = 0; c < (kMono ? 1 : 2); ++c) {
        const float in = r.in[2 * i + c];
        const float d = r.read[2 * i + c];
        r.write[2 * i + c] = d * r.feedback + in + kDelayBias;
        y[c] = d * r.delayLevel + in;
        r.newest[2 * i + c] = y[c];
    }
    if constexpr (kMono) y[1] = y[0];
}

// The chorus taps of frame i added to its delayed samples y. Taps on the straight line
// through two neighbouring samples; a negative fraction extends the line past the pair.
// A NaN sweep truncates to INT32_MIN, a multiple of the line length that the wrapping of
// positions took away: as 0 the taps stay on the line. Tap B reads the right channel, in
// mono the left one.
template <bool kMono>
[[gnu::always_inline]] inline void tapFrame(const Run& r, int32_t i, const float* y, float sweep) {
    const float m = kChorusDepth * sweep;
    int32_t mi = static_cast<int32_t>(m);
    const float f = m - static_cast<float>(mi);
    mi = mi == INT32_MIN ? 0 : mi;
    const float* a = r.newest + 2 * (i + mi - kChorusCentre);
    const float tapA = a[0] + f * (a[2] - a[0]);
    const float* b = r.newest + 2 * (i - mi - kChorusCentre) + (kMono ? 0 : 1);
    const float tapB = b[0] + f * (b[-2] - b[0]);
    r.out[2 * i] = y[0] + r.chorusLevel * tapA;
    r.out[2 * i + 1] = y[1] + r.chorusLevel * tapB;
}

template <bool kMono>
[[gnu::always_inline]] inline void plainFrame(const Run& r, int32_t i, float sweep) {
    float y[2];
    delayFrame<kMono>(r, i, y);
    tapFrame<kMono>(r, i, y, sweep);
}

// Lanes of a from the even places, lanes of b from the odd ones.
template <int W>
struct EvenOdd {
    static constexpr int at(int j) { return j & 1 ? W + j : j; }
};

// The levels of a run in every lane.
template <class V>
struct Levels {
    V feedback, delayLevel, chorusLevel;
};

// Lane j takes lane j + kStep (round the vector).
template <int W, int kStep>
struct Rotation {
    static constexpr int at(int j) { return (j + kStep) % W; }
};

// Zero when all lanes of v are zero; the lanes of a frame are equal.
template <class I, int kStep = lanes::kWidth<I> / 2>
[[gnu::always_inline]] inline int32_t anyFrame(const I& v) {
    if constexpr (kStep < 2)
        return v[0];
    else
        return anyFrame<I, kStep / 2>(v | lanes::shuffle<I, Rotation<lanes::kWidth<I>, kStep>>(v, v));
}

// Each lane takes the first lane of its frame (the left sample).
template <int W>
struct LeftOfFrame {
    static constexpr int at(int j) { return j & ~1; }
};

// Frames side by side in the lanes of V, two lanes each, from frame i on; in mono the
// left samples in both lanes of a frame, the right samples of the lines kept as they
// are. The delay reads no frame this vector writes (the caller sees to it). While the
// tap offset is the same for all of them, the taps of all frames are neighbouring
// samples read as vectors; otherwise each frame reads its own.
template <class V, bool kMono>
[[gnu::always_inline]] inline void vectorFrames(const Run& r, const Levels<V>& levels, int32_t i) {
    using I = lanes::IntsOf<V>;
    constexpr int kWidth = lanes::kWidth<V>;
    const auto frames = [](const float* p) {
        const V v = lanes::load<V>(p);
        return kMono ? lanes::shuffle<V, LeftOfFrame<kWidth>>(v, v) : v;
    };
    const auto write = [](float* p, const V& v) {
        lanes::store(p, kMono ? lanes::shuffle<V, EvenOdd<kWidth>>(v, lanes::load<V>(p)) : v);
    };
    const V in = frames(r.in + 2 * i);
    const V d = frames(r.read + 2 * i);
    write(r.write + 2 * i, d * levels.feedback + in + lanes::splat<V>(kDelayBias));
    const V y = d * levels.delayLevel + in;
    write(r.newest + 2 * i, y);

    const V m = lanes::splat<V>(kChorusDepth) * lanes::load<V>(r.sweep + 2 * i);
    const I mi = __builtin_convertvector(m, I);
    const int32_t shift = mi[0];
    if (anyFrame(mi ^ lanes::splat<I>(shift)) != 0 || shift == INT32_MIN) {
        float ys[kWidth];
        lanes::store(ys, y);
        for (int j = 0; j < kWidth / 2; ++j) tapFrame<kMono>(r, i + j, ys + 2 * j, r.sweep[2 * (i + j)]);
        return;
    }
    const V f = m - __builtin_convertvector(mi, V);
    const float* a = r.newest + 2 * (i + shift - kChorusCentre);
    const float* b = r.newest + 2 * (i - shift - kChorusCentre);
    const V near = lanes::shuffle<V, EvenOdd<kWidth>>(lanes::load<V>(a), frames(b));
    const V far = lanes::shuffle<V, EvenOdd<kWidth>>(lanes::load<V>(a + 2), frames(b - 2));
    lanes::store(r.out + 2 * i, y + levels.chorusLevel * (near + f * (far - near)));
}

// A run, vector after vector; frames one by one where the delay is shorter than a vector
// (it reads what the vector writes), for the last frames, and on the four-lane path,
// whose vectors of two frames measured slower than single frames.
template <class V, bool kMono>
[[gnu::always_inline]] inline Oscillator renderRun(const Run& run, int32_t delay, Oscillator o) {
    constexpr int32_t kFrames = lanes::kWidth<V> / 2;
    // Copies, which the line writes cannot change.
    const Run r = run;
    const Levels<V> levels{lanes::splat<V>(r.feedback), lanes::splat<V>(r.delayLevel), lanes::splat<V>(r.chorusLevel)};
    o.done = 0;
    int32_t i = 0;
    if (kFrames >= 4 && (delay == 0 || delay >= kFrames)) {
        for (; i + kFrames <= r.frames; i += kFrames) {
            // The oscillator runs a vector ahead: the taps find its values ready while it
            // goes on with the next ones.
            o.stepTo(r, i + 2 * kFrames);
            vectorFrames<V, kMono>(r, levels, i);
        }
    }
    // The oscillator stepped ahead of the vectors up to o.done.
    for (; i < r.frames; ++i) plainFrame<kMono>(r, i, i < o.done ? r.sweep[2 * i] : o.next());
    return o;
}

using RunKernel = Oscillator (*)(const Run&, int32_t, Oscillator);

template <bool kMono>
Oscillator runBaseline(const Run& r, int32_t delay, Oscillator o) {
    return renderRun<F4, kMono>(r, delay, o);
}

template <bool kMono>
ZORVEK_TARGET_AVX2 Oscillator runAvx2(const Run& r, int32_t delay, Oscillator o) {
    return renderRun<F8, kMono>(r, delay, o);
}

constexpr SimdKernels<RunKernel> kRunKernels[2] = {{&runBaseline<false>, &runAvx2<false>, &runAvx2<false>},
                                                   {&runBaseline<true>, &runAvx2<true>, &runAvx2<true>}};

}  // namespace

bool EffectsChain::usePath(SimdPath wanted) {
    if (!simdSupported(wanted) || !reverb.usePath(wanted)) return false;
    path = wanted;
    return true;
}

template <bool kMono, bool kReverb>
void EffectsChain::render(const Block& block) {
    // With the reverb the delay and chorus write their frames here, and the reverb adds
    // to them on the way to the output.
    alignas(64) float dry[2 * kMaxFrames];
    alignas(64) float sweepValues[2 * kMaxFrames];
    float* frames = kReverb ? dry : out.data;
    float* chorus = chorusLines.get() + 2 * kChorusCopy;
    Oscillator o{sweep, sweepStep, sweepRate, 0};
    const RunKernel kernel = kRunKernels[kMono ? 1 : 0][path];

    for (int32_t n = 0; n < block.frames;) {
        const int32_t firstChorus = (chorusPos + 1) & kChorusMask;
        const int32_t firstDelay = (delayPos + 1) & kDelayMask;
        const int32_t firstRead = (firstDelay - block.delay) & kDelayMask;
        const Run r{input->data + 2 * n,
                    delayLines.get() + 2 * firstDelay,
                    delayLines.get() + 2 * firstRead,
                    chorus + 2 * firstChorus,
                    frames + 2 * n,
                    sweepValues + 2 * n,
                    std::min({block.frames - n, kChorusLength - firstChorus, kDelayLength - firstDelay,
                              kDelayLength - firstRead}),
                    block.feedback,
                    block.delayLevel,
                    block.chorusLevel};
        o = kernel(r, block.delay, o);
        // The newest frames at the end of the chorus line are copied before its start,
        // where the taps of later frames read them without wrapping.
        const int32_t copyFrom = std::max(firstChorus, kChorusLength - kChorusCopy);
        if (firstChorus + r.frames > copyFrom)
            std::copy_n(chorus + 2 * copyFrom, 2 * (firstChorus + r.frames - copyFrom),
                        chorus + 2 * (copyFrom - kChorusLength));
        chorusPos = firstChorus + r.frames - 1;
        delayPos = firstDelay + r.frames - 1;
        n += r.frames;
    }
    if constexpr (kReverb) reverb.process(block.reverb, dry, out.data, block.frames);
    sweep = o.x;
    sweepStep = o.step;
}
