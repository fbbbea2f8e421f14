#include <cmath>
#include <cstdint>

#include <gtest/gtest.h>

#include "effects/EffectsChain.h"
#include "framework/VocoderPlugin.h"
#include "effects/EffectsHarness.h"

namespace {

// Delay alone: only the dry signal and the delayed copy reach the output.
void delayOnly(EffectsHarness& h, float time, float feedback = 0.0f) {
    h.set(h.delayTime, time);
    h.set(h.delayFeedback, feedback);
    h.set(h.delayLevel, 1.0f);
}

// First frame after frame 0 whose left sample exceeds half scale, or -1.
long firstEcho(const Stereo& out) {
    for (size_t i = 1; i < out.size(); ++i)
        if (std::fabs(out.left[i]) > 0.5f) return static_cast<long>(i);
    return -1;
}

}  // namespace

TEST(Delay, LengthIsTheSelectedNoteFractionOfTheTempoLength) {
    // 120 BPM at 44.1 kHz: tempo length 88200, a whole note. DlyTime rounds to the
    // nearest of ten steps: 0.05 is still 1/32, 0.06 already 1/24.
    struct Case {
        float time;
        long frames;
    } cases[] = {{0.0f, 2756},      {0.05f, 2756},     {0.06f, 3675},     {2.0f / 9, 5512},
                 {3.0f / 9, 7350},  {4.0f / 9, 11025}, {5.0f / 9, 14700}, {6.0f / 9, 22050},
                 {7.0f / 9, 29400}, {8.0f / 9, 44100}, {1.0f, 88200}};
    for (const Case& c : cases) {
        EffectsHarness h;
        h.context.tempoLength.store(88200);
        delayOnly(h, c.time);
        Stereo out = h.render(impulse(c.frames + 10));
        EXPECT_EQ(firstEcho(out), c.frames) << c.time;
        EXPECT_EQ(out.left[c.frames], 1.0f) << c.time;
        EXPECT_EQ(out.right[c.frames], 1.0f) << c.time;
    }
}

TEST(Delay, LengthFollowsTheTempoLengthOfEverySubBlock) {
    EffectsHarness h;
    h.context.tempoLength.store(1000);  // DlyTime 0: 1/32 of it, 31 samples
    delayOnly(h, 0.0f);
    Stereo out = h.render(impulse(200));
    EXPECT_EQ(firstEcho(out), 31);
    // A faster tempo gives a longer delay: the length grows with the tempo.
    h.context.tempoLength.store(3200);
    EXPECT_EQ(firstEcho(h.render(impulse(200))), 100);
}

TEST(Delay, TempoZeroDelaysByTheWholeLine) {
    EffectsHarness h;
    h.context.tempoLength.store(0);
    delayOnly(h, 1.0f);
    Stereo out = h.render(impulse(EffectsChain::kDelayLength + 4), 256);
    EXPECT_EQ(firstEcho(out), EffectsChain::kDelayLength);
}

TEST(Delay, FeedbackAtFullScaleIsAGainOfPointNine) {
    EffectsHarness h;
    h.context.tempoLength.store(1000);  // DlyTime 1: a whole note of 1000 samples
    delayOnly(h, 1.0f, 1.0f);
    Stereo out = h.render(impulse(3001));
    EXPECT_EQ(out.left[1000], 1.0f);
    EXPECT_EQ(out.left[2000], 0.9f);
    EXPECT_EQ(out.left[3000], 0.9f * 0.9f);
    EXPECT_EQ(out.right[3000], 0.9f * 0.9f);
}

TEST(Delay, LevelScalesTheEchoAndTheBiasKeepsTheLineAwayFromZero) {
    EffectsHarness h;
    h.context.tempoLength.store(1000);
    delayOnly(h, 1.0f, 0.5f);
    h.set(h.delayLevel, 0.5f);
    Stereo out = h.render(impulse(2001));
    EXPECT_EQ(out.left[0], 1.0f);
    EXPECT_EQ(out.left[1000], 0.5f);
    EXPECT_EQ(out.left[2000], 0.5f * (0.5f * 0.9f));
    // Without feedback, once silence has gone round the line it holds the bias alone.
    h.set(h.delayFeedback, 0.0f);
    Stereo later = h.silence(2000);
    EXPECT_EQ(later.left[1999], 0.5f * 1e-12f);
    EXPECT_EQ(later.right[1999], 0.5f * 1e-12f);
}

TEST(Delay, WithoutHostTimeTheLengthIsThatOf120Bpm) {
    // The plug-in without a host answers no time information: the driver's fallback
    // tempo length must give the delay of 120 BPM, 88200 samples for a whole note.
    VocoderPlugin plugin(nullptr);
    EffectsChain fx(plugin.rack(), plugin.context());
    StereoBuffer source;
    fx.input = &source;
    fx.delayTime = plugin.bindParameter("DlyTime");
    fx.delayLevel = plugin.bindParameter("DlyLv");
    fx.delayFeedback = plugin.bindParameter("DlyFbk");
    fx.chorusLevel = plugin.bindParameter("ChrsLv");
    fx.reverbLevel = plugin.bindParameter("RevLevel");
    plugin.rack().setFinalOutput(&fx.output());
    plugin.setParameter(plugin.findParameterIndex("DlyTime"), 1.0f);
    plugin.setParameter(plugin.findParameterIndex("DlyLv"), 1.0f);
    plugin.setParameter(plugin.findParameterIndex("DlyFbk"), 0.0f);
    plugin.setParameter(plugin.findParameterIndex("ChrsLv"), 0.0f);
    plugin.setParameter(plugin.findParameterIndex("RevLevel"), 0.0f);
    plugin.setParameter(0, 0.5f);  // volume: unity gain
    plugin.setParameter(1, 0.0f);  // pan: all left

    std::vector<float> left(88300), right(88300);
    float* outputs[2] = {left.data(), right.data()};
    source.data[0] = 1.0f;
    plugin.processReplacing(nullptr, outputs, 1);
    source.data[0] = 0.0f;
    for (size_t done = 1; done < left.size(); done += 500) {
        float* block[2] = {left.data() + done, right.data() + done};
        plugin.processReplacing(nullptr, block, static_cast<int32_t>(std::min<size_t>(500, left.size() - done)));
    }
    EXPECT_EQ(left[0], 1.0f);
    EXPECT_EQ(left[88200], 1.0f);
    for (size_t i = 1; i < left.size(); ++i) {
        if (i == 88200) continue;
        ASSERT_LT(std::fabs(left[i]), 1e-6f) << i;
    }
}
