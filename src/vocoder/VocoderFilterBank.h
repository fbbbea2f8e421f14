// The filter-bank path of the vocoder: per band a band-pass on the modulator drives an
// envelope follower that scales the carrier's output of the same (or a shifted) band.
// The recursions run in double precision and store their state as float; each output
// carries a 1e-30 offset that keeps the recursion out of denormal numbers.
//
// The bands run side by side as vector lanes, eight doubles per AVX-512 vector, four per
// AVX2 vector or two per SSE2 (or NEON) vector, on the plug-in's active path. Every lane
// does the arithmetic of one band in the fixed order, and the per-frame sums over the bands
// are added band after band (several frames side by side), so every path gives the
// same bits.
#pragma once

#include <cstdint>

#include "dsp/SimdPath.h"
#include "vocoder/VocoderBands.h"

class VocoderFilterBank {
public:
    // Zero states; runs on the plug-in's active path.
    VocoderFilterBank();

    // Takes the coefficients and gains of design.count bands; the states of all bands
    // keep their values.
    void apply(const vocoder::BandDesign& design);
    // Filter bank off: states, coefficients and envelopes 0.0, gains 1.0.
    void clear();

    // Runs on the given path from now on; false (and no change) when the processor
    // lacks it.
    bool usePath(SimdPath path);
    SimdPath path() const { return current; }

    // frames sample frames through count bands (1..21); right null for a mono carrier.
    // a is the follower speed (FollowA x 0.5); band i takes the envelope of band
    // i + shift (clamped to the bands in use), which for a higher band is still the
    // previous frame's value. Writes the vocoded carrier of each frame to sumLeft (and
    // sumRight in stereo). Bands from count on keep their states. A state gone
    // non-finite (from a non-finite input) is cleared at the end of the run.
    void run(const float* modulator, const float* left, const float* right, int32_t frames, int32_t count,
             int32_t shift, float a, float* sumLeft, float* sumRight);

    float envelope(int i) const { return state.envelope[i]; }
    float gain(int i) const { return state.gain[i]; }

    // Band arrays hold whole vectors of eight lanes.
    static constexpr int kLanes = 24;
    // Longer runs go through the bands in parts of this many frames.
    static constexpr int kSpan = 256;

    // One band-pass per band on one input: the last two inputs and float-rounded
    // outputs, kept in double.
    struct alignas(64) Section {
        double x1[kLanes];
        double x2[kLanes];
        double y1[kLanes];
        double y2[kLanes];
    };

    struct State {
        Section sections[3];  // modulator, left carrier, right carrier
        alignas(64) double b0[kLanes];
        alignas(64) double b2[kLanes];
        alignas(64) double a1[kLanes];
        alignas(64) double a2[kLanes];
        alignas(64) float envelope[kLanes];
        alignas(64) float gain[kLanes];
        // b2 = -b0 in every lane.
        bool opposite;
        // The inputs of up to kSpan frames in double, and each one's difference to the
        // input two frames back, with room for a whole vector read at the last frame.
        alignas(64) double wide[3][kSpan + 8];
        alignas(64) double difference[3][kSpan + 8];
    };

    // What one run works on.
    struct Block {
        const float* modulator;
        const float* left;
        const float* right;
        int32_t frames;
        int32_t count;
        int32_t shift;
        float a;
        float* sumLeft;
        float* sumRight;
    };

private:
    using Kernel = void (*)(State&, const Block&);

    State state;
    SimdPath current = SimdPath::Sse2;
    Kernel kernel;
};
