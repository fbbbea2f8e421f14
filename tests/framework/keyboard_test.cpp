#include <gtest/gtest.h>

#include "dsp/ExpTables.h"
#include "framework/Keyboard.h"

namespace {

class KeyboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ExpTables::fill();
        keys.monoParam = &mono;
        keys.glideParam = &glide;
        keys.bendRangeParam = &bendRange;
        keys.envelopeLevel = &levels;
    }
    // Gives every voice with a gate a non-zero envelope, like the envelope module would.
    void sound() {
        for (int v = 0; v < kVoices; ++v) levels.v[v] = keys.active[v] ? 0.5f : 0.0f;
    }
    int voiceOf(int note) const {
        for (int v = 0; v < kVoices; ++v)
            if (keys.active[v] && keys.note[v] == note) return v;
        return -1;
    }

    Keyboard keys;
    ParamValue mono{0.0f}, glide{0.0f}, bendRange{1.0f};
    VoiceVector levels;
};

TEST_F(KeyboardTest, NotePitchUnits) {
    EXPECT_FLOAT_EQ(Keyboard::notePitch(69), 69 * 0.008333334f + 0.003135971f);
    EXPECT_EQ(Keyboard::notePitch(0), 0.003135971f);
    EXPECT_EQ(Keyboard::notePitch(127), 1.0f);  // 8192 Hz is the top
}

TEST_F(KeyboardTest, VoicesAreTakenFromTheTopAndTheNinthHeldNoteIsDropped) {
    for (int n = 0; n < 8; ++n) keys.noteOn(60 + n, 100);
    for (int n = 0; n < 8; ++n) EXPECT_EQ(voiceOf(60 + n), 7 - n);
    keys.noteOn(80, 100);
    EXPECT_EQ(voiceOf(80), -1);
}

TEST_F(KeyboardTest, NinthNoteReusesTheOldestReleasedVoice) {
    for (int n = 0; n < 8; ++n) keys.noteOn(60 + n, 100);
    keys.noteOff(61);  // voice 6 released first
    keys.noteOff(63);  // voice 4; voice 6 ages to 1
    keys.noteOn(80, 100);
    EXPECT_EQ(voiceOf(80), 6);
    EXPECT_EQ(keys.gateVelocities.v[6], 100 * 0.007874016f);
    keys.noteOn(81, 100);
    EXPECT_EQ(voiceOf(81), 4);
}

TEST_F(KeyboardTest, VelocityZeroReleasesAndSustainHoldsTheGate) {
    keys.noteOn(60, 127);
    EXPECT_EQ(keys.gateVelocities.v[7], 127 * 0.007874016f);
    keys.sustainPedal(127);
    keys.noteOff(60);
    EXPECT_EQ(keys.keyVelocity[7], 0.0f);
    EXPECT_GT(keys.gateVelocities.v[7], 0.0f);
    keys.sustainPedal(63);  // below 64: pedal up
    EXPECT_EQ(keys.gateVelocities.v[7], 0.0f);
}

TEST_F(KeyboardTest, BendSpansAnOctaveAtRangeOne) {
    keys.pitchBend(0x2000);
    EXPECT_EQ(keys.bend, 0.0f);
    keys.pitchBend(0);
    EXPECT_FLOAT_EQ(keys.bend, -0.1f);
    bendRange.store(0.5f);
    keys.pitchBend(0);
    EXPECT_FLOAT_EQ(keys.bend, -0.05f);
}

TEST_F(KeyboardTest, GlideZeroJumpsOnTheFirstTick) {
    keys.noteOn(69, 100);
    EXPECT_EQ(keys.pitchValues.v[7], 0.0f);
    keys.controlUpdate(0);
    EXPECT_EQ(keys.pitchValues.v[7], 0.0f);  // no work without a tick
    sound();
    keys.controlUpdate(1);
    EXPECT_EQ(keys.pitchValues.v[7], Keyboard::notePitch(69));
}

TEST_F(KeyboardTest, GlideMovesTheFactorTowardsTheTarget) {
    glide.store(1.0f / 3.0f);  // k = 0.1
    keys.noteOn(69, 100);
    sound();
    keys.controlUpdate(1);
    float target = Keyboard::notePitch(69);
    EXPECT_NEAR(keys.pitchValues.v[7], target * 0.1f, 1e-6f);
    for (int i = 0; i < 200; ++i) keys.controlUpdate(1);
    EXPECT_NEAR(keys.pitchValues.v[7], target, 1e-5f);
}

TEST_F(KeyboardTest, MonoSwitchResetsPitchesAndUsesVoiceZero) {
    keys.noteOn(69, 100);
    sound();
    keys.controlUpdate(1);
    mono.store(1.0f);
    keys.noteOn(72, 90);
    EXPECT_EQ(keys.mono, 1);
    EXPECT_EQ(keys.currentPitch[7], 0.0f);  // reset by the mode change
    EXPECT_EQ(keys.note[0], 72);
    keys.noteOn(74, 90);  // retunes voice 0, no note memory
    EXPECT_EQ(keys.note[0], 74);
    keys.noteOff(72);
    EXPECT_GT(keys.gateVelocities.v[0], 0.0f);
    keys.noteOff(74);
    EXPECT_EQ(keys.gateVelocities.v[0], 0.0f);
}

TEST_F(KeyboardTest, VoiceIsFreedWhenItsEnvelopeIsExactlyZero) {
    keys.noteOn(69, 100);
    sound();
    keys.controlUpdate(1);
    EXPECT_EQ(keys.active[7], 1);
    levels.v[7] = 0.0f;
    keys.controlUpdate(1);
    EXPECT_EQ(keys.active[7], 0);
}

TEST_F(KeyboardTest, ResetOfPitchesKeepsGates) {
    keys.noteOn(69, 100);
    sound();
    keys.controlUpdate(1);
    keys.resetPitches();
    EXPECT_EQ(keys.targetPitch[7], 0.0f);
    EXPECT_EQ(keys.currentPitch[7], 0.0f);
    EXPECT_GT(keys.gateVelocities.v[7], 0.0f);
}

}  // namespace
