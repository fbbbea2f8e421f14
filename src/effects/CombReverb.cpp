#include "effects/CombReverb.h"

#include <cmath>

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
