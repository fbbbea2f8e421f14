#include "vocoder/VocoderSpectral.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "vocoder/VocoderBands.h"

namespace {

constexpr std::array<int16_t, VocoderSpectral::kFrame> makeBitReverse() {
    std::array<int16_t, VocoderSpectral::kFrame> table{};
    for (int i = 0; i < VocoderSpectral::kFrame; ++i) table[i] = static_cast<int16_t>(RealFft::bitReverse(i));
    return table;
}
constexpr std::array<int16_t, VocoderSpectral::kFrame> kBitReverse = makeBitReverse();

// 0.00391 squared: one factor undoes the inverse transform's 256, the other the 255 of
// the linear crossfade weights.
constexpr float kLinearFadeScale = 1.52881e-5f;
constexpr float kWindowFadeScale = 0.00391f;

}  // namespace

VocoderSpectral::VocoderSpectral() {
    carrierLeft[0] = frames[0];
    carrierLeft[1] = frames[1];
    carrierRight[0] = frames[2];
    carrierRight[1] = frames[3];
    modulator[0] = frames[4];
    modulator[1] = frames[5];
    for (int i = 0; i < kFrame; ++i) {
        // 0.012271847 is 2 pi / 512 as a float.
        const float phase = static_cast<float>(i) * 0.012271847f;
        window[i] = 0.5f - 0.5f * static_cast<float>(std::cos(static_cast<double>(phase)));
        gains[i] = 1.0f;
    }
}

inline void VocoderSpectral::feed(float m, float left, float right, bool stereo) {
    const int32_t p = fillPosition;
    const int32_t at = kBitReverse[p];
    carrierLeft[0][at] = left;
    if (stereo) carrierRight[0][at] = right;
    modulator[0][at] = window[p] * m;
    if (p >= kHop) {
        const int32_t q = p - kHop;
        const int32_t next = kBitReverse[q];
        carrierLeft[1][next] = left;
        if (stereo) carrierRight[1][next] = right;
        modulator[1][next] = window[q] * m;
    }
}

inline void VocoderSpectral::advance(const Settings& settings) {
    readPosition = (readPosition + 1) & (kRing - 1);
    if (++fillPosition >= kFrame) processFrame(settings);
}

void VocoderSpectral::run(const float* m, const float* left, const float* right, int32_t frames,
                          const Settings& settings, float* ringLeft, float* ringRight) {
    for (int32_t n = 0; n < frames; ++n) {
        feed(m[n], left[n], right[n], settings.stereo);
        ringLeft[n] = outLeft[readPosition];
        if (settings.stereo) ringRight[n] = outRight[readPosition];
        advance(settings);
    }
}

void VocoderSpectral::mangle(int32_t width) {
    float* m = modulator[0];
    for (int32_t g = 1; g + width < 255; g += width) {
        for (int32_t j = 0; j < width / 2; ++j) {
            const int32_t a = g + j;
            const int32_t b = g + width - 1 - j;
            std::swap(m[a], m[b]);
            std::swap(m[kFrame - a], m[kFrame - b]);
        }
    }
}

void VocoderSpectral::shapeCarrier(float* x) {
    fft.forward(x);
    x[0] = 0.0f;
    x[256] = 0.0f;
    for (int k = 1; k < 256; ++k) {
        x[k] *= shaped[k];
        x[kFrame - k] *= shaped[k];
    }
    fft.inverse(x);
}

void VocoderSpectral::processFrame(const Settings& settings) {
    float* m = modulator[0];
    fft.forward(m);
    if (settings.mangleWidth != 0) mangle(settings.mangleWidth);
    m[0] = 0.0f;
    m[256] = 0.0f;

    // The carrier of this frame is shaped by the followers as they stood after the
    // previous frame.
    for (int k = 1; k < 256; ++k) {
        const float followed = envelope[std::clamp(k + settings.binShift, 0, 255)];
        shaped[k] = gains[k] * followed * 10.0f;
    }

    envelope[0] = 0.0f;
    envelope[256] = 0.0f;
    const float d = settings.speed;
    for (int k = 1; k < 256; ++k) {
        const float re = m[k];
        const float im = m[kFrame - k];
        const float target = vocoder::softClip(0.1f * std::sqrt(re * re + im * im));
        envelope[k] = envelope[k] + (target - envelope[k]) * d;
    }

    shapeCarrier(carrierLeft[0]);
    if (settings.stereo) shapeCarrier(carrierRight[0]);

    const float* left = carrierLeft[0];
    const float* right = carrierRight[0];
    for (int k = 0; k < kHop; ++k) {
        const int32_t q = (writePosition + k) & (kRing - 1);
        const float fadeIn = static_cast<float>(k);
        const float fadeOut = static_cast<float>(255 - k);
        outLeft[q] = (fadeIn * left[kBitReverse[k]] + fadeOut * outLeft[q]) * kLinearFadeScale;
    }
    // The second half is kept unscaled for the next frame's crossfade.
    for (int k = kHop; k < kFrame; ++k) outLeft[(writePosition + k) & (kRing - 1)] = left[kBitReverse[k]];
    if (settings.stereo) {
        for (int k = 0; k < kHop; ++k) {
            const int32_t q = (writePosition + k) & (kRing - 1);
            outRight[q] = (right[kBitReverse[k]] * window[k] + window[255 - k] * outRight[q]) * kWindowFadeScale;
        }
        for (int k = kHop; k < kFrame; ++k) outRight[(writePosition + k) & (kRing - 1)] = right[kBitReverse[k]];
    }
    writePosition = (writePosition + kHop) & (kRing - 1);

    std::swap(carrierLeft[0], carrierLeft[1]);
    std::swap(carrierRight[0], carrierRight[1]);
    std::swap(modulator[0], modulator[1]);
    fillPosition = kHop;
}
