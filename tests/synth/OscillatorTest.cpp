#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "synth/Oscillator.h"
#include "synth/SynthRig.h"

namespace {

struct OscillatorRig : SynthRig {
    ParamValue form{0.25f}, tune{0.5f}, detune{0.5f}, width{0.0f}, fm{0.0f}, pwm{0.0f};
    VoiceVector pitch, fmSource, pwmSource;
    Oscillator osc{rack, context};

    OscillatorRig() {
        osc.pitch = &pitch;
        osc.fmSource = &fmSource;
        osc.pwmSource = &pwmSource;
        osc.formParam = &form;
        osc.tuneParam = &tune;
        osc.detuneParam = &detune;
        osc.pulseWidthParam = &width;
        osc.fmAmountParam = &fm;
        osc.pwmAmountParam = &pwm;
        for (float& p : pitch.v) p = 0.5f;
    }
    void setForm(int f) {
        form = static_cast<float>(f) * 0.25f;
        osc.onParameter(0, 0.0f);
    }
    // Renders frames, the first with a control tick; answers voice 0 of each frame.
    std::vector<float> render(int frames) {
        std::vector<float> result;
        for (int done = 0; done < frames; done += 64) {
            int n = std::min(64, frames - done);
            osc.process(n, done == 0);
            for (int k = 0; k < n; ++k) result.push_back(osc.output().data[8 * k]);
        }
        return result;
    }
};

// At 2048 Hz a pitch value of 0.5 (256 Hz) advances exactly 1/8 cycle per sample, so
// the frames fall on phases 1/8, 2/8, ... without rounding.
TEST(Oscillator, PeriodicFormsAtGivenPhases) {
    OscillatorRig rig;
    rig.osc.setSampleRate(2048);

    rig.setForm(Oscillator::kTriangle);
    std::vector<float> tri = rig.render(8);
    EXPECT_EQ(rig.osc.increment(0), 0.125f);
    EXPECT_EQ(tri, (std::vector<float>{-0.5f, -1.0f, -0.5f, 0.0f, 0.5f, 1.0f, 0.5f, 0.0f}));

    rig.setForm(Oscillator::kSaw);
    std::vector<float> saw = rig.render(8);  // phases continue: 1/8 again
    EXPECT_EQ(saw, (std::vector<float>{0.75f, 0.5f, 0.25f, 0.0f, -0.25f, -0.5f, -0.75f, 0.0f}));

    rig.setForm(Oscillator::kSquare);
    std::vector<float> square = rig.render(8);
    EXPECT_EQ(square, (std::vector<float>{-1.0f, -1.0f, -1.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0.0f}));

    rig.setForm(Oscillator::kSine);
    std::vector<float> sine = rig.render(8);
    EXPECT_NEAR(sine[1], -0.9991f, 1e-4f);  // turning points just inside +-1
    EXPECT_NEAR(sine[5], 0.9991f, 1e-4f);
    EXPECT_NEAR(sine[0], -std::sin(0.25f * 3.14159265f), 0.01f);
    EXPECT_EQ(sine[3], 0.0f);
}

TEST(Oscillator, SineIsClippedAtFullScale) {
    OscillatorRig rig;
    rig.osc.setSampleRate(44100);
    rig.setForm(Oscillator::kSine);
    std::vector<float> out = rig.render(4096);
    float peak = 0.0f;
    for (float s : out) peak = std::max(peak, std::fabs(s));
    EXPECT_LE(peak, 1.0f);
    EXPECT_GT(peak, 0.999f);
}

TEST(Oscillator, PulseWidthDelaysTheWaveformIntoTheEndOfThePeriod) {
    OscillatorRig rig;
    rig.osc.setSampleRate(2048);
    rig.width = 0.5f;
    rig.setForm(Oscillator::kSaw);
    std::vector<float> saw = rig.render(8);
    EXPECT_EQ(rig.osc.pulseWidth(0), 0.5f);
    // Silent for the first half; x = 2 (phase - 0.5) afterwards, so phase 3/4 is x = 1/2.
    EXPECT_EQ(saw, (std::vector<float>{0.0f, 0.0f, 0.0f, 0.0f, 0.5f, 0.0f, -0.5f, 0.0f}));
}

TEST(Oscillator, PulseWidthIsLimitedTo0To095) {
    OscillatorRig rig;
    rig.width = 0.9f;
    rig.pwm = 0.5f;
    rig.pwmSource.v[0] = 1.0f;   // 1.4
    rig.pwmSource.v[1] = -1.0f;  // 0.4
    rig.pwmSource.v[2] = -2.0f;  // -0.1
    rig.setForm(Oscillator::kSquare);
    rig.render(1);
    EXPECT_EQ(rig.osc.pulseWidth(0), 0.95f);
    EXPECT_EQ(rig.osc.pulseWidth(1), 1.0f * -1.0f * 0.5f + 0.9f);
    EXPECT_EQ(rig.osc.pulseWidth(2), 0.0f);
    EXPECT_EQ(rig.osc.pulseWidth(3), 0.9f);

    // At 0.95 only the last 5 % of each period sounds.
    rig.pwm = 0.0f;
    rig.width = 1.0f;
    rig.osc.setSampleRate(25600);  // 100 samples per cycle
    std::vector<float> out = rig.render(400);
    int sounding = 0;
    for (float s : out) sounding += s != 0.0f;
    EXPECT_GT(sounding, 4 * 2);
    EXPECT_LE(sounding, 4 * 5);
}

TEST(Oscillator, IncrementFollowsPitchTuneDetuneAndFm) {
    OscillatorRig rig;
    rig.osc.setSampleRate(44100);
    rig.pitch.v[1] = 0.5f;
    rig.pitch.v[2] = 1.0f;  // plus tune 1 clamps at 8192 Hz
    rig.pitch.v[3] = 0.0f;  // minus tune 0 clamps at 8 Hz
    rig.setForm(Oscillator::kSine);
    rig.render(1);
    const float base = rig.osc.increment(0);
    EXPECT_EQ(base, 256.0f / 44100.0f);

    rig.tune = 0.0f;
    rig.render(1);
    EXPECT_EQ(rig.osc.increment(0), 64.0f / 44100.0f);  // two octaves down
    EXPECT_EQ(rig.osc.increment(3), 8.0f / 44100.0f);
    rig.tune = 1.0f;
    rig.render(1);
    EXPECT_FLOAT_EQ(rig.osc.increment(0), 1024.0f / 44100.0f);  // two octaves up
    EXPECT_EQ(rig.osc.increment(2), 8192.0f / 44100.0f);

    rig.tune = 0.5f;
    rig.detune = 0.0f;  // one semitone down
    rig.osc.onParameter(0, 0.0f);
    rig.render(1);
    EXPECT_NEAR(rig.osc.increment(0) / base, std::pow(2.0f, -1.0f / 12.0f), 2e-6f);

    rig.detune = 0.5f;
    rig.fm = 1.0f;  // one octave per unit of LFO
    rig.fmSource.v[0] = 1.0f;
    rig.fmSource.v[1] = -1.0f;
    rig.osc.onParameter(0, 0.0f);
    rig.render(1);
    EXPECT_FLOAT_EQ(rig.osc.increment(0) / base, 2.0f);
    EXPECT_FLOAT_EQ(rig.osc.increment(1) / base, 0.5f);

    // The same pitch values at half the rate: twice the increments.
    rig.osc.setSampleRate(22050);
    rig.render(1);
    EXPECT_FLOAT_EQ(rig.osc.increment(0) / base, 4.0f);
    EXPECT_FLOAT_EQ(rig.osc.increment(1) / base, 1.0f);
}

TEST(Oscillator, FormParameterRoundsToFiveForms) {
    OscillatorRig rig;
    const std::pair<float, int> cases[] = {{0.0f, 0}, {0.1f, 0}, {0.2f, 1}, {0.5f, 2}, {0.75f, 3}, {1.0f, 4}};
    for (auto [value, form] : cases) {
        rig.form = value;
        rig.osc.onParameter(0, 0.0f);
        EXPECT_EQ(rig.osc.currentForm(), form) << value;
    }
}

TEST(Oscillator, OnlyActiveVoicesTakeNewIncrementsAtTicks) {
    OscillatorRig rig;
    rig.setForm(Oscillator::kSaw);
    rig.render(1);
    const float before = rig.osc.increment(5);
    rig.active[5] = 0;
    for (float& p : rig.pitch.v) p = 0.7f;
    rig.osc.process(16, 0);  // no tick: nothing changes
    EXPECT_EQ(rig.osc.increment(0), before);
    rig.osc.process(16, 1);
    EXPECT_GT(rig.osc.increment(0), before);
    EXPECT_EQ(rig.osc.increment(5), before);
    // The inactive voice keeps running at its last frequency in the periodic forms.
    float energy = 0.0f;
    for (int k = 0; k < 16; ++k) energy += std::fabs(rig.osc.output().data[8 * k + 5]);
    EXPECT_GT(energy, 0.0f);
}

namespace {

void matchScalarReference(SimdPath path, int32_t rate) {
    OscillatorRig rig;
    ASSERT_TRUE(rig.osc.usePath(path));
    rig.osc.setSampleRate(rate);
    TestNoise noise(17);
    scalar::OscillatorVoice ref[kVoices];
    const scalar::Shape shapes[5] = {{0, 0, 0, 0},
                                     {0.5f, 1.5f, kSineScale, 0.14749262f},
                                     {0.5f, 1.5f, 4.0f, 0.0f},
                                     {0.5f, 1.5f, 100000.0f, 0.0f},
                                     {0.0f, 2.0f, -2.0f, 0.0f}};
    rig.fm = 0.7f;
    rig.pwm = 0.6f;
    int mismatches = 0;
    for (int block = 0; block < 400; ++block) {
        const int form = 1 + block / 100;
        const int frames = 1 + (block * 37) % 256;
        const int tick = block % 3 != 2;
        rig.width = 0.5f + 0.5f * noise.next();
        rig.setForm(form);
        for (int v = 0; v < kVoices; ++v) {
            rig.pitch.v[v] = 0.5f + 0.5f * noise.next();
            rig.fmSource.v[v] = noise.next();
            rig.pwmSource.v[v] = noise.next();
            rig.active[v] = noise.next() > -0.6f;
        }
        rig.osc.process(frames, tick);
        for (int v = 0; v < kVoices; ++v) {
            if (tick && rig.active[v]) {
                // Check the increment and width the module chose, then use them.
                ref[v].increment = rig.osc.increment(v);
                ref[v].reciprocal = 1.0f / ref[v].increment;
                ref[v].pw = rig.osc.pulseWidth(v);
            }
            for (int k = 0; k < frames; ++k)
                mismatches += ref[v].next(shapes[form]) != rig.osc.output().data[8 * k + v];
        }
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace

// Every instruction-set path against the plain per-voice arithmetic; at 6000 Hz the
// highest voices advance more than one cycle per frame, at 44.1 kHz never.
TEST(Oscillator, EveryVectorPathMatchesScalarReferenceExactly) {
    for (SimdPath path : {SimdPath::Sse2, SimdPath::Avx2, SimdPath::Avx512}) {
        if (!simdSupported(path)) continue;
        for (int32_t rate : {44100, 6000}) {
            SCOPED_TRACE(static_cast<int>(path) * 100000 + rate);
            matchScalarReference(path, rate);
        }
    }
}

TEST(Oscillator, RandomFormHoldsSharedGeneratorLevels) {
    OscillatorRig rig;
    rig.osc.setSampleRate(44100);
    rig.setForm(Oscillator::kRandom);
    rig.active[3] = 0;
    RandomGenerator reference;
    reference.seed(5);
    const float increment = 256.0f / 44100.0f;
    float phase[kVoices] = {}, held[kVoices];
    std::fill(std::begin(held), std::end(held), 0.001f);
    std::set<float> levels;
    int changes = 0, mismatches = 0;
    for (int block = 0; block < 40; ++block) {
        rig.osc.process(88, 1);
        for (int k = 0; k < 88; ++k) {
            for (int v = 0; v < kVoices; ++v) {
                if (!rig.active[v]) {
                    held[v] = 0.0f;
                } else {
                    phase[v] += increment;
                    while (phase[v] >= 0.05125f) {
                        phase[v] -= 0.05125f;
                        held[v] = ((reference.next() & 0x7F) * 0.0078125f - 0.5f) * 2.0f;
                        changes += v == 0;
                    }
                }
                float out = rig.osc.output().data[8 * k + v];
                mismatches += out != held[v];
                if (v == 0 && changes > 0) levels.insert(out);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(rig.context.random.current(), reference.current());
    // About 19.5 draws per cycle of the voice's 256 Hz.
    const double cycles = 40.0 * 88.0 * increment;
    EXPECT_NEAR(changes / cycles, 1.0 / 0.05125, 0.5);
    for (float level : levels) {
        float step = (level * 0.5f + 0.5f) * 128.0f;
        EXPECT_EQ(step, std::floor(step)) << level;
        EXPECT_GE(level, -1.0f);
        EXPECT_LE(level, 0.984375f);
    }
    EXPECT_GT(levels.size(), 50u);
}

TEST(Oscillator, RandomFormWithWidePulseSilencesPartOfEachHold) {
    OscillatorRig rig;
    rig.width = 0.9f;  // 1 - pw = 0.1: silent once the hold phase passes 0.025
    rig.setForm(Oscillator::kRandom);
    rig.render(2000);
    int silent = 0, sounding = 0;
    for (int k = 0; k < 64; ++k) (rig.osc.output().data[8 * k] == 0.0f ? silent : sounding)++;
    EXPECT_GT(silent, 16);
    EXPECT_GT(sounding, 16);
}

}  // namespace
