// Plain scalar forms of the real transform and the spectral vocoder, one value at a
// time in the order the vector code takes its lanes. The vector paths must give the
// same bits as these on every input.
#pragma once

#include <cstdint>

#include "vocoder/VocoderSpectral.h"

class PlainRealFft {
public:
    static constexpr int kSize = 512;
    static constexpr int kHalf = 256;

    PlainRealFft();
    void forward(float* x) const;
    void inverse(float* x) const;

private:
    void complexForward(float* re, float* im) const;
    void complexInverse(float* re, float* im) const;

    // e^(+i pi j / h) per stage, at offset h - 4, and e^(+2 pi i k / 512) for k = 0..128.
    float stageCos[kHalf - 4], stageSin[kHalf - 4];
    float splitCos[kHalf / 2 + 1], splitSin[kHalf / 2 + 1];
};

class PlainSpectral {
public:
    static constexpr int kFrame = 512;
    static constexpr int kHop = 256;
    static constexpr int kRing = 1024;

    PlainSpectral();
    void run(const float* modulator, const float* left, const float* right, int32_t frames,
             const VocoderSpectral::Settings& settings, float* ringLeft, float* ringRight);
    float* binGain() { return gains; }
    float binEnvelope(int k) const { return envelope[k]; }

private:
    void processFrame(const VocoderSpectral::Settings& settings);
    void shapeCarrier(float* x);

    PlainRealFft fft;
    float frames[6][kFrame] = {};
    float* carrierLeft[2];
    float* carrierRight[2];
    float* modulator[2];
    float outLeft[kRing] = {};
    float outRight[kRing] = {};
    float envelope[kFrame] = {};
    float gains[kFrame];
    float shaped[kFrame / 2];
    float window[kFrame];
    int32_t fillPosition = 0;
    int32_t readPosition = 0;
    int32_t writePosition = kFrame;
    bool stereo = false;
};
