// Mixer, amplifier and voice summer: the per-frame paths between oscillators and carrier.
#include <gtest/gtest.h>

#include "synth/Amplifier.h"
#include "synth/OscillatorMixer.h"
#include "synth/SynthRig.h"
#include "synth/VoiceSummer.h"

namespace {

void fill(VoiceBuffer& buffer, TestNoise& noise) {
    for (float& x : buffer.data) x = noise.next();
}

TEST(OscillatorMixer, CrossfadesAtHalfLevel) {
    SynthRig rig;
    TestNoise noise(3);
    VoiceBuffer a, b;
    fill(a, noise);
    fill(b, noise);
    ParamValue mix{1.0f};
    OscillatorMixer mixer(rig.rack, rig.context);
    mixer.inputA = &a;
    mixer.inputB = &b;
    mixer.mixParam = &mix;
    for (float m : {1.0f, 0.0f, 0.5f, 0.3f}) {
        mix = m;
        mixer.process(kMaxFrames, 0);
        int mismatches = 0;
        for (int i = 0; i < kMaxFrames * kVoices; ++i)
            mismatches += mixer.output().data[i] != a.data[i] * (m * 0.5f) + b.data[i] * ((1.0f - m) * 0.5f);
        EXPECT_EQ(mismatches, 0) << m;
    }
    mix = 1.0f;
    mixer.process(kMaxFrames, 0);
    EXPECT_EQ(mixer.output().data[9], a.data[9] * 0.5f);
}

TEST(OscillatorMixer, WritesOnlyTheFramesAskedFor) {
    SynthRig rig;
    VoiceBuffer a;
    for (float& x : a.data) x = 1.0f;
    ParamValue mix{1.0f};
    OscillatorMixer mixer(rig.rack, rig.context);
    mixer.inputA = &a;
    mixer.mixParam = &mix;
    mixer.process(0, 1);
    EXPECT_EQ(mixer.output().data[0], 0.0f);
    mixer.process(3, 1);
    EXPECT_EQ(mixer.output().data[3 * 8 - 1], 0.5f);
    EXPECT_EQ(mixer.output().data[3 * 8], 0.0f);
}

struct AmplifierRig : SynthRig {
    VoiceBuffer ones;
    VoiceVector level, lfo;
    ParamValue am{0.0f};
    Amplifier amp{rack, context};

    AmplifierRig() {
        for (float& x : ones.data) x = 1.0f;
        amp.signal = &ones;
        amp.envelope = &level;
        amp.lfo = &lfo;
        amp.amParam = &am;
    }
};

TEST(Amplifier, GainRampsLinearlyAcrossTheSubBlock) {
    AmplifierRig rig;
    rig.level.v[0] = 0.5f;
    rig.amp.process(4, 0);
    const float* out = rig.amp.output().data;
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[8], 0.125f);
    EXPECT_EQ(out[16], 0.25f);
    EXPECT_EQ(out[24], 0.375f);
    EXPECT_EQ(rig.amp.gain(0), 0.5f);
    rig.amp.process(4, 0);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(out[8 * k], 0.5f);
    // Down again over a sub-block of one frame.
    rig.level.v[0] = 0.25f;
    rig.amp.process(1, 0);
    EXPECT_EQ(out[0], 0.5f);
    EXPECT_EQ(rig.amp.gain(0), 0.25f);
}

TEST(Amplifier, LfoTremoloSwingsBetweenZeroAndTwiceTheLevel) {
    AmplifierRig rig;
    rig.am = 1.0f;
    rig.level.v[1] = rig.level.v[2] = 0.4f;
    rig.lfo.v[1] = 1.0f;
    rig.lfo.v[2] = -1.0f;
    rig.amp.process(1, 0);
    EXPECT_EQ(rig.amp.gain(1), 0.8f);
    EXPECT_EQ(rig.amp.gain(2), 0.0f);
}

TEST(Amplifier, InactiveVoiceKeepsItsGain) {
    AmplifierRig rig;
    rig.level.v[6] = 0.5f;
    rig.amp.process(8, 0);
    rig.active[6] = 0;
    rig.level.v[6] = 0.0f;
    rig.amp.process(8, 0);
    EXPECT_EQ(rig.amp.gain(6), 0.5f);
    EXPECT_EQ(rig.amp.output().data[8 * 7 + 6], 0.5f);
}

TEST(Amplifier, VectorPathMatchesScalarReferenceExactly) {
    AmplifierRig rig;
    TestNoise noise(11);
    VoiceBuffer in;
    rig.amp.signal = &in;
    rig.am = 0.35f;
    float gain[kVoices] = {};
    int mismatches = 0;
    for (int block = 0; block < 200; ++block) {
        const int frames = 1 + (block * 53) % 256;
        fill(in, noise);
        float step[kVoices];
        for (int v = 0; v < kVoices; ++v) {
            rig.level.v[v] = 0.5f + 0.5f * noise.next();
            rig.lfo.v[v] = noise.next();
            rig.active[v] = noise.next() > -0.5f;
            float target = (rig.lfo.v[v] * 0.35f + 1.0f) * rig.level.v[v];
            step[v] = rig.active[v] ? (target - gain[v]) / static_cast<float>(frames) : 0.0f;
        }
        rig.amp.process(frames, block & 1);
        for (int k = 0; k < frames; ++k) {
            for (int v = 0; v < kVoices; ++v) {
                mismatches += rig.amp.output().data[8 * k + v] != in.data[8 * k + v] * gain[v];
                gain[v] += step[v];
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(VoiceSummer, SilentVoicesGiveExactZero) {
    SynthRig rig;
    VoiceBuffer silent;
    VoiceSummer summer(rig.rack, rig.context);
    summer.signal = &silent;
    summer.process(kMaxFrames, 1);
    for (float x : summer.output().data) ASSERT_EQ(x, 0.0f);
}

TEST(VoiceSummer, AddsPairsInFixedOrderIntoBothChannels) {
    SynthRig rig;
    TestNoise noise(5);
    VoiceBuffer in;
    fill(in, noise);
    // Values whose sum depends on the order of the additions.
    const float cancel[kVoices] = {1e8f, 1.0f, 3.0f, -1e8f, -1e8f, 1.0f, 1e8f, 1.0f};
    std::copy(std::begin(cancel), std::end(cancel), in.data);
    VoiceSummer summer(rig.rack, rig.context);
    summer.signal = &in;
    summer.process(kMaxFrames, 0);
    const float* out = summer.output().data;
    EXPECT_EQ(out[0], scalar::voiceSum(cancel));
    int mismatches = 0;
    for (int k = 0; k < kMaxFrames; ++k) {
        float expected = scalar::voiceSum(in.data + 8 * k);
        mismatches += out[2 * k] != expected || out[2 * k + 1] != expected;
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
