#include "vocoder/VocoderBands.h"

#include <algorithm>
#include <cmath>

namespace vocoder {

namespace {

constexpr double kTwoPi = 6.283185307179586;
// ln 2 / 20: a bandwidth of a tenth of an octave in the band-pass design.
constexpr double kBandwidthTerm = 0.03465735902799726;

// Eq level v (0..1) as a factor: 0.5 is unity, 0 one tenth, 1 ten times.
float eqFactor(float v) { return static_cast<float>(std::pow(10.0, static_cast<double>(2.0f * (v - 0.5f)))); }

bool finite(const BandCoefficients& c) {
    return std::isfinite(c.b0) && std::isfinite(c.b2) && std::isfinite(c.a1) && std::isfinite(c.a2);
}

}  // namespace

BandCoefficients designBand(float frequency, int32_t sampleRate) {
    const BandCoefficients silent;
    if (sampleRate <= 0 || !(frequency > 0.0f) || 2.0 * frequency >= sampleRate) return silent;
    const float w = static_cast<float>(frequency * kTwoPi / sampleRate);
    const float s = static_cast<float>(std::sin(static_cast<double>(w)));
    if (!(s > 0.0f)) return silent;
    const float alpha = static_cast<float>(s * std::sinh(kBandwidthTerm * w / s));
    const float g = 1.0f / (1.0f + alpha);
    BandCoefficients c;
    c.b0 = alpha * g;
    c.b1 = 0.0f;
    c.b2 = -alpha * g;
    c.a1 = static_cast<float>(-2.0 * std::cos(static_cast<double>(w))) * g;
    c.a2 = (1.0f - alpha) * g;
    // Close to half the rate float rounding can put a pole on the unit circle.
    if (!finite(c) || !(std::fabs(c.a2) < 1.0f) || !(std::fabs(c.a1) < 1.0f + c.a2)) return silent;
    return c;
}

BandDesign designBands(int32_t count, const float (&eq)[kEqCount], int32_t sampleRate) {
    BandDesign design;
    design.count = std::clamp(count, 0, kMaxBands);
    const int32_t n = design.count;
    const float r = n >= 2 ? static_cast<float>(std::pow(10.0, std::log10(64.0) / (n - 1))) : 1.0f;
    const float k = static_cast<float>(1.0 / std::log10(2.0));
    const float l = static_cast<float>(std::log10(100.0)) * k;
    float f = 100.0f;
    for (int32_t i = 0; i < n; ++i) {
        // Octaves above 100 Hz, which pick the two Eq values to interpolate.
        float o = static_cast<float>(std::log10(static_cast<double>(f))) * k - l;
        o = std::clamp(o, 0.0f, 5.0f);
        const int32_t j = static_cast<int32_t>(o);
        const float level = j < kEqCount - 1 ? eq[j] + (eq[j + 1] - eq[j]) * (o - static_cast<float>(j)) : eq[j];
        design.frequency[i] = f;
        design.gain[i] = 200.0f * eqFactor(level);
        design.coefficients[i] = designBand(f, sampleRate);
        f = f * r;
    }
    return design;
}

void binBounds(int32_t sampleRate, int32_t (&bounds)[kEqCount]) {
    const float rate = static_cast<float>(std::max(sampleRate, 1));
    float breakpoint = 100.0f;
    for (int32_t& bound : bounds) {
        const float position = -breakpoint / rate * 512.0f;
        bound = std::min(1 - static_cast<int32_t>(std::trunc(position)), 256);
        breakpoint *= 2.0f;
    }
}

void buildBinGain(const float (&eq)[kEqCount], int32_t sampleRate, float* binGain) {
    int32_t b[kEqCount];
    binBounds(sampleRate, b);
    auto put = [binGain](int32_t q, float value) {
        binGain[q] = value;
        binGain[kSpectrumSize - q] = value;
    };
    binGain[0] = 0.0f;
    binGain[256] = 0.0f;
    // Rising from a tenth at DC to the first Eq level.
    for (int32_t q = 1; q < b[0]; ++q) put(q, eqFactor(eq[0] * static_cast<float>(q) / static_cast<float>(b[0])));
    for (int s = 0; s + 1 < kEqCount; ++s) {
        const int32_t lower = b[s];
        const int32_t upper = b[s + 1];
        for (int32_t q = lower; q < upper; ++q) {
            const float t = (eq[s + 1] - eq[s]) * static_cast<float>(q - lower) / static_cast<float>(upper - lower);
            put(q, eqFactor(eq[s] + t));
        }
    }
    // Falling from the last Eq level towards half the rate.
    const int32_t w = b[kEqCount - 1];
    for (int32_t q = w; q < 256; ++q) {
        const float fall = static_cast<float>(q - w) * eq[5] / static_cast<float>(512 - w);
        put(q, eqFactor(eq[5] - fall));
    }
}

}  // namespace vocoder
