#include "vocoder/VocoderFilterBank.h"

#include <cmath>

using vocoder::kBandSlots;

VocoderFilterBank::VocoderFilterBank() { clear(); }

void VocoderFilterBank::apply(const vocoder::BandDesign& design) {
    for (int32_t i = 0; i < design.count; ++i) {
        const vocoder::BandCoefficients& c = design.coefficients[i];
        b0[i] = c.b0;
        b1[i] = c.b1;
        b2[i] = c.b2;
        a1[i] = c.a1;
        a2[i] = c.a2;
        bandGain[i] = design.gain[i];
    }
}

void VocoderFilterBank::clear() {
    modulatorState = BiquadState{};
    leftState = BiquadState{};
    rightState = BiquadState{};
    for (int i = 0; i < kBandSlots; ++i) {
        b0[i] = b1[i] = b2[i] = a1[i] = a2[i] = 0.0f;
        bandEnvelope[i] = previousEnvelope[i] = 0.0f;
        bandGain[i] = 1.0f;
    }
}

// Written as independent per-band lanes so the compiler can evaluate several bands per
// vector instruction with exactly the scalar arithmetic.
void VocoderFilterBank::filter(BiquadState& s, float input, int32_t count, float* out) const {
    for (int32_t i = 0; i < count; ++i) {
        const double y = static_cast<double>(b0[i]) * input + static_cast<double>(b1[i]) * s.x1[i] +
                         static_cast<double>(b2[i]) * s.x2[i] - static_cast<double>(a1[i]) * s.y1[i] -
                         static_cast<double>(a2[i]) * s.y2[i] + 1e-30;
        const float yf = static_cast<float>(y);
        s.x2[i] = s.x1[i];
        s.x1[i] = input;
        s.y2[i] = s.y1[i];
        s.y1[i] = yf;
        out[i] = yf;
    }
}

void VocoderFilterBank::follow(int32_t count, int32_t shift, float a) {
    // A band that follows a higher band sees that band's previous-frame envelope.
    if (shift > 0)
        for (int32_t i = 0; i < count; ++i) previousEnvelope[i] = bandEnvelope[i];
    const float keep = 1.0f - a * 0.01f;
    for (int32_t i = 0; i < count; ++i) bandEnvelope[i] = bandEnvelope[i] * keep + std::fabs(modulatorOut[i]) * a * 0.01f;
}

float VocoderFilterBank::pick(int32_t i, int32_t count, int32_t shift) const {
    int32_t k = i + shift;
    if (k <= 0) k = 0;
    if (k >= count - 1) k = count - 1;
    return k > i ? previousEnvelope[k] : bandEnvelope[k];
}

void VocoderFilterBank::runMono(float modulator, float left, int32_t count, int32_t shift, float a, float& sumLeft) {
    filter(modulatorState, modulator, count, modulatorOut);
    follow(count, shift, a);
    filter(leftState, left, count, leftOut);
    float sum = 0.0f;
    for (int32_t i = 0; i < count; ++i) sum += pick(i, count, shift) * bandGain[i] * leftOut[i];
    sumLeft = sum;
}

void VocoderFilterBank::runStereo(float modulator, float left, float right, int32_t count, int32_t shift, float a,
                                  float& sumLeft, float& sumRight) {
    filter(modulatorState, modulator, count, modulatorOut);
    follow(count, shift, a);
    filter(leftState, left, count, leftOut);
    filter(rightState, right, count, rightOut);
    float sl = 0.0f;
    float sr = 0.0f;
    for (int32_t i = 0; i < count; ++i) {
        const float weight = pick(i, count, shift) * bandGain[i];
        sl += weight * leftOut[i];
        sr += weight * rightOut[i];
    }
    sumLeft = sl;
    sumRight = sr;
}
