// The filter-bank path of the vocoder: per band a band-pass on the modulator drives an
// envelope follower that scales the carrier's output of the same (or a shifted) band.
// The recursions run in double precision and store their state as float; each output
// carries a 1e-30 offset that keeps the recursion out of denormal numbers.
#pragma once

#include <cstdint>

#include "vocoder/VocoderBands.h"

class VocoderFilterBank {
public:
    VocoderFilterBank();

    // Takes the coefficients and gains of design.count bands; the states of all bands
    // keep their values.
    void apply(const vocoder::BandDesign& design);
    // Filter bank off: states, coefficients and envelopes 0.0, gains 1.0.
    void clear();

    // One sample frame through count bands (1..21). a is the follower speed
    // (FollowA x 0.5); band i takes the envelope of band i + shift (clamped to the
    // bands in use), which for a higher band is still the previous frame's value.
    // Answers the vocoded carrier; right only in stereo.
    void runMono(float modulator, float left, int32_t count, int32_t shift, float a, float& sumLeft);
    void runStereo(float modulator, float left, float right, int32_t count, int32_t shift, float a,
                   float& sumLeft, float& sumRight);

    float envelope(int i) const { return bandEnvelope[i]; }
    float gain(int i) const { return bandGain[i]; }

private:
    struct alignas(16) BiquadState {
        float x1[vocoder::kBandSlots];
        float x2[vocoder::kBandSlots];
        float y1[vocoder::kBandSlots];
        float y2[vocoder::kBandSlots];
    };

    // count band-passes of the same input, each with its own state, into out.
    void filter(BiquadState& state, float input, int32_t count, float* out) const;
    // Updates the followers from the modulator bands in modulatorOut.
    void follow(int32_t count, int32_t shift, float a);
    // The envelope band i uses.
    float pick(int32_t i, int32_t count, int32_t shift) const;

    BiquadState modulatorState;
    BiquadState leftState;
    BiquadState rightState;
    alignas(16) float b0[vocoder::kBandSlots];
    alignas(16) float b1[vocoder::kBandSlots];
    alignas(16) float b2[vocoder::kBandSlots];
    alignas(16) float a1[vocoder::kBandSlots];
    alignas(16) float a2[vocoder::kBandSlots];
    alignas(16) float bandEnvelope[vocoder::kBandSlots];
    alignas(16) float previousEnvelope[vocoder::kBandSlots];
    alignas(16) float bandGain[vocoder::kBandSlots];
    alignas(16) float modulatorOut[vocoder::kBandSlots];
    alignas(16) float leftOut[vocoder::kBandSlots];
    alignas(16) float rightOut[vocoder::kBandSlots];
};
