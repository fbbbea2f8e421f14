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

// The three input rings.
constexpr int kLeftInput = 0;
constexpr int kRightInput = 1;
constexpr int kModulatorInput = 2;

// put(bitReverse(i), from(i)) for i = 0..511, a square of vectors at a time: from(i) gives
// the vector of values i..i+w-1, put(j, v) takes values j..j+w-1. With w lanes (b bits),
// i splits into a row u (the top b bits), a column block c and a lane l (the low b bits),
// and bitReverse(i) into the reversed lane, column block and row: the vectors of rows
// reverse(u) at column block c, transposed, are the vectors of rows reverse(l) at column
// block reverse(c).
template <class V, class From, class Put>
[[gnu::always_inline]] inline void bitReversed(From from, Put put) {
    constexpr int w = lanes::kWidth<V>;
    constexpr int bits = log2(w);
    constexpr int row = kFrame / w;
    constexpr int blocks = kFrame / (w * w);
    for (int c = 0; c < blocks; ++c) {
        // Unrolled, so the rows stay in registers and each put's place is a constant.
        V rows[w];
#pragma GCC unroll 16
        for (int u = 0; u < w; ++u) rows[u] = from(reverseBits(u, bits) * row + c * w);
        lanes::transpose(rows);
        const int column = reverseBits(c, 9 - 2 * bits) * w;
#pragma GCC unroll 16
        for (int l = 0; l < w; ++l) put(reverseBits(l, bits) * row + column, rows[l]);
    }
}

// A frame from its input ring, whose oldest sample is at start (0 or the hop): frame
// sample i is ring sample (start + i) mod 512, and a vector of w samples never wraps.
template <class V>
[[gnu::always_inline]] inline V frameAt(const float* ring, int32_t start, int i) {
    return load<V>(ring + ((start + i) & (kFrame - 1)));
}

}  // namespace

VocoderSpectral::VocoderSpectral() {
    for (int i = 0; i < kFrame; ++i) {
        // 0.012271847 is 2 pi / 512 as a float.
        const float phase = static_cast<float>(i) * 0.012271847f;
        window[i] = 0.5f - 0.5f * static_cast<float>(std::cos(static_cast<double>(phase)));
        gains[i] = 1.0f;
    }
    usePath(activeSimdPath());
}

void VocoderSpectral::feed(const float* m, const float* left, const float* right, int32_t count, bool stereo) {
    const int32_t p = inputPosition;
    std::memcpy(inputs[kLeftInput] + p, left, count * sizeof(float));
    std::memcpy(inputs[kModulatorInput] + p, m, count * sizeof(float));
    inputPosition = (p + count) & (kFrame - 1);
    if (!stereo) return;
    std::memcpy(inputs[kRightInput] + p, right, count * sizeof(float));
    if (std::memcmp(left, right, count * sizeof(float)) == 0) {
        twinRun = std::min(twinRun + count, kFrame);
        return;
    }
    // The samples after the last pair that differs.
    int32_t n = count;
    while (std::memcmp(left + n - 1, right + n - 1, sizeof(float)) == 0) --n;
    twinRun = count - n;
}

void VocoderSpectral::takeRightFromLeft() {
    std::memcpy(inputs[kRightInput], inputs[kLeftInput], sizeof inputs[kRightInput]);
    std::memcpy(outRight, outLeft, sizeof outRight);
    twinRun = kFrame;
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
    std::memset(inputs, 0, sizeof inputs);
    twinRun = kFrame;
    std::memset(work, 0, sizeof work);
    std::memset(outLeft, 0, sizeof outLeft);
    std::memset(outRight, 0, sizeof outRight);
    std::memset(envelope, 0, sizeof envelope);
}

// The per-frame work of the spectral path for vectors of any width.
struct SpectralFrame {
    // The bit-reversal transposes squares of at most eight lanes: a 16-lane square
    // takes more shuffle work per sample than eight-lane ones, and its rows spill.
    template <class V>
    using GatherLanes = std::conditional_t<(lanes::kWidth<V> > 8), F8, V>;

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

    // Transforms the carrier frame in an input ring, scales bins 1..255 by shaped[k],
    // clears bins 0 and 256, transforms it back and hands its samples, 256 times the
    // shaped ones, to put(i, v) in time order.
    template <class V, class Put>
    [[gnu::always_inline]] static void shapeCarrier(VocoderSpectral& s, const float* ring, Put put) {
        using G = GatherLanes<V>;
        float* work = s.work;
        const int32_t start = s.inputPosition;
        bitReversed<G>([&](int i) { return frameAt<G>(ring, start, i); },
                       [&](int j, const G& v) { store(work + j, v); });
        s.fft.shape(work, s.shaped);
        bitReversed<G>([&](int i) { return load<G>(work + i); }, put);
    }

    // The places a frame's crossfade writes in an output ring: the write position (a
    // multiple of the hop) for the frame's first half, faded with what the previous frame
    // left there, and the next hop for its second half, kept unscaled for the next frame's
    // crossfade. Each half is one run.
    struct Halves {
        float* head;
        float* tail;
    };

    static Halves halves(const VocoderSpectral& s, float* ring) {
        return {ring + s.writePosition, ring + ((s.writePosition + kHop) & (kRing - 1))};
    }

    // The left ring's linear crossfade.
    template <class V>
    [[gnu::always_inline]] static void fadeLeft(const Halves& ring, int i, const V& v) {
        if (i >= kHop) {
            store(ring.tail + i - kHop, v);
        } else {
            const V faded = load<V>(kFadeIn.data() + i) * v + load<V>(kFadeOut.data() + i) * load<V>(ring.head + i);
            store(ring.head + i, faded * splat<V>(kLinearFadeScale));
        }
    }

    // The right ring's crossfade with the window.
    template <class V>
    [[gnu::always_inline]] static void fadeRight(const Halves& ring, const float* window, int i, const V& v) {
        constexpr int w = lanes::kWidth<V>;
        if (i >= kHop) {
            store(ring.tail + i - kHop, v);
        } else {
            const V falling = lanes::reversed(load<V>(window + 255 - i - (w - 1)));
            const V faded = v * load<V>(window + i) + falling * load<V>(ring.head + i);
            store(ring.head + i, faded * splat<V>(kWindowFadeScale));
        }
    }

    template <class V>
    [[gnu::always_inline]] static void process(VocoderSpectral& s, const VocoderSpectral::Settings& settings) {
        using G = GatherLanes<V>;
        float* envelope = s.envelope;
        constexpr int w = lanes::kWidth<V>;
        float* m = s.work;
        const float* modulator = s.inputs[kModulatorInput];
        const int32_t start = s.inputPosition;
        bitReversed<G>([&](int i) { return load<G>(s.window + i) * frameAt<G>(modulator, start, i); },
                       [&](int j, const G& v) { store(m + j, v); });
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
        const bool twins = settings.stereo && s.twinRun == kFrame;
        const Halves left = halves(s, s.outLeft), right = halves(s, s.outRight);
        const float* window = s.window;
        if (twins) {
            shapeCarrier<V>(s, s.inputs[kLeftInput], [&](int i, const G& v) {
                fadeLeft(left, i, v);
                fadeRight(right, window, i, v);
            });
        } else {
            shapeCarrier<V>(s, s.inputs[kLeftInput], [&](int i, const G& v) { fadeLeft(left, i, v); });
            if (settings.stereo)
                shapeCarrier<V>(s, s.inputs[kRightInput], [&](int i, const G& v) { fadeRight(right, window, i, v); });
        }
        // A non-finite sample or follower reaches the rings through a frame's transforms
        // and only then the output: cleared here, it is never heard. Bins 0 and 256 of the
        // followers were just set to zero.
        const bool finite =
            lanes::allFinite<V>(envelope + 1, kHop) && lanes::allFinite<V>(left.head, kHop) &&
            lanes::allFinite<V>(left.tail, kHop) &&
            (!settings.stereo || (lanes::allFinite<V>(right.head, kHop) && lanes::allFinite<V>(right.tail, kHop)));
        if (!finite) s.clear();
        s.writePosition = (s.writePosition + kHop) & (kRing - 1);

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
