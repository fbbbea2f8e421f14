// The lane helpers are always inlined, so no call passes a wide vector by value (the
// warning about how such a call would pass it is reported at the end of the file).
#pragma GCC diagnostic ignored "-Wpsabi"

#include "vocoder/VocoderSpectral.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#include "dsp/VectorLanes.h"

namespace {

using lanes::F16;
using lanes::F4;
using lanes::F8;
using lanes::load;
using lanes::splat;
using lanes::store;

constexpr int kFrame = VocoderSpectral::kFrame;
constexpr int kHop = VocoderSpectral::kHop;
constexpr int kRing = VocoderSpectral::kRing;

// 0.00391 squared: one factor undoes the inverse transform's 256, the other the 255 of
// the linear crossfade weights.
constexpr float kLinearFadeScale = 1.52881e-5f;
constexpr float kWindowFadeScale = 0.00391f;

// The linear crossfade weights k and 255 - k.
constexpr std::array<float, kHop> makeFade(bool in) {
    std::array<float, kHop> fade{};
    for (int k = 0; k < kHop; ++k) fade[k] = static_cast<float>(in ? k : 255 - k);
    return fade;
}
constexpr std::array<float, kHop> kFadeIn = makeFade(true);
constexpr std::array<float, kHop> kFadeOut = makeFade(false);

constexpr int reverseBits(int i, int bits) {
    int r = 0;
    for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
    return r;
}

constexpr int log2(int n) { return n > 1 ? 1 + log2(n / 2) : 0; }

// to[bitReverse(i)] = from[i] (times window[i] if given) for i = 0..511, a square of
// vectors at a time. With w lanes (b bits), i splits into a row u (the top b bits), a
// column block c and a lane l (the low b bits), and bitReverse(i) into the reversed
// lane, column block and row: the vectors of rows reverse(u) at column block c,
// transposed, are the vectors of rows reverse(l) at column block reverse(c).
template <class V>
[[gnu::always_inline]] inline void bitReversed(const float* from, const float* window, float* to) {
    constexpr int w = lanes::kWidth<V>;
    constexpr int bits = log2(w);
    constexpr int row = kFrame / w;
    constexpr int blocks = kFrame / (w * w);
    for (int c = 0; c < blocks; ++c) {
        V rows[w];
        for (int u = 0; u < w; ++u) {
            const int at = reverseBits(u, bits) * row + c * w;
            rows[u] = window ? load<V>(window + at) * load<V>(from + at) : load<V>(from + at);
        }
        lanes::transpose(rows);
        const int column = reverseBits(c, 9 - 2 * bits) * w;
        for (int l = 0; l < w; ++l) store(to + reverseBits(l, bits) * row + column, rows[l]);
    }
}

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
    usePath(activeSimdPath());
}

void VocoderSpectral::feed(const float* m, const float* left, const float* right, int32_t count, bool stereo) {
    const int32_t p = fillPosition;
    std::memcpy(carrierLeft[0] + p, left, count * sizeof(float));
    if (stereo) std::memcpy(carrierRight[0] + p, right, count * sizeof(float));
    std::memcpy(modulator[0] + p, m, count * sizeof(float));
    // From the middle of the current frames on, the samples also begin the next ones.
    const int32_t before = std::max(0, kHop - p);
    if (count <= before) return;
    const int32_t at = p + before - kHop;
    const int32_t rest = count - before;
    std::memcpy(carrierLeft[1] + at, left + before, rest * sizeof(float));
    if (stereo) std::memcpy(carrierRight[1] + at, right + before, rest * sizeof(float));
    std::memcpy(modulator[1] + at, m + before, rest * sizeof(float));
}

void VocoderSpectral::takeRightFromLeft() {
    for (int i = 0; i < 2; ++i) std::memcpy(carrierRight[i], carrierLeft[i], kFrame * sizeof(float));
    std::memcpy(outRight, outLeft, sizeof outRight);
}

void VocoderSpectral::run(const float* m, const float* left, const float* right, int32_t sampleCount,
                          const Settings& settings, float* ringLeft, float* ringRight) {
    if (settings.stereo && !stereo) takeRightFromLeft();
    stereo = settings.stereo;
    // Runs up to the end of the current frames: their ring reads all come before the
    // frame's crossfade writes the rings.
    for (int32_t n = 0; n < sampleCount;) {
        const int32_t count = std::min(sampleCount - n, kFrame - fillPosition);
        feed(m + n, left + n, right + n, count, settings.stereo);
        const int32_t first = std::min(count, kRing - readPosition);
        std::memcpy(ringLeft + n, outLeft + readPosition, first * sizeof(float));
        std::memcpy(ringLeft + n + first, outLeft, (count - first) * sizeof(float));
        if (settings.stereo) {
            std::memcpy(ringRight + n, outRight + readPosition, first * sizeof(float));
            std::memcpy(ringRight + n + first, outRight, (count - first) * sizeof(float));
        }
        readPosition = (readPosition + count) & (kRing - 1);
        fillPosition += count;
        n += count;
        if (fillPosition == kFrame) processFrame(*this, settings);
    }
}

void VocoderSpectral::clear() {
    std::memset(frames, 0, sizeof frames);
    std::memset(work, 0, sizeof work);
    std::memset(outLeft, 0, sizeof outLeft);
    std::memset(outRight, 0, sizeof outRight);
    std::memset(envelope, 0, sizeof envelope);
}

// The per-frame work of the spectral path for vectors of any width.
struct SpectralFrame {
    static void mangle(float* spectrum, int32_t width) {
        for (int32_t g = 1; g + width < 255; g += width) {
            for (int32_t j = 0; j < width / 2; ++j) {
                const int32_t a = g + j;
                const int32_t b = g + width - 1 - j;
                std::swap(spectrum[a], spectrum[b]);
                std::swap(spectrum[kFrame - a], spectrum[kFrame - b]);
            }
        }
    }

    // Transforms a carrier frame, scales bins 1..255 by shaped[k] and transforms it
    // back, leaving it in time order again.
    template <class V>
    [[gnu::always_inline]] static void shapeCarrier(VocoderSpectral& s, float* frame) {
        float* work = s.work;
        const float* shaped = s.shaped;
        constexpr int w = lanes::kWidth<V>;
        bitReversed<V>(frame, nullptr, work);
        s.fft.forward(work);
        work[0] = 0.0f;
        work[256] = 0.0f;
        // Bins 1..256 a vector at a time, each bin's two parts with the same factor; bin 256
        // is cleared again afterwards.
        for (int k = 1; k <= kHop; k += w) {
            const V scale = load<V>(shaped + k);
            const int mirror = kFrame - k - (w - 1);
            const V re = load<V>(work + k), im = load<V>(work + mirror);
            store(work + k, re * scale);
            store(work + mirror, im * lanes::reversed(scale));
        }
        work[256] = 0.0f;
        s.fft.inverse(work);
        bitReversed<V>(work, nullptr, frame);
    }

    template <class V>
    [[gnu::always_inline]] static void process(VocoderSpectral& s, const VocoderSpectral::Settings& settings) {
        float* envelope = s.envelope;
        constexpr int w = lanes::kWidth<V>;
        float* m = s.work;
        bitReversed<V>(s.modulator[0], s.window, m);
        s.fft.forward(m);
        if (settings.mangleWidth != 0) mangle(m, settings.mangleWidth);
        m[0] = 0.0f;
        m[256] = 0.0f;

        // The carrier of this frame is shaped by the followers as they stood after the
        // previous frame. Bins 1..256, bin 256 unused.
        const int32_t shift = settings.binShift;
        for (int k = 1; k <= kHop; k += w) {
            V followed;
            if (k + shift >= 0 && k + w - 1 + shift <= 255) {
                followed = load<V>(envelope + k + shift);
            } else {
                for (int i = 0; i < w; ++i) followed[i] = envelope[std::clamp(k + i + shift, 0, 255)];
            }
            store(s.shaped + k, load<V>(s.gains + k) * followed * splat<V>(10.0f));
        }

        // Bins 1..256; bin 256 has no follower and is cleared again.
        envelope[0] = 0.0f;
        envelope[256] = 0.0f;
        const V d = splat<V>(settings.speed);
        for (int k = 1; k <= kHop; k += w) {
            const V re = load<V>(m + k);
            const V im = lanes::reversed(load<V>(m + kFrame - k - (w - 1)));
            V magnitude = re * re + im * im;
            lanes::squareRoot(&magnitude);
            const V target = lanes::softClip(splat<V>(0.1f) * magnitude);
            const V e = load<V>(envelope + k);
            store(envelope + k, e + (target - e) * d);
        }
        envelope[256] = 0.0f;

        // A right carrier frame with the left one's samples (the synthesizer's carrier is
        // the same on both sides) is shaped into the left one's result.
        const bool twins =
            settings.stereo && std::memcmp(s.carrierLeft[0], s.carrierRight[0], kFrame * sizeof(float)) == 0;
        shapeCarrier<V>(s, s.carrierLeft[0]);
        if (twins)
            std::memcpy(s.carrierRight[0], s.carrierLeft[0], kFrame * sizeof(float));
        else if (settings.stereo)
            shapeCarrier<V>(s, s.carrierRight[0]);

        // The write position is a multiple of the hop, so each half of the 512 positions is
        // one run; the second half is kept unscaled for the next frame's crossfade.
        float* ring = s.outLeft + s.writePosition;
        const float* left = s.carrierLeft[0];
        for (int k = 0; k < kHop; k += w) {
            const V faded =
                load<V>(kFadeIn.data() + k) * load<V>(left + k) + load<V>(kFadeOut.data() + k) * load<V>(ring + k);
            store(ring + k, faded * splat<V>(kLinearFadeScale));
        }
        const int32_t tail = (s.writePosition + kHop) & (kRing - 1);
        std::memcpy(s.outLeft + tail, left + kHop, kHop * sizeof(float));
        if (settings.stereo) {
            ring = s.outRight + s.writePosition;
            const float* right = s.carrierRight[0];
            for (int k = 0; k < kHop; k += w) {
                const V falling = lanes::reversed(load<V>(s.window + 255 - k - (w - 1)));
                const V faded = load<V>(right + k) * load<V>(s.window + k) + falling * load<V>(ring + k);
                store(ring + k, faded * splat<V>(kWindowFadeScale));
            }
            std::memcpy(s.outRight + tail, right + kHop, kHop * sizeof(float));
        }
        // A non-finite sample or follower reaches the rings through a frame's transforms
        // and only then the output: cleared here, it is never heard. Bins 0 and 256 of the
        // followers were just set to zero.
        const bool finite =
            lanes::allFinite<V>(envelope + 1, kHop) && lanes::allFinite<V>(s.outLeft + s.writePosition, kHop) &&
            lanes::allFinite<V>(s.outLeft + tail, kHop) &&
            (!settings.stereo ||
             (lanes::allFinite<V>(s.outRight + s.writePosition, kHop) && lanes::allFinite<V>(s.outRight + tail, kHop)));
        if (!finite) s.clear();
        s.writePosition = (s.writePosition + kHop) & (kRing - 1);

        std::swap(s.carrierLeft[0], s.carrierLeft[1]);
        std::swap(s.carrierRight[0], s.carrierRight[1]);
        std::swap(s.modulator[0], s.modulator[1]);
        s.fillPosition = kHop;
    }
};

namespace {

void processFrameSse2(VocoderSpectral& s, const VocoderSpectral::Settings& settings) {
    SpectralFrame::process<F4>(s, settings);
}

ZORVEK_TARGET_AVX2 void processFrameAvx2(VocoderSpectral& s, const VocoderSpectral::Settings& settings) {
    SpectralFrame::process<F8>(s, settings);
}

ZORVEK_TARGET_AVX512 void processFrameAvx512(VocoderSpectral& s, const VocoderSpectral::Settings& settings) {
    SpectralFrame::process<F16>(s, settings);
}

constexpr SimdKernels<void (*)(VocoderSpectral&, const VocoderSpectral::Settings&)> kProcessFrame{&processFrameSse2,
                                                                                                  &processFrameAvx2,
                                                                                                  &processFrameAvx512};

}  // namespace

bool VocoderSpectral::usePath(SimdPath path) {
    if (!fft.usePath(path)) return false;
    processFrame = kProcessFrame[path];
    return true;
}
