#include "plain_spectral.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "vocoder/RealFft.h"
#include "vocoder/VocoderBands.h"

namespace {

// cos and sin of 2 pi n / d, taken from the first quadrant so that the quarter turn is
// exactly (0, 1).
void unitCircle(int n, int d, float& c, float& s) {
    const double pi = 3.14159265358979323846;
    if (4 * n <= d) {
        c = static_cast<float>(std::cos(2.0 * pi * n / d));
        s = static_cast<float>(std::sin(2.0 * pi * n / d));
    } else {
        const int m = n - d / 4;
        c = -static_cast<float>(std::sin(2.0 * pi * m / d));
        s = static_cast<float>(std::cos(2.0 * pi * m / d));
    }
}

}  // namespace

PlainRealFft::PlainRealFft() {
    for (int h = 4; h < kHalf; h *= 2)
        for (int j = 0; j < h; ++j) unitCircle(j, 2 * h, stageCos[h - 4 + j], stageSin[h - 4 + j]);
    for (int k = 0; k <= kHalf / 2; ++k) unitCircle(k, kSize, splitCos[k], splitSin[k]);
}

void PlainRealFft::complexForward(float* re, float* im) const {
    for (int g = 0; g < kHalf; g += 4) {
        float* r = re + g;
        float* i = im + g;
        const float a0r = r[0] + r[1], a1r = r[0] - r[1], a2r = r[2] + r[3], a3r = r[2] - r[3];
        const float a0i = i[0] + i[1], a1i = i[0] - i[1], a2i = i[2] + i[3], a3i = i[2] - i[3];
        r[0] = a0r + a2r, i[0] = a0i + a2i;
        r[2] = a0r - a2r, i[2] = a0i - a2i;
        r[1] = a1r - a3i, i[1] = a1i + a3r;
        r[3] = a1r + a3i, i[3] = a1i - a3r;
    }
    for (int h = 4; h < kHalf; h *= 2) {
        for (int b = 0; b < kHalf; b += 2 * h) {
            for (int j = 0; j < h; ++j) {
                const int a = b + j, c = a + h;
                const float wr = stageCos[h - 4 + j], wi = stageSin[h - 4 + j];
                const float tr = re[c] * wr - im[c] * wi;
                const float ti = re[c] * wi + im[c] * wr;
                re[c] = re[a] - tr, im[c] = im[a] - ti;
                re[a] = re[a] + tr, im[a] = im[a] + ti;
            }
        }
    }
}

void PlainRealFft::complexInverse(float* re, float* im) const {
    for (int h = kHalf / 2; h >= 4; h /= 2) {
        for (int b = 0; b < kHalf; b += 2 * h) {
            for (int j = 0; j < h; ++j) {
                const int a = b + j, c = a + h;
                const float wr = stageCos[h - 4 + j], wi = stageSin[h - 4 + j];
                const float dr = re[a] - re[c], di = im[a] - im[c];
                re[a] = re[a] + re[c], im[a] = im[a] + im[c];
                re[c] = dr * wr + di * wi;
                im[c] = di * wr - dr * wi;
            }
        }
    }
    for (int g = 0; g < kHalf; g += 4) {
        float* r = re + g;
        float* i = im + g;
        const float b0r = r[0] + r[2], b2r = r[0] - r[2], b0i = i[0] + i[2], b2i = i[0] - i[2];
        const float b1r = r[1] + r[3], b3i = r[3] - r[1], b1i = i[1] + i[3], b3r = i[1] - i[3];
        r[0] = b0r + b1r, i[0] = b0i + b1i;
        r[1] = b0r - b1r, i[1] = b0i - b1i;
        r[2] = b2r + b3r, i[2] = b2i + b3i;
        r[3] = b2r - b3r, i[3] = b2i - b3i;
    }
}

void PlainRealFft::forward(float* x) const {
    complexForward(x, x + kHalf);
    const float z0r = x[0], z0i = x[kHalf];
    x[0] = z0r + z0i;
    x[kHalf] = z0r - z0i;
    for (int k = 1; k <= kHalf / 2; ++k) {
        const float ar = x[k], ai = x[kHalf + k], br = x[kHalf - k], bi = x[kSize - k];
        const float er = (ar + br) * 0.5f, ei = (ai - bi) * 0.5f;
        const float orr = (ai + bi) * 0.5f, oi = (br - ar) * 0.5f;
        const float c = splitCos[k], s = splitSin[k];
        const float wor = c * orr - s * oi, woi = c * oi + s * orr;
        x[k] = er + wor;
        x[kSize - k] = ei + woi;
        x[kHalf - k] = er - wor;
        x[kHalf + k] = woi - ei;
    }
}

void PlainRealFft::inverse(float* x) const {
    const float x0 = x[0], x256 = x[kHalf];
    x[0] = (x0 + x256) * 0.5f;
    x[kHalf] = (x0 - x256) * 0.5f;
    for (int k = 1; k <= kHalf / 2; ++k) {
        const float xr = x[k], xi = x[kSize - k], yr = x[kHalf - k], yi = x[kHalf + k];
        const float er = (xr + yr) * 0.5f, ei = (xi - yi) * 0.5f;
        const float pr = (xr - yr) * 0.5f, pi = (xi + yi) * 0.5f;
        const float c = splitCos[k], s = splitSin[k];
        const float orr = c * pr + s * pi, oi = c * pi - s * pr;
        x[k] = er - oi;
        x[kHalf + k] = ei + orr;
        x[kHalf - k] = er + oi;
        x[kSize - k] = orr - ei;
    }
    complexInverse(x, x + kHalf);
}

PlainSpectral::PlainSpectral() {
    carrierLeft[0] = frames[0], carrierLeft[1] = frames[1];
    carrierRight[0] = frames[2], carrierRight[1] = frames[3];
    modulator[0] = frames[4], modulator[1] = frames[5];
    for (int i = 0; i < kFrame; ++i) {
        const float phase = static_cast<float>(i) * 0.012271847f;
        window[i] = 0.5f - 0.5f * static_cast<float>(std::cos(static_cast<double>(phase)));
        gains[i] = 1.0f;
    }
}

void PlainSpectral::run(const float* m, const float* left, const float* right, int32_t frames,
                        const VocoderSpectral::Settings& settings, float* ringLeft, float* ringRight) {
    if (settings.stereo && !stereo) {
        for (int i = 0; i < 2; ++i) std::copy(carrierLeft[i], carrierLeft[i] + kFrame, carrierRight[i]);
        std::copy(outLeft, outLeft + kRing, outRight);
    }
    stereo = settings.stereo;
    for (int32_t n = 0; n < frames; ++n) {
        const int32_t p = fillPosition;
        const int32_t at = RealFft::bitReverse(p);
        carrierLeft[0][at] = left[n];
        if (settings.stereo) carrierRight[0][at] = right[n];
        modulator[0][at] = window[p] * m[n];
        if (p >= kHop) {
            const int32_t next = RealFft::bitReverse(p - kHop);
            carrierLeft[1][next] = left[n];
            if (settings.stereo) carrierRight[1][next] = right[n];
            modulator[1][next] = window[p - kHop] * m[n];
        }
        ringLeft[n] = outLeft[readPosition];
        if (settings.stereo) ringRight[n] = outRight[readPosition];
        readPosition = (readPosition + 1) % kRing;
        if (++fillPosition == kFrame) processFrame(settings);
    }
}

void PlainSpectral::shapeCarrier(float* x) {
    fft.forward(x);
    x[0] = 0.0f;
    x[256] = 0.0f;
    for (int k = 1; k < 256; ++k) {
        x[k] *= shaped[k];
        x[kFrame - k] *= shaped[k];
    }
    fft.inverse(x);
}

void PlainSpectral::processFrame(const VocoderSpectral::Settings& settings) {
    float* m = modulator[0];
    fft.forward(m);
    const int32_t w = settings.mangleWidth;
    for (int32_t g = 1; w != 0 && g + w < 255; g += w) {
        for (int32_t j = 0; j < w / 2; ++j) {
            std::swap(m[g + j], m[g + w - 1 - j]);
            std::swap(m[kFrame - (g + j)], m[kFrame - (g + w - 1 - j)]);
        }
    }
    m[0] = 0.0f;
    m[256] = 0.0f;
    for (int k = 1; k < 256; ++k) shaped[k] = gains[k] * envelope[std::clamp(k + settings.binShift, 0, 255)] * 10.0f;
    envelope[0] = 0.0f;
    envelope[256] = 0.0f;
    for (int k = 1; k < 256; ++k) {
        const float re = m[k], im = m[kFrame - k];
        const float target = vocoder::softClip(0.1f * std::sqrt(re * re + im * im));
        envelope[k] = envelope[k] + (target - envelope[k]) * settings.speed;
    }
    shapeCarrier(carrierLeft[0]);
    if (settings.stereo) shapeCarrier(carrierRight[0]);

    for (int k = 0; k < kFrame; ++k) {
        const int32_t q = (writePosition + k) % kRing;
        const float l = carrierLeft[0][RealFft::bitReverse(k)];
        outLeft[q] =
            k < kHop ? (static_cast<float>(k) * l + static_cast<float>(255 - k) * outLeft[q]) * 1.52881e-5f : l;
        if (!settings.stereo) continue;
        const float r = carrierRight[0][RealFft::bitReverse(k)];
        outRight[q] = k < kHop ? (r * window[k] + window[255 - k] * outRight[q]) * 0.00391f : r;
    }
    writePosition = (writePosition + kHop) % kRing;
    std::swap(carrierLeft[0], carrierLeft[1]);
    std::swap(carrierRight[0], carrierRight[1]);
    std::swap(modulator[0], modulator[1]);
    fillPosition = kHop;
}
