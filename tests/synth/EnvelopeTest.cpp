#include <gtest/gtest.h>

#include <cmath>

#include "framework/Keyboard.h"
#include "synth/Envelope.h"
#include "synth/SynthRig.h"

namespace {

struct EnvelopeRig : SynthRig {
    ParamValue attack{0.0f}, release{0.0f};
    VoiceVector gate;
    Envelope env{rack, context};

    EnvelopeRig() {
        env.gate = &gate;
        env.attackParam = &attack;
        env.releaseParam = &release;
    }
    void setAttack(float value) {
        attack = value;
        env.onParameter(0, 0.0f);
    }
    void setRelease(float value) {
        release = value;
        env.onParameter(0, 0.0f);
    }
    float tick(int voice = 0) {
        env.process(88, 1);
        return env.output().v[voice];
    }
};

TEST(Envelope, AttackLengthInTicks) {
    EnvelopeRig rig;
    EXPECT_EQ(rig.env.attackLength(), 1);  // computed from the unbound 0.0 at construction
    const std::pair<float, int> cases[] = {{0.0f, 1}, {0.5f, 64}, {1.0f, 4096}, {0.25f, 8}};
    for (auto [value, ticks] : cases) {
        rig.setAttack(value);
        EXPECT_EQ(rig.env.attackLength(), ticks) << value;
    }
}

TEST(Envelope, ZeroAttackReachesTheVelocityOnTheFirstTick) {
    EnvelopeRig rig;
    rig.gate.v[2] = 0.8f;
    rig.env.process(88, 0);
    EXPECT_EQ(rig.env.output().v[2], 0.0f);  // nothing happens between ticks
    EXPECT_EQ(rig.tick(2), 0.8f);
    EXPECT_EQ(rig.tick(2), 0.8f);
    EXPECT_EQ(rig.env.output().v[0], 0.0f);
}

TEST(Envelope, AttackRisesLinearlyThenHolds) {
    EnvelopeRig rig;
    rig.setAttack(0.5f);
    rig.gate.v[0] = 0.5f;
    float level = 0.0f;
    for (int t = 1; t <= 64; ++t) {
        float next = rig.tick();
        level += 0.5f * (1.0f / 64.0f);
        ASSERT_EQ(next, level) << t;
    }
    EXPECT_FLOAT_EQ(level, 0.5f);
    for (int t = 0; t < 10; ++t) EXPECT_EQ(rig.tick(), level);
}

TEST(Envelope, FullVelocityNeverExceedsOne) {
    for (float attack = 0.0f; attack <= 1.0f; attack += 0.0625f) {
        EnvelopeRig rig;
        rig.setAttack(attack);
        rig.gate.v[0] = 1.0f;
        float level = 0.0f;
        for (int t = 0; t <= rig.env.attackLength(); ++t) {
            level = rig.tick();
            ASSERT_LE(level, 1.0f);
        }
        EXPECT_NEAR(level, 1.0f, 1e-3f) << attack;
    }
    // Three steps of the rounded 1/3 overshoot 1 and are cut back to it.
    EnvelopeRig rig;
    rig.setAttack(std::log2(3.0f) / 12.0f);
    ASSERT_EQ(rig.env.attackLength(), 3);
    rig.gate.v[0] = 1.0f;
    for (int t = 0; t < 3; ++t) rig.tick();
    EXPECT_EQ(rig.env.output().v[0], 1.0f);
}

TEST(Envelope, ReleaseFactors) {
    EnvelopeRig rig;
    EXPECT_EQ(rig.env.releaseFactor(), static_cast<float>(std::pow(0.01, 0.01)));
    EXPECT_NEAR(rig.env.releaseFactor(), 0.95499f, 1e-5f);
    rig.gate.v[0] = 1.0f;
    rig.tick();
    rig.gate.v[0] = 0.0f;
    EXPECT_EQ(rig.tick(), rig.env.releaseFactor());
    for (int t = 1; t < 100; ++t) rig.tick();
    EXPECT_NEAR(rig.env.output().v[0], 0.01f, 1e-5f);

    // Ticks to fall by 40 dB: about 585 at 0.5 and 4371 at 1.
    for (auto [release, ticks] : {std::pair{0.5f, 585}, std::pair{1.0f, 4371}}) {
        EnvelopeRig slow;
        slow.setRelease(release);
        slow.gate.v[0] = 1.0f;
        slow.tick();
        slow.gate.v[0] = 0.0f;
        int t = 0;
        while (slow.tick() > 0.01f) ++t;
        EXPECT_NEAR(t, ticks, 2) << release;
    }
}

TEST(Envelope, DecaysToExactZeroAndFreesTheVoice) {
    SynthRig rig;
    Keyboard keys;
    ParamValue attack{0.0f}, release{0.0f};
    Envelope env(rig.rack, rig.context);
    env.gate = &keys.gateVelocities;
    env.attackParam = &attack;
    env.releaseParam = &release;
    keys.envelopeLevel = &env.output();
    rig.context.voiceActive = keys.active;

    keys.noteOn(60, 100);
    const int voice = 7;
    ASSERT_EQ(keys.active[voice], 1);
    env.process(88, 1);
    keys.controlUpdate(1);
    EXPECT_GT(env.output().v[voice], 0.0f);
    keys.noteOff(60);
    int ticks = 0;
    while (keys.active[voice] && ticks < 10000) {
        env.process(88, 1);
        float level = env.output().v[voice];
        EXPECT_TRUE(level == 0.0f || level >= 1e-20f) << level;
        keys.controlUpdate(1);
        ++ticks;
    }
    EXPECT_EQ(env.output().v[voice], 0.0f);
    EXPECT_EQ(keys.active[voice], 0);
    // 40 dB per 100 ticks from 0.79 down to 1e-20 takes a little under 1000 ticks.
    EXPECT_GT(ticks, 900);
    EXPECT_LT(ticks, 1000);
}

TEST(Envelope, RetriggerDuringAttackContinuesFromTheCurrentLevelAndCount) {
    EnvelopeRig rig;
    rig.setAttack(0.5f);  // 64 ticks
    rig.gate.v[0] = 1.0f;
    for (int t = 0; t < 32; ++t) rig.tick();
    rig.gate.v[0] = 0.0f;
    const float released = rig.tick();
    EXPECT_EQ(released, 0.5f * rig.env.releaseFactor());
    rig.gate.v[0] = 1.0f;
    float level = released;
    for (int t = 0; t < 32; ++t) {
        float next = rig.tick();
        ASSERT_GT(next, level) << t;
        level = next;
    }
    EXPECT_EQ(rig.tick(), level);  // holding after the remaining half
    EXPECT_NEAR(level, released + 0.5f, 1e-6f);
}

TEST(Envelope, ReleaseAfterHoldRestartsTheAttackFromZero) {
    EnvelopeRig rig;
    rig.gate.v[1] = 0.6f;
    rig.tick(1);
    rig.tick(1);  // hold
    rig.gate.v[1] = 0.0f;
    rig.tick(1);
    rig.gate.v[1] = 0.3f;
    EXPECT_EQ(rig.tick(1), 0.3f);
}

TEST(Envelope, InactiveVoicesKeepTheirLevel) {
    EnvelopeRig rig;
    rig.gate.v[4] = 0.5f;
    rig.tick();
    rig.gate.v[4] = 0.0f;
    rig.active[4] = 0;
    for (int t = 0; t < 5; ++t) EXPECT_EQ(rig.tick(4), 0.5f);
}

}  // namespace
