// The reverb stage of the effects chain: 12 parallel feedback combs per channel (no
// all-pass, no damping), added to the frame in place with a stereo width control.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

class CombReverb {
public:
    static constexpr int kCombs = 12;
    static constexpr int kLineLength = 2048;  // power of two: positions wrap by masking

    // Comb lengths in samples, the same at every sample rate; left bank, right bank.
    static constexpr int32_t kLengths[2][kCombs] = {
        {601, 647, 701, 757, 797, 857, 907, 957, 997, 1049, 1103, 1151},
        {613, 653, 691, 751, 809, 853, 911, 953, 1009, 1051, 1109, 1153},
    };

    // What one sub-block runs with, copied from the shared settings at its start.
    struct Settings {
        float gains[2][kCombs];
        float wetLevel;
        float width;
    };

    // Lines zero-filled; switched off (wet level 0) until the first recompute.
    CombReverb();

    // Any thread (after any parameter change): wet level, width and the comb gains that
    // make every comb fall by 60 dB in the decay time at the given rate.
    void recompute(int32_t sampleRate, float time, float level, float stereo);

    // Audio thread, once per sub-block. False when the reverb is switched off (wet
    // level or time control exactly 0): frames then pass unchanged and the lines freeze.
    bool load(float time, Settings& settings) const;

    // Audio thread: adds the reverb to one frame in place.
    inline void processFrame(const Settings& settings, float& left, float& right);

    float gain(int bank, int comb) const { return gains[bank][comb].load(std::memory_order_relaxed); }

private:
    inline float runBank(int bank, const float* bankGains, float in);

    // Shared with the audio thread; a sub-block may mix old and new values of a change
    // that lands while it loads them, which is harmless.
    std::atomic<float> gains[2][kCombs];
    std::atomic<float> wetLevel{0.0f};
    std::atomic<float> width{0.0f};

    // Two banks of kLineLength positions x kCombs floats: the 12 combs of a bank are
    // interleaved so that one frame's writes land side by side.
    std::unique_ptr<float[]> lines;
    int32_t position = 0;
};

inline float CombReverb::runBank(int bank, const float* bankGains, float in) {
    float* line = lines.get() + bank * kLineLength * kCombs;
    float* write = line + position * kCombs;
    const int32_t* lengths = kLengths[bank];
    alignas(16) float y[kCombs];
#if defined(__SSE__)
    // Four combs per vector: their taps sit at different positions, the writes side by side.
    const __m128 input = _mm_set1_ps(in);
    for (int j = 0; j < kCombs; j += 4) {
        __m128 taps = _mm_setr_ps(line[((position - lengths[j]) & (kLineLength - 1)) * kCombs + j],
                                  line[((position - lengths[j + 1]) & (kLineLength - 1)) * kCombs + j + 1],
                                  line[((position - lengths[j + 2]) & (kLineLength - 1)) * kCombs + j + 2],
                                  line[((position - lengths[j + 3]) & (kLineLength - 1)) * kCombs + j + 3]);
        __m128 v = _mm_mul_ps(_mm_loadu_ps(bankGains + j), taps);
        _mm_store_ps(y + j, v);
        _mm_storeu_ps(write + j, _mm_add_ps(input, v));
    }
#else
    for (int j = 0; j < kCombs; ++j) {
        y[j] = bankGains[j] * line[((position - lengths[j]) & (kLineLength - 1)) * kCombs + j];
        write[j] = in + y[j];
    }
#endif
    // Summed one comb after another, in bank order.
    float sum = 0.0f;
    for (int j = 0; j < kCombs; ++j) sum = sum + y[j];
    return sum;
}

inline void CombReverb::processFrame(const Settings& settings, float& left, float& right) {
    position = (position + 1) & (kLineLength - 1);
    float sumL = runBank(0, settings.gains[0], left);
    float sumR = runBank(1, settings.gains[1], right);
    float own = settings.width + 0.5f;
    float other = 0.5f - settings.width;
    left = left + settings.wetLevel * (own * sumL + other * sumR);
    right = right + settings.wetLevel * (other * sumL + own * sumR);
}
