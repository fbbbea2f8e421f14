#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <vector>

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

namespace {

// The reverb against a plain frame-by-frame rendering of its combs (each comb's tap
// scaled by its gain, the taps summed in bank order, the line written with input plus
// tap): the sub-block form runs several frames per vector and must give the same bits,
// also across the wrap of the lines and for odd sub-block lengths. The lengths below
// also split a sub-block at the lines' end into runs of 1 and 4 frames and give runs of
// exactly one vector.
void matchPlainCombs(SimdPath path) {
    EffectsHarness h;
    ASSERT_TRUE(h.fx.reverbStage().usePath(path));
    reverbOnly(h, 0.7f, 0.8f, 0.3f);
    const CombReverb& reverb = h.fx.reverbStage();
    std::vector<float> lines[2][CombReverb::kCombs];
    for (auto& bank : lines)
        for (auto& line : bank) line.assign(CombReverb::kLineLength, 0.0f);
    int position = 0;
    const float wet = 0.8f * 0.2f, own = 0.3f * 0.5f + 0.5f, other = 0.5f - 0.3f * 0.5f;

    Stereo input(9000);
    uint32_t seed = 9;
    for (size_t i = 0; i < input.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        input.left[i] = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
        input.right[i] = std::sin(0.01f * static_cast<float>(i));
    }
    const int blocks[] = {1, 3, 88, 256, 7, 200, 64, 5, 8, 63};
    size_t start = 0;
    for (size_t b = 0; start + 256 <= input.size(); ++b) {
        const int block = blocks[b % std::size(blocks)];
        Stereo part(block);
        std::copy_n(input.left.begin() + start, block, part.left.begin());
        std::copy_n(input.right.begin() + start, block, part.right.begin());
        Stereo out = h.render(part, block);
        for (int n = 0; n < block; ++n) {
            position = (position + 1) & (CombReverb::kLineLength - 1);
            float sums[2];
            const float in[2] = {part.left[n], part.right[n]};
            for (int bank = 0; bank < 2; ++bank) {
                float sum = 0.0f;
                for (int j = 0; j < CombReverb::kCombs; ++j) {
                    std::vector<float>& line = lines[bank][j];
                    const int tap = (position - CombReverb::kLengths[bank][j]) & (CombReverb::kLineLength - 1);
                    const float y = reverb.gain(bank, j) * line[tap];
                    line[position] = in[bank] + y;
                    sum = sum + y;
                }
                sums[bank] = sum;
            }
            ASSERT_EQ(out.left[n], in[0] + wet * (own * sums[0] + other * sums[1])) << start + n;
            ASSERT_EQ(out.right[n], in[1] + wet * (other * sums[0] + own * sums[1])) << start + n;
        }
        start += block;
    }
    EXPECT_GT(start, 2u * CombReverb::kLineLength) << "the lines wrapped";
}

}  // namespace

TEST(Reverb, EveryPathMatchesThePlainFrameByFrameCombsBitForBit) {
    for (SimdPath path : {SimdPath::Sse2, SimdPath::Avx2, SimdPath::Avx512}) {
        if (!simdSupported(path)) continue;
        SCOPED_TRACE(static_cast<int>(path));
        matchPlainCombs(path);
    }
}
