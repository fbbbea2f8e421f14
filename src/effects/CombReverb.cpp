#include "effects/CombReverb.h"

#include <xmmintrin.h>

#include <algorithm>
#include <cmath>

#include "dsp/Buffers.h"

CombReverb::CombReverb() : lines(std::make_unique<float[]>(2 * kLineLength * kCombs)) {}

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

void CombReverb::runBank(int bank, const float* bankGains, const float* in, float* sum, int32_t frames) {
    std::fill(sum, sum + frames, 0.0f);
    // Summed one comb after another, in bank order, for every frame.
    for (int j = 0; j < kCombs; ++j) {
        float* line = lines.get() + (bank * kCombs + j) * kLineLength;
        const float g = bankGains[j];
        const __m128 gain = _mm_set1_ps(g);
        // Runs between the places where the write or the read position wraps.
        for (int32_t n = 0; n < frames;) {
            const int32_t write = (position + 1 + n) & (kLineLength - 1);
            const int32_t read = (write - kLengths[bank][j]) & (kLineLength - 1);
            const int32_t run = std::min({frames - n, kLineLength - write, kLineLength - read});
            const float* tap = line + read;
            float* out = line + write;
            const float* x = in + n;
            float* s = sum + n;
            int32_t k = 0;
            for (; k + 4 <= run; k += 4) {
                const __m128 y = _mm_mul_ps(gain, _mm_loadu_ps(tap + k));
                _mm_storeu_ps(out + k, _mm_add_ps(_mm_loadu_ps(x + k), y));
                _mm_storeu_ps(s + k, _mm_add_ps(_mm_loadu_ps(s + k), y));
            }
            for (; k < run; ++k) {
                const float y = g * tap[k];
                out[k] = x[k] + y;
                s[k] = s[k] + y;
            }
            n += run;
        }
    }
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
