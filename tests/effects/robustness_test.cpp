#include <climits>
#include <cmath>
#include <thread>

#include <gtest/gtest.h>

#include "effects/EffectsHarness.h"

namespace {

Stereo noise(size_t frames, uint32_t seed) {
    Stereo s(frames);
    for (size_t i = 0; i < frames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        s.left[i] = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
        seed = seed * 1664525u + 1013904223u;
        s.right[i] = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
    }
    return s;
}

void everythingLoud(EffectsHarness& h) {
    h.set(h.chorusRate, 1.0f);
    h.set(h.chorusLevel, 1.0f);
    h.set(h.delayTime, 0.0f);
    h.set(h.delayFeedback, 1.0f);
    h.set(h.delayLevel, 1.0f);
    h.set(h.reverbTime, 1.0f);
    h.set(h.reverbLevel, 1.0f);
    h.set(h.reverbStereo, 1.0f);
}

float peak(const Stereo& s) {
    float p = 0.0f;
    for (size_t i = 0; i < s.size(); ++i) {
        if (!std::isfinite(s.left[i]) || !std::isfinite(s.right[i])) return INFINITY;
        p = std::max(p, std::max(std::fabs(s.left[i]), std::fabs(s.right[i])));
    }
    return p;
}

}  // namespace

TEST(EffectsChainRobustness, FiniteAndBoundedAtEveryRateWithExtremeSettings) {
    for (int rate : {8000, 11025, 22050, 44100, 48000, 96000, 192000}) {
        for (int32_t tempoLength : {0, 1, rate * 2, INT_MAX}) {
            EffectsHarness h(rate);
            h.context.tempoLength.store(tempoLength);
            everythingLoud(h);
            for (float mode : {0.0f, 1.0f}) {
                h.set(h.carrierStereo, mode);
                float p = peak(h.render(noise(static_cast<size_t>(rate), 7), 256));
                EXPECT_TRUE(std::isfinite(p)) << rate << " " << tempoLength;
                EXPECT_LT(p, 1000.0f) << rate << " " << tempoLength;
            }
            // And the tail dies away once the input stops (a delay of the whole line
            // would still be repeating it).
            if (tempoLength == rate * 2) {
                h.render(Stereo(static_cast<size_t>(rate) * 11), 256);
                EXPECT_LT(peak(h.render(Stereo(static_cast<size_t>(rate)), 256)), 1e-4f) << rate;
            }
        }
    }
}

TEST(EffectsChainRobustness, SubBlockSizeDoesNotChangeTheOutput) {
    Stereo input = noise(9000, 3);
    Stereo reference;
    for (int block : {1, 31, 88, 256}) {
        EffectsHarness h;
        h.context.tempoLength.store(6000);
        everythingLoud(h);
        h.set(h.delayTime, 0.4f);
        h.set(h.delayFeedback, 0.6f);
        h.set(h.reverbStereo, 0.3f);
        Stereo out = h.render(input, block);
        if (block == 1) {
            reference = out;
            continue;
        }
        EXPECT_EQ(out.left, reference.left) << block;
        EXPECT_EQ(out.right, reference.right) << block;
    }
}

TEST(EffectsChainRobustness, UnboundInputsGiveSilence) {
    ModuleRack rack;
    ModuleContext context;
    EffectsChain fx(rack, context);
    for (int i = 0; i < 20; ++i) rack.run(256, 1);
    for (float v : fx.output().data) ASSERT_EQ(v, 0.0f);
}

TEST(EffectsChainRobustness, ParameterChangesFromAnotherThreadWhileProcessing) {
    EffectsHarness h;
    everythingLoud(h);
    std::atomic<bool> done{false};
    std::thread ui([&] {
        for (int i = 0; !done.load(); ++i) h.set(h.reverbTime, (i % 2) ? 0.3f : 1.0f);
    });
    float p = peak(h.render(noise(44100, 11), 64));
    done.store(true);
    ui.join();
    EXPECT_TRUE(std::isfinite(p));
    h.set(h.reverbTime, 0.2f);
    EXPECT_NEAR(h.fx.reverbStage().gain(0, 0), 0.8985f, 5e-5f);
}
