#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "effects/EffectsHarness.h"

namespace {

// Reverb alone, banks fully separate unless a width is given.
void reverbOnly(EffectsHarness& h, float time, float level = 1.0f, float stereo = 1.0f) {
    h.set(h.reverbTime, time);
    h.set(h.reverbLevel, level);
    h.set(h.reverbStereo, stereo);
}

size_t firstNonZero(const std::vector<float>& v, size_t from) {
    for (size_t i = from; i < v.size(); ++i)
        if (v[i] != 0.0f) return i;
    return v.size();
}

}  // namespace

TEST(Reverb, CombGainsFallBy60DbInTheDecayTime) {
    struct Case {
        float time;
        float shortest;  // left comb of 601 samples
        float longest;   // right comb of 1153 samples
    } cases[] = {{0.2f, 0.8985f, 0.8145f}, {1.0f, 0.9767f, 0.9559f}};
    for (const Case& c : cases) {
        EffectsHarness h;
        reverbOnly(h, c.time);
        const CombReverb& reverb = h.fx.reverbStage();
        EXPECT_NEAR(reverb.gain(0, 0), c.shortest, 5e-5f) << c.time;
        EXPECT_NEAR(reverb.gain(1, 11), c.longest, 5e-5f) << c.time;

        // The first echo of each comb sounds after its length, scaled by its gain and
        // the wet level 0.2.
        Stereo out = h.render(impulse(1200));
        EXPECT_EQ(firstNonZero(out.left, 1), 601u);
        EXPECT_EQ(firstNonZero(out.right, 1), 613u);
        EXPECT_EQ(out.left[601], 0.2f * (1.0f * reverb.gain(0, 0) + 0.0f * 0.0f));
        EXPECT_EQ(out.right[1153], 0.2f * (0.0f * 0.0f + 1.0f * reverb.gain(1, 11)));
    }
}

TEST(Reverb, GainsUseTheRateStoredAtTheLastParameterChange) {
    EffectsHarness h;
    reverbOnly(h, 0.2f);
    float at44 = h.fx.reverbStage().gain(0, 0);
    h.rack.setSampleRate(48000);
    EXPECT_EQ(h.fx.reverbStage().gain(0, 0), at44);
    h.set(h.chorusLevel, 0.3f);  // any parameter
    EXPECT_NEAR(h.fx.reverbStage().gain(0, 0), 0.90643f, 5e-5f);
}

TEST(Reverb, WidthMixesTheBanks) {
    struct Case {
        float stereo, own, other;
    } cases[] = {{0.5f, 0.75f, 0.25f}, {0.0f, 0.5f, 0.5f}, {1.0f, 1.0f, 0.0f}};
    for (const Case& c : cases) {
        EffectsHarness h;
        reverbOnly(h, 0.5f, 1.0f, c.stereo);
        float g = h.fx.reverbStage().gain(0, 0);
        Stereo out = h.render(impulse(700, true));
        EXPECT_EQ(out.left[601], 0.2f * (c.own * g + c.other * 0.0f)) << c.stereo;
        EXPECT_EQ(out.right[601], 0.2f * (c.other * g + c.own * 0.0f)) << c.stereo;
    }
}

// Switching off by either control leaves frames and lines untouched; switched on
// again, the old tail resumes where it stopped.
TEST(Reverb, SwitchedOffFreezesTheLines) {
    for (bool byLevel : {false, true}) {
        EffectsHarness h;
        reverbOnly(h, 0.5f);
        float g = h.fx.reverbStage().gain(0, 0);
        h.render(impulse(300));

        ParamValue& control = byLevel ? h.reverbLevel : h.reverbTime;
        h.set(control, 0.0f);
        Stereo noise(5000);
        for (size_t i = 0; i < noise.size(); ++i) {
            noise.left[i] = std::sin(0.05f * static_cast<float>(i));
            noise.right[i] = std::cos(0.031f * static_cast<float>(i));
        }
        Stereo passed = h.render(noise);
        EXPECT_EQ(passed.left, noise.left) << byLevel;
        EXPECT_EQ(passed.right, noise.right) << byLevel;

        h.set(control, byLevel ? 1.0f : 0.5f);
        Stereo resumed = h.silence(700);
        EXPECT_EQ(firstNonZero(resumed.left, 0), 301u) << byLevel;
        EXPECT_EQ(resumed.left[301], 0.2f * (1.0f * g + 0.0f * 0.0f)) << byLevel;
    }
}

TEST(Reverb, TimeZeroSwitchesOffDespiteTheShortDecayGains) {
    EffectsHarness h;
    reverbOnly(h, 0.0f);
    // The gains are those of the shortest decay, 0.1 s ...
    EXPECT_NEAR(h.fx.reverbStage().gain(0, 0), std::pow(10.0, -3.0 * 601 / 4410.0), 1e-6);
    // ... but nothing is added.
    Stereo out = h.render(impulse(2000));
    EXPECT_EQ(firstNonZero(out.left, 1), out.size());
    EXPECT_EQ(firstNonZero(out.right, 1), out.size());
}
