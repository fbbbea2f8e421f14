#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "effects/EffectsHarness.h"

namespace {

void chorusOnly(EffectsHarness& h, float rate) {
    h.set(h.chorusRate, rate);
    h.set(h.chorusLevel, 1.0f);
}

// Feeds the ramp t = 0, 1, 2, ... into both channels so that each chorus tap reads back
// its own position: with the dry ramp added, out.L = 2t - 1500 + m and
// out.R = 2t - 1500 - m, where m = 100 x sweep is the tap offset.
class SweepProbe {
public:
    explicit SweepProbe(EffectsHarness& harness) : h(harness) {}

    Stereo next(size_t frames, bool tick = true) {
        Stereo ramp(frames);
        for (size_t i = 0; i < frames; ++i) ramp.left[i] = ramp.right[i] = static_cast<float>(t + i);
        Stereo out = h.render(ramp, 88, tick);
        first = t;
        t += frames;
        return out;
    }
    // Tap offsets of the frames of the last next(); valid once the lines hold 1600
    // samples of the ramp.
    std::vector<float> offsetsA(const Stereo& out) const {
        std::vector<float> m(out.size());
        for (size_t i = 0; i < out.size(); ++i) m[i] = out.left[i] - 2.0f * static_cast<float>(first + i) + 1500.0f;
        return m;
    }
    std::vector<float> offsetsB(const Stereo& out) const {
        std::vector<float> m(out.size());
        for (size_t i = 0; i < out.size(); ++i) m[i] = 2.0f * static_cast<float>(first + i) - 1500.0f - out.right[i];
        return m;
    }

private:
    EffectsHarness& h;
    size_t t = 0;
    size_t first = 0;
};

// Sweep frequency in Hz from the downward zero crossings of the tap offset.
double sweepFrequency(const std::vector<float>& m, int sampleRate) {
    std::vector<double> crossings;
    for (size_t i = 1; i < m.size(); ++i)
        if (m[i - 1] > 0.0f && m[i] <= 0.0f)
            crossings.push_back(static_cast<double>(i - 1) + m[i - 1] / (m[i - 1] - m[i]));
    if (crossings.size() < 2) return 0.0;
    double period = (crossings.back() - crossings.front()) / static_cast<double>(crossings.size() - 1);
    return sampleRate / period;
}

double measureSweep(int sampleRate, float chorusRate, size_t frames) {
    EffectsHarness h(sampleRate);
    chorusOnly(h, chorusRate);
    SweepProbe probe(h);
    probe.next(2000);
    Stereo out = probe.next(frames);
    return sweepFrequency(probe.offsetsA(out), sampleRate);
}

}  // namespace

TEST(Chorus, RateZeroHoldsTheTapsAt1400And1600Samples) {
    EffectsHarness h;
    chorusOnly(h, 0.0f);
    Stereo out = h.render(impulse(20000));
    for (size_t i = 0; i < out.size(); ++i) {
        float left = i == 0 || i == 1400 ? 1.0f : 0.0f;
        float right = i == 0 || i == 1600 ? 1.0f : 0.0f;
        ASSERT_EQ(out.left[i], left) << i;
        ASSERT_EQ(out.right[i], right) << i;
    }
    // Much later the taps have not moved.
    EXPECT_EQ(h.render(impulse(1601)).left[1400], 1.0f);
}

TEST(Chorus, TapsSweepInOppositeDirectionsByAHundredSamples) {
    EffectsHarness h;
    chorusOnly(h, 1.0f);
    SweepProbe probe(h);
    probe.next(2000);
    Stereo out = probe.next(45000);
    std::vector<float> a = probe.offsetsA(out);
    std::vector<float> b = probe.offsetsB(out);
    for (size_t i = 0; i < a.size(); ++i) ASSERT_NEAR(a[i], b[i], 0.05f) << i;
    auto [lo, hi] = std::minmax_element(a.begin(), a.end());
    EXPECT_NEAR(*hi, 100.0f, 0.05f);
    EXPECT_NEAR(*lo, -100.0f, 0.05f);
}

TEST(Chorus, SweepFrequencyGoesWithTheSquareRootOfTheRateAndWithTheSampleRate) {
    double full = measureSweep(44100, 1.0f, 70000);
    EXPECT_NEAR(full, 2.22, 0.01);
    EXPECT_NEAR(measureSweep(48000, 1.0f, 70000), 2.42, 0.01);
    EXPECT_NEAR(measureSweep(44100, 0.25f, 130000) / full, 0.5, 0.005);
}

TEST(Chorus, OscillatorRestartsAtItsPeakOnlyWhenTheRateChanges) {
    // a ticks every sub-block, b only on its first: with an unchanged rate the extra
    // ticks must not disturb the sweep.
    EffectsHarness a, b;
    chorusOnly(a, 1.0f);
    chorusOnly(b, 1.0f);
    SweepProbe pa(a), pb(b);
    Stereo outA = pa.next(5000, true);
    Stereo headB = pb.next(88, true);
    Stereo tailB = pb.next(5000 - 88, false);
    for (size_t i = 0; i < 88; ++i) ASSERT_EQ(outA.left[i], headB.left[i]);
    for (size_t i = 88; i < 5000; ++i) {
        ASSERT_EQ(outA.left[i], tailB.left[i - 88]) << i;
        ASSERT_EQ(outA.right[i], tailB.right[i - 88]) << i;
    }
    // A quarter period in, the sweep is near its zero crossing.
    float last = pa.offsetsA(outA).back();
    ASSERT_LT(std::fabs(last), 10.0f);

    // A new rate without a tick is not seen yet; the sweep goes on smoothly.
    a.set(a.chorusRate, 0.7f);
    std::vector<float> m = pa.offsetsA(pa.next(88, false));
    EXPECT_NEAR(m[0], last, 0.1f);
    // The next tick restarts the oscillator at its positive peak.
    m = pa.offsetsA(pa.next(88, true));
    EXPECT_NEAR(m[0], 100.0f, 0.05f);
    EXPECT_GT(m[87], 99.0f);
}

TEST(Chorus, MonoUsesTheLeftInputOnBothSides) {
    Stereo noise(6000);
    uint32_t seed = 1;
    for (size_t i = 0; i < noise.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        noise.left[i] = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
        noise.right[i] = std::sin(0.01f * static_cast<float>(i));
    }
    Stereo leftOnly = noise;
    std::fill(leftOnly.right.begin(), leftOnly.right.end(), 0.0f);

    auto run = [](float carrierStereo, const Stereo& input, bool dryOnly) {
        EffectsHarness h;
        h.context.tempoLength.store(4000);
        h.set(h.carrierStereo, carrierStereo);
        if (!dryOnly) {
            h.set(h.chorusRate, 0.6f);
            h.set(h.chorusLevel, 0.7f);
            h.set(h.delayLevel, 0.5f);
            h.set(h.delayFeedback, 0.5f);
            h.set(h.delayTime, 0.5f);
            h.set(h.reverbLevel, 0.6f);
            h.set(h.reverbTime, 0.5f);
            h.set(h.reverbStereo, 0.8f);
        }
        return h.render(input);
    };

    Stereo mono = run(0.4f, noise, false);
    Stereo reference = run(0.4f, leftOnly, false);
    EXPECT_EQ(mono.left, reference.left);
    EXPECT_EQ(mono.right, reference.right);
    EXPECT_NE(mono.left, mono.right);  // the two taps still differ
    // In stereo the right input is heard.
    EXPECT_NE(run(0.5f, noise, false).right, run(0.5f, leftOnly, false).right);

    // With every effect silent the frame passes unchanged: the left input on both sides.
    Stereo dry = run(0.4f, noise, true);
    EXPECT_EQ(dry.left, noise.left);
    EXPECT_EQ(dry.right, noise.left);
    Stereo dryStereo = run(1.0f, noise, true);
    EXPECT_EQ(dryStereo.right, noise.right);

    // Both taps read the single line: a left impulse reaches the right side 1600
    // samples later.
    EffectsHarness h;
    chorusOnly(h, 0.0f);
    h.set(h.carrierStereo, 0.4f);
    Stereo out = h.render(impulse(1700, true));
    EXPECT_EQ(out.right[0], 1.0f);
    EXPECT_EQ(out.left[1400], 1.0f);
    EXPECT_EQ(out.right[1600], 1.0f);
}

TEST(Chorus, ModeChangesWaitForAControlTick) {
    EffectsHarness h;
    h.set(h.carrierStereo, 0.0f);
    Stereo input(100);
    input.right[0] = 1.0f;
    // Before the first tick the chain is stereo, whatever CarSt says.
    EXPECT_EQ(h.render(input, 100, false).right[0], 1.0f);
    EXPECT_EQ(h.render(input, 100, true).right[0], 0.0f);
    h.set(h.carrierStereo, 1.0f);
    EXPECT_EQ(h.render(input, 100, false).right[0], 0.0f);
    EXPECT_EQ(h.render(input, 100, true).right[0], 1.0f);
}

TEST(Chorus, TapsReadTheStraightLineThroughTwoNeighbours) {
    // Sparse impulses show how a tap reads between samples: interpolation would keep
    // every reading within [0, 1]; the line through the pair (a, a + 1) is extended
    // past it while the offset is negative, overshooting on both sides.
    EffectsHarness h;
    chorusOnly(h, 1.0f);
    Stereo input(25000);
    for (size_t i = 0; i < input.size(); i += 50) input.left[i] = input.right[i] = 1.0f;
    Stereo out = h.render(input);
    float lo = 0.0f, hi = 0.0f;
    for (size_t i = 2000; i < out.size(); ++i) {
        float tap = out.left[i] - input.left[i];
        lo = std::min(lo, tap);
        hi = std::max(hi, tap);
    }
    EXPECT_LT(lo, -0.5f);
    EXPECT_GT(hi, 1.5f);
    EXPECT_GE(lo, -1.0f);
    EXPECT_LE(hi, 2.0f);
}
