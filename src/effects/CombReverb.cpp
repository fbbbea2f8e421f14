#include "effects/CombReverb.h"

#include <algorithm>
#include <cmath>

#include "dsp/Buffers.h"

CombReverb::CombReverb() : lines(std::make_unique<float[]>(2 * kLineLength * kCombs)) {}

void CombReverb::clear() { std::fill(lines.get(), lines.get() + 2 * kLineLength * kCombs, 0.0f); }

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

// One comb over a run of frames in which neither its read nor its write position wraps:
// the taps scaled by the gain, written back with the input and added to the frames'
// sums. Plain lanes, which the compiler runs four (SSE2) or eight (AVX2) frames at a time.
[[gnu::always_inline]] inline void combRun(const float* __restrict tap, float* __restrict out,
                                           const float* __restrict x, float* __restrict sum, float g, int32_t run) {
    for (int32_t k = 0; k < run; ++k) {
        const float y = g * tap[k];
        out[k] = x[k] + y;
        sum[k] = sum[k] + y;
    }
}

// The sum of one bank's combs for each frame, summed one comb after another in bank
// order; each comb's line written with the input.
[[gnu::always_inline]] inline void runCombs(float* lines, const int32_t* lengths, const float* gains, const float* in,
                                            float* sum, int32_t frames, int32_t position) {
    constexpr int32_t kMask = CombReverb::kLineLength - 1;
    std::fill(sum, sum + frames, 0.0f);
    for (int j = 0; j < CombReverb::kCombs; ++j) {
        float* line = lines + j * CombReverb::kLineLength;
        for (int32_t n = 0; n < frames;) {
            const int32_t write = (position + 1 + n) & kMask;
            const int32_t read = (write - lengths[j]) & kMask;
            const int32_t run = std::min({frames - n, kMask + 1 - write, kMask + 1 - read});
            combRun(line + read, line + write, in + n, sum + n, gains[j], run);
            n += run;
        }
    }
}

void runCombsBaseline(float* lines, const int32_t* lengths, const float* gains, const float* in, float* sum,
                      int32_t frames, int32_t position) {
    runCombs(lines, lengths, gains, in, sum, frames, position);
}

ZORVEK_TARGET_AVX2 void runCombsAvx2(float* lines, const int32_t* lengths, const float* gains, const float* in,
                                     float* sum, int32_t frames, int32_t position) {
    runCombs(lines, lengths, gains, in, sum, frames, position);
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
    float* bankLines = lines.get() + bank * kCombs * kLineLength;
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
