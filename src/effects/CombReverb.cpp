// The lane helpers are always inlined, so no call passes a wide vector by value.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "effects/CombReverb.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <type_traits>

#include "dsp/Buffers.h"
#include "dsp/VectorLanes.h"

CombReverb::CombReverb() : storage(std::make_unique<float[]>(kStorage)) {
    // The lines start on a cache line, so that vectors of frames at aligned positions
    // never straddle two.
    void* start = storage.get();
    size_t space = kStorage * sizeof(float);
    lines = static_cast<float*>(std::align(64, 2 * kCombs * kLineStride * sizeof(float), start, space));
    clear();
}

void CombReverb::clear() { std::fill(lines, lines + 2 * kCombs * kLineStride, 0.0f); }

void CombReverb::recompute(int32_t sampleRate, float time, float level, float stereo) {
    wetLevel.store(level * 0.2f, std::memory_order_relaxed);
    width.store(stereo * 0.5f, std::memory_order_relaxed);
    float t60 = time * 3.9f + 0.1f;  // 0.1 s to 4.0 s
    // A negative rate would give gains above 1 and a reverb that grows without bound;
    // any rate below 1 Hz is treated as 1 Hz, where the combs die at once.
    double rate = sampleRate > 0 ? static_cast<double>(sampleRate) : 1.0;
    for (int bank = 0; bank < 2; ++bank)
        for (int j = 0; j < kCombs; ++j) {
            double g = std::pow(10.0, -3.0 * kLengths[bank][j] / (rate * t60));
            gains[bank][j].store(static_cast<float>(g), std::memory_order_relaxed);
        }
}

bool CombReverb::load(float time, Settings& settings) const {
    settings.wetLevel = wetLevel.load(std::memory_order_relaxed);
    if (settings.wetLevel == 0.0f || time == 0.0f) return false;
    settings.width = width.load(std::memory_order_relaxed);
    for (int bank = 0; bank < 2; ++bank)
        for (int j = 0; j < kCombs; ++j) settings.gains[bank][j] = gains[bank][j].load(std::memory_order_relaxed);
    return true;
}

namespace {

constexpr int32_t kMask = CombReverb::kLineLength - 1;
constexpr int32_t kStride = CombReverb::kLineStride;
static_assert(CombReverb::kReadSlack >= kMaxFrames, "the reads of a sub-block run past a line's end");
static_assert(CombReverb::kLineStride >= CombReverb::kLineLength + CombReverb::kReadSlack + 16,
              "the copies of whole vectors fit");
static_assert(
    [] {
        for (const auto& bank : CombReverb::kLengths)
            for (int32_t length : bank)
                if (length <= kMaxFrames) return false;
        return true;
    }(),
    "within a sub-block the taps never read what it writes");

// How the two banks' sums are added to the frames.
struct Mix {
    float wet, own, other;
};

// Equal lanes of a vector, or the value itself for one frame at a time.
template <class V>
[[gnu::always_inline]] inline V filled(float x) {
    if constexpr (std::is_same_v<V, float>)
        return x;
    else
        return lanes::splat<V>(x);
}

// The comb gains (left bank, right bank) and the mix in every lane, made once per
// sub-block: equal lanes cost several instructions each on some paths.
template <class V>
struct Weights {
    V gains[2 * CombReverb::kCombs];
    V wet, own, other;

    Weights(const float* g, const Mix& mix)
        : wet(filled<V>(mix.wet)), own(filled<V>(mix.own)), other(filled<V>(mix.other)) {
        for (int j = 0; j < 2 * CombReverb::kCombs; ++j) gains[j] = filled<V>(g[j]);
    }
};

// One bank for a vector of frames side by side (or one frame when V is float), at the
// first line's write position `at`: comb after comb, the tap (reads[j] from there)
// scaled by the gain, written back with the input and added to the bank's sum, which
// stays in a register. Running it twice over a frame gives the same values again: the
// taps it reads lie a comb length (more than a sub-block) behind anything a sub-block
// writes.
template <class V>
[[gnu::always_inline]] inline V bankFrames(float* at, const int32_t* reads, const V* gains, const V& in) {
    V s = filled<V>(0.0f);
#pragma GCC unroll 12
    for (int j = 0; j < CombReverb::kCombs; ++j) {
        const V y = gains[j] * lanes::load<V>(at + reads[j]);
        lanes::store(at + j * kStride, in + y);
        s = s + y;
    }
    return s;
}

// Every other lane of the pair (a, b), from the first or the second.
template <int W, int kFirst>
struct EveryOther {
    static constexpr int at(int j) { return 2 * j + kFirst; }
};

// Both banks for the same frames (dry, interleaved), their sums mixed into the frames,
// written interleaved.
template <class V>
[[gnu::always_inline]] inline void reverbFrames(float* at, const int32_t* reads, const Weights<V>& w, const float* dry,
                                                float* frames) {
    constexpr int kRight = CombReverb::kCombs;
    V inL, inR;
    if constexpr (std::is_same_v<V, float>) {
        inL = dry[0];
        inR = dry[1];
    } else {
        constexpr int kWidth = lanes::kWidth<V>;
        const V low = lanes::load<V>(dry), high = lanes::load<V>(dry + kWidth);
        inL = lanes::shuffle<V, EveryOther<kWidth, 0>>(low, high);
        inR = lanes::shuffle<V, EveryOther<kWidth, 1>>(low, high);
    }
    const V sumL = bankFrames<V>(at, reads, w.gains, inL);
    const V sumR = bankFrames<V>(at + kRight * kStride, reads + kRight, w.gains + kRight, inR);
    const V l = inL + w.wet * (w.own * sumL + w.other * sumR);
    const V r = inR + w.wet * (w.other * sumL + w.own * sumR);
    if constexpr (std::is_same_v<V, float>) {
        frames[0] = l;
        frames[1] = r;
    } else {
        lanes::store(frames, lanes::interleavedLow(l, r));
        lanes::store(frames + lanes::kWidth<V>, lanes::interleavedHigh(l, r));
    }
}

// Both banks over the sub-block, in runs that end where the writes wrap; the reads run
// on into the lines' copies of their first samples. Vectors start on the writes'
// alignment, the first and last one of a run overlapping their neighbours where the run
// is not a whole number of them.
template <class V>
[[gnu::always_inline]] inline void runReverb(float* lines, const float* gains, const Mix& mix, const float* dry,
                                             float* frames, int32_t count, int32_t position) {
    constexpr int32_t kWidth = lanes::kWidth<V>;
    constexpr int kLines = 2 * CombReverb::kCombs;
    const int32_t* lengths = &CombReverb::kLengths[0][0];
    const Weights<V> wide(gains, mix);
    const Weights<float> single(gains, mix);
    for (int32_t n = 0; n < count;) {
        const int32_t write = (position + 1 + n) & kMask;
        const int32_t run = std::min(count - n, CombReverb::kLineLength - write);
        int32_t reads[kLines];
        for (int j = 0; j < kLines; ++j)
            reads[j] = (j % CombReverb::kCombs) * kStride + ((write - lengths[j]) & kMask) - write;
        float* at = lines + write;
        const auto frame = [&](const auto& w, int32_t k) {
            reverbFrames(at + k, reads, w, dry + 2 * (n + k), frames + 2 * (n + k));
        };
        if (run < kWidth) {
            for (int32_t k = 0; k < run; ++k) frame(single, k);
        } else {
            frame(wide, 0);
            for (int32_t k = kWidth - (write & (kWidth - 1)); k + kWidth <= run; k += kWidth) frame(wide, k);
            frame(wide, run - kWidth);
        }
        // Samples written at the start of a line are copied past its end, where the reads
        // of later sub-blocks find them without wrapping.
        // Whole vectors, past the end of the copy by up to a vector less one sample: the
        // stride leaves room for them (a library copy cost more in calls than in bytes).
        if (write < CombReverb::kReadSlack) {
            const int32_t copied = std::min(run, CombReverb::kReadSlack - write);
            for (int j = 0; j < kLines; ++j)
                for (int32_t k = 0; k < copied; k += kWidth) {
                    float* line = at + j * kStride + k;
                    lanes::store(line + CombReverb::kLineLength, lanes::load<V>(line));
                }
        }
        n += run;
    }
}

using ReverbKernel = void (*)(float*, const float*, const Mix&, const float*, float*, int32_t, int32_t);

void runReverbBaseline(float* lines, const float* gains, const Mix& mix, const float* dry, float* frames, int32_t count,
                       int32_t position) {
    runReverb<lanes::F4>(lines, gains, mix, dry, frames, count, position);
}

ZORVEK_TARGET_AVX2 void runReverbAvx2(float* lines, const float* gains, const Mix& mix, const float* dry, float* frames,
                                      int32_t count, int32_t position) {
    runReverb<lanes::F8>(lines, gains, mix, dry, frames, count, position);
}

// Frames are independent lanes here: AVX2 is as wide as it pays to go.
constexpr SimdKernels<ReverbKernel> kRunReverb{&runReverbBaseline, &runReverbAvx2, &runReverbAvx2};

}  // namespace

bool CombReverb::usePath(SimdPath wanted) {
    if (!simdSupported(wanted)) return false;
    path = wanted;
    return true;
}

void CombReverb::process(const Settings& settings, const float* dry, float* frames, int32_t count) {
    count = std::clamp(count, 0, kMaxFrames);
    const Mix mix{settings.wetLevel, settings.width + 0.5f, 0.5f - settings.width};
    kRunReverb[path](lines, &settings.gains[0][0], mix, dry, frames, count, position);
    position = (position + count) & (kLineLength - 1);
}
