// The spectral path of the vocoder: carrier and modulator are cut into 512-sample frames
// with 50 % overlap; per frame the modulator's magnitude spectrum (optionally scrambled
// by the mangle width) drives one follower per bin, and the followers, shifted by the
// bin shift and weighted by the Eq curve, scale the carrier spectrum. The inverse
// transforms are crossfaded into two output rings that the output mix reads one sample
// per frame, 512 samples after the input.
#pragma once

#include <cstdint>

#include "vocoder/RealFft.h"

class VocoderSpectral {
public:
    static constexpr int kFrame = 512;
    static constexpr int kHop = 256;
    static constexpr int kRing = 1024;

    struct Settings {
        int32_t binShift = 0;     // carrier bin k follows modulator bin k + binShift
        int32_t mangleWidth = 0;  // 0 or 1: no mangle
        float speed = 0.0f;       // FollowD x 0.5: share of the way to the target per frame
        bool stereo = false;
    };

    VocoderSpectral();

    // Runs sampleCount sample frames: each is stored into the input rings, the output
    // rings are read at the read position into ringLeft (and ringRight in stereo), and a
    // full frame is transformed and crossfaded into the output rings. The right carrier
    // is taken only in stereo.
    void run(const float* modulator, const float* left, const float* right, int32_t sampleCount,
             const Settings& settings, float* ringLeft, float* ringRight);

    // Selects the instruction set of the per-frame work (for tests and benchmarks);
    // false if this processor lacks it. Every choice gives the same bits.
    bool usePath(SimdPath path);
    SimdPath path() const { return fft.path(); }

    // The spectral gain curve, 512 entries mirrored around bin 256 (rewritten by the
    // band design).
    float* binGain() { return gains; }
    const float* binGain() const { return gains; }
    float binEnvelope(int k) const { return envelope[k]; }

private:
    // A carrier turning stereo starts its right channel as a copy of the left one: in
    // mono the right input and output rings are not kept up and still hold what the last
    // stereo frames left there, which would sound as a burst.
    void takeRightFromLeft();
    // Input rings, output rings and followers back to silence (after a frame's work left
    // any of them non-finite).
    void clear();
    // Stores count sample frames at the input position; they never run past the end of
    // the current frame, which ends at a multiple of the hop in the rings.
    void feed(const float* modulator, const float* left, const float* right, int32_t count, bool stereo);
    // The per-frame work, written once for any vector width.
    friend struct SpectralFrame;

    RealFft fft;
    void (*processFrame)(VocoderSpectral& spectral, const Settings& settings);
    // The latest kFrame samples of carrier left, carrier right and modulator (unwindowed);
    // a frame is read from them starting at the input position, where its oldest sample
    // lies once it is full.
    alignas(64) float inputs[3][kFrame] = {};
    // The transforms' buffer: a frame in bit-reversed order, then its spectrum.
    alignas(64) float work[kFrame] = {};
    alignas(64) float outLeft[kRing] = {};
    alignas(64) float outRight[kRing] = {};
    alignas(64) float envelope[kFrame] = {};
    alignas(64) float gains[kFrame];
    alignas(64) float shaped[kHop + 1];
    alignas(64) float window[kFrame];
    int32_t fillPosition = 0;  // samples of the current frame stored
    int32_t inputPosition = 0;
    // How many of the latest right carrier samples equal the left ones bit for bit (at
    // most kFrame): a frame whose two carriers are equal is shaped once.
    int32_t twinRun = kFrame;
    int32_t readPosition = 0;
    int32_t writePosition = kFrame;
    bool stereo = false;  // of the last run
};
