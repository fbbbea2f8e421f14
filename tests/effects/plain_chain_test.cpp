// The delay and chorus against a plain frame-by-frame rendering of them: one line per
// channel, positions wrapped by masking, the oscillator stepped in every frame. The chain
// runs runs of frames without wrapping, stereo frames several per vector with the
// oscillator ahead of them, and must give the same bits on every path.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

#include "effects/EffectsHarness.h"

namespace {

struct PlainChain {
    static constexpr int32_t kDelayMask = EffectsChain::kDelayLength - 1;
    static constexpr int32_t kChorusMask = EffectsChain::kChorusLength - 1;
    std::vector<float> delay[2], chorus[2];
    int32_t delayPos = 0, chorusPos = 0;
    bool mono = false;
    float sweep = 1.0f, step = 0.0f, rate = 2e-8f;

    PlainChain() {
        for (auto& line : delay) line.assign(EffectsChain::kDelayLength, 0.0f);
        for (auto& line : chorus) line.assign(EffectsChain::kChorusLength, 0.0f);
    }

    // One sub-block with its parameters, ticking on every one.
    void run(EffectsHarness& h, const float* in, float* out, int frames) {
        const float r = h.chorusRate.load() * 1e-7f;
        if (r != rate) {
            rate = r;
            sweep = 1.0f;
            step = 0.0f;
        }
        mono = h.carrierStereo.load() < 0.5f;
        const float fractions[10] = {1.0f / 32, 1.0f / 24, 1.0f / 16, 1.0f / 12, 1.0f / 8,
                                     1.0f / 6,  1.0f / 4,  1.0f / 3,  1.0f / 2,  1.0f};
        const float whole = static_cast<float>(h.context.tempoLength.load());
        const int32_t d = static_cast<int32_t>(
            static_cast<int64_t>(whole * fractions[static_cast<int>(h.delayTime.load() * 9.0f + 0.5f)]) & kDelayMask);
        const float fb = h.delayFeedback.load() * 0.9f, dl = h.delayLevel.load(), cl = h.chorusLevel.load();
        for (int i = 0; i < frames; ++i) {
            sweep = sweep + step;
            sweep = sweep > 1.0f ? 1.0f : (sweep < -1.0f ? -1.0f : sweep);
            step = step - rate * sweep;
            chorusPos = (chorusPos + 1) & kChorusMask;
            delayPos = (delayPos + 1) & kDelayMask;
            float y[2];
            for (int c = 0; c < (mono ? 1 : 2); ++c) {
                const float x = in[2 * i + c];
                const float v = delay[c][(delayPos - d) & kDelayMask];
                delay[c][delayPos] = v * fb + x + 1e-12f;
                y[c] = v * dl + x;
                chorus[c][chorusPos] = y[c];
            }
            if (mono) y[1] = y[0];
            const std::vector<float>& lineB = chorus[mono ? 0 : 1];
            const float m = 100.0f * sweep;
            const int32_t mi = static_cast<int32_t>(m);
            const float f = m - static_cast<float>(mi);
            const int32_t a = (chorusPos + mi - 1500) & kChorusMask;
            const int32_t b = (chorusPos - mi - 1500) & kChorusMask;
            const float tapA = chorus[0][a] + f * (chorus[0][(a + 1) & kChorusMask] - chorus[0][a]);
            const float tapB = lineB[b] + f * (lineB[(b - 1) & kChorusMask] - lineB[b]);
            out[2 * i] = y[0] + cl * tapA;
            out[2 * i + 1] = y[1] + cl * tapB;
        }
    }
};

struct Case {
    const char* name;
    int32_t tempoLength;  // delay of 1/32 of it at DlyTime 0
    float chorusRate;
    float carrierStereo[2];  // the first half of the frames, then the second
    size_t frames;
};

void matchPlain(SimdPath path, const Case& c) {
    EffectsHarness h;
    ASSERT_TRUE(h.fx.usePath(path));
    h.context.tempoLength.store(c.tempoLength);
    h.set(h.delayTime, 0.0f);
    h.set(h.delayFeedback, 0.7f);
    h.set(h.delayLevel, 0.6f);
    h.set(h.chorusRate, c.chorusRate);
    h.set(h.chorusLevel, 0.8f);
    PlainChain plain;

    uint32_t seed = 3;
    const int blocks[] = {88, 1, 3, 256, 63, 8, 200, 5};
    size_t done = 0;
    for (size_t b = 0; done < c.frames; ++b) {
        h.set(h.carrierStereo, c.carrierStereo[done < c.frames / 2 ? 0 : 1]);
        const int n = static_cast<int>(std::min<size_t>(blocks[b % std::size(blocks)], c.frames - done));
        for (int i = 0; i < 2 * n; ++i) {
            seed = seed * 1664525u + 1013904223u;
            h.in.data[i] = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
        }
        float expected[2 * kMaxFrames];
        plain.run(h, h.in.data, expected, n);
        h.rack.run(n, 1);
        ASSERT_EQ(std::memcmp(h.fx.output().data, expected, 2 * n * sizeof(float)), 0)
            << c.name << ", sub-block at frame " << done;
        done += n;
    }
}

}  // namespace

TEST(EffectsChain, EveryPathMatchesThePlainFrameByFrameDelayAndChorusBitForBit) {
    const Case cases[] = {
        {"stereo", 88200, 1.0f, {1.0f, 1.0f}, 30000},
        {"mono, then stereo on the right lines it left alone", 88200, 0.6f, {0.2f, 0.9f}, 30000},
        {"a delay of 3 frames", 100, 1.0f, {1.0f, 1.0f}, 10000},
        {"a delay of 1 frame", 40, 1.0f, {1.0f, 1.0f}, 10000},
        {"a delay of the whole line, across its end", 0, 0.3f, {1.0f, 1.0f}, EffectsChain::kDelayLength + 3000},
    };
    for (SimdPath path : {SimdPath::Sse2, SimdPath::Avx2, SimdPath::Avx512}) {
        if (!simdSupported(path)) continue;
        SCOPED_TRACE(static_cast<int>(path));
        for (const Case& c : cases) matchPlain(path, c);
    }
}
