// The lane helpers are always inlined, so no call passes a wide vector by value.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "effects/CombReverb.h"

#include <algorithm>
#include <cmath>
#include <memory>

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
static_assert(
    [] {
        for (const auto& bank : CombReverb::kLengths)
            for (int32_t length : bank)
                if (length <= kMaxFrames) return false;
        return true;
    }(),
    "within a sub-block the taps never read what it writes");

// One frame of a bank, at the first line's write position: comb after comb, the tap
// (reads[j] from there) scaled by the gain, written back with the input and added to the
// frame's sum.
[[gnu::always_inline]] inline void combFrame(float* at, const int32_t* reads, const float* gains, float x, float* sum) {
    float s = 0.0f;
    for (int j = 0; j < CombReverb::kCombs; ++j) {
        const float y = gains[j] * at[reads[j]];
        at[j * kStride] = x + y;
        s = s + y;
    }
    *sum = s;
}

// The same for a vector of frames side by side, the sum kept in a register. Running it
// twice over a frame gives the same values again: the taps it reads lie a comb length
// (more than a sub-block) behind anything a sub-block writes.
template <class V>
[[gnu::always_inline]] inline void combFrames(float* at, const int32_t* reads, const float* gains, const float* x,
                                              float* sum) {
    const V in = lanes::load<V>(x);
    V s = lanes::splat<V>(0.0f);
    for (int j = 0; j < CombReverb::kCombs; ++j) {
        const V y = lanes::splat<V>(gains[j]) * lanes::load<V>(at + reads[j]);
        lanes::store(at + j * kStride, in + y);
        s = s + y;
    }
    lanes::store(sum, s);
}

// The sum of one bank's combs for each frame, added in bank order; each comb's line
// written with the input. Runs end where the writes wrap; the reads run on into the
// lines' copies of their first samples. Vectors start on the writes' alignment, the
// first and last one of a run overlapping their neighbours where the run is not a
// whole number of them.
template <class V>
[[gnu::always_inline]] inline void runCombs(float* bank, const int32_t* lengths, const float* gains, const float* in,
                                            float* sum, int32_t frames, int32_t position) {
    constexpr int32_t kWidth = lanes::kWidth<V>;
    for (int32_t n = 0; n < frames;) {
        const int32_t write = (position + 1 + n) & kMask;
        const int32_t run = std::min(frames - n, CombReverb::kLineLength - write);
        int32_t reads[CombReverb::kCombs];
        for (int j = 0; j < CombReverb::kCombs; ++j) reads[j] = j * kStride + ((write - lengths[j]) & kMask) - write;
        if (run < kWidth) {
            for (int32_t k = 0; k < run; ++k) combFrame(bank + write + k, reads, gains, in[n + k], sum + n + k);
        } else {
            const int32_t aligned = kWidth - (write & (kWidth - 1));
            combFrames<V>(bank + write, reads, gains, in + n, sum + n);
            for (int32_t k = aligned; k + kWidth <= run; k += kWidth)
                combFrames<V>(bank + write + k, reads, gains, in + n + k, sum + n + k);
            const int32_t last = run - kWidth;
            combFrames<V>(bank + write + last, reads, gains, in + n + last, sum + n + last);
        }
        // Samples written at the start of a line are copied past its end, where the reads
        // of later sub-blocks find them without wrapping.
        if (write < CombReverb::kReadSlack) {
            const int32_t copied = std::min(run, CombReverb::kReadSlack - write);
            for (int j = 0; j < CombReverb::kCombs; ++j) {
                float* line = bank + j * kStride + write;
                std::copy_n(line, copied, line + CombReverb::kLineLength);
            }
        }
        n += run;
    }
}

void runCombsBaseline(float* bank, const int32_t* lengths, const float* gains, const float* in, float* sum,
                      int32_t frames, int32_t position) {
    runCombs<lanes::F4>(bank, lengths, gains, in, sum, frames, position);
}

ZORVEK_TARGET_AVX2 void runCombsAvx2(float* bank, const int32_t* lengths, const float* gains, const float* in,
                                     float* sum, int32_t frames, int32_t position) {
    runCombs<lanes::F8>(bank, lengths, gains, in, sum, frames, position);
}

// Frames are independent lanes here: AVX2 is as wide as it pays to go.
constexpr SimdKernels<void (*)(float*, const int32_t*, const float*, const float*, float*, int32_t, int32_t)> kRunCombs{
    &runCombsBaseline, &runCombsAvx2, &runCombsAvx2};

}  // namespace

bool CombReverb::usePath(SimdPath wanted) {
    if (!simdSupported(wanted)) return false;
    path = wanted;
    return true;
}

void CombReverb::runBank(int bank, const float* bankGains, const float* in, float* sum, int32_t frames) {
    float* bankLines = lines + bank * kCombs * kLineStride;
    kRunCombs[path](bankLines, kLengths[bank], bankGains, in, sum, frames, position);
}

void CombReverb::process(const Settings& settings, float* left, float* right, int32_t frames) {
    alignas(16) float sumL[kMaxFrames];
    alignas(16) float sumR[kMaxFrames];
    frames = std::clamp(frames, 0, kMaxFrames);
    runBank(0, settings.gains[0], left, sumL, frames);
    runBank(1, settings.gains[1], right, sumR, frames);
    position = (position + frames) & (kLineLength - 1);
    const float own = settings.width + 0.5f;
    const float other = 0.5f - settings.width;
    for (int32_t n = 0; n < frames; ++n) {
        left[n] = left[n] + settings.wetLevel * (own * sumL[n] + other * sumR[n]);
        right[n] = right[n] + settings.wetLevel * (other * sumL[n] + own * sumR[n]);
    }
}
