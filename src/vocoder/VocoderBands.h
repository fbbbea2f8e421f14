// Band design of the vocoder: centre frequencies, band-pass coefficients and gains of
// the filter bank, and the per-bin gain curve of the spectral path, both shaped by the
// six Eq values (Eq1 at 100 Hz, doubling up to Eq6 at 3200 Hz).
#pragma once

#include <cstdint>

namespace vocoder {

constexpr int kMaxBands = 21;
constexpr int kBandSlots = 22;  // band arrays keep one spare entry
constexpr int kEqCount = 6;
constexpr int kSpectrumSize = 512;

// Cubic soft clipper that bounds every output sample and every bin target.
inline float softClip(float x) {
    if (x > 1.5f) return 1.0f;
    if (x < -1.5f) return -1.0f;
    return x - x * x * x * 0.15f;
}

// Coefficients of one band-pass: y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2.
struct BandCoefficients {
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
};

struct BandDesign {
    int32_t count = 0;
    float frequency[kBandSlots] = {};
    float gain[kBandSlots] = {};
    BandCoefficients coefficients[kBandSlots] = {};
};

// Constant-peak band-pass a tenth of an octave wide at f Hz. A band at or above half the
// sample rate cannot be represented (its recursion would be unstable or divide by zero):
// it gets all-zero coefficients and stays silent.
BandCoefficients designBand(float frequency, int32_t sampleRate);

// count bands (1..21) spaced over six octaves from 100 Hz; gains from the Eq values.
BandDesign designBands(int32_t count, const float (&eq)[kEqCount], int32_t sampleRate);

// The bins where the Eq breakpoints 100, 200, 400 .. 3200 Hz fall, capped at 256.
void binBounds(int32_t sampleRate, int32_t (&bounds)[kEqCount]);

// Rewrites the spectral gain curve (512 entries, mirrored around bin 256) from the Eq
// values. A segment narrower than one bin is skipped and keeps its earlier values.
void buildBinGain(const float (&eq)[kEqCount], int32_t sampleRate, float* binGain);

}  // namespace vocoder
