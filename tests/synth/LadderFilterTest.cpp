#include <gtest/gtest.h>

#include <cmath>

#include "synth/LadderFilter.h"
#include "synth/SynthRig.h"

namespace {

struct FilterRig : SynthRig {
    VoiceBuffer in;
    VoiceVector pitch, lfo;
    ParamValue cutoff{0.5f}, reso{0.0f}, lfoAmount{0.0f};
    LadderFilter filter{rack, context};

    FilterRig() {
        filter.signal = &in;
        filter.pitch = &pitch;
        filter.lfo = &lfo;
        filter.cutoffParam = &cutoff;
        filter.resoParam = &reso;
        filter.lfoAmountParam = &lfoAmount;
        filter.onParameter(0, 0.0f);
    }
    // Pitch value of a frequency: f = 2^(10p + 3).
    void setVoicesTo(float hz) {
        for (float& p : pitch.v) p = (std::log2(hz) - 3.0f) / 10.0f;
    }
    // Runs frames through voice 0 (all voices get the same input), a tick every block.
    std::vector<float> run(const std::vector<float>& input) {
        std::vector<float> result;
        for (size_t done = 0; done < input.size(); done += 64) {
            size_t n = std::min<size_t>(64, input.size() - done);
            for (size_t k = 0; k < n; ++k)
                for (int v = 0; v < kVoices; ++v) in.data[8 * k + v] = input[done + k];
            filter.process(static_cast<int32_t>(n), 1);
            for (size_t k = 0; k < n; ++k) result.push_back(filter.output().data[8 * k]);
        }
        return result;
    }
};

TEST(LadderFilter, CoefficientsAt440HzAnd44100) {
    ExpTables::fill();
    LadderFilter::Coefficients c = LadderFilter::coefficients(440.0f / 44100.0f, 0.5f);
    EXPECT_NEAR(c.W, 0.019955, 5e-7);
    EXPECT_NEAR(c.k, -0.92880, 5e-6);
    EXPECT_NEAR(c.p, 0.035600, 5e-7);
    EXPECT_NEAR(c.K, 1.33690f, 5e-6f);
    EXPECT_NEAR(fastExpE(c.K), 3.807f, 5e-4f);
    EXPECT_EQ(c.feedback, fastExpE(c.K) * 0.5f);
    EXPECT_NEAR(c.feedback, 1.904f, 5e-4f);
    // k + 1 = 2p: each section has unity gain at 0 Hz.
    EXPECT_DOUBLE_EQ(c.k + 1.0, 2.0 * c.p);
}

TEST(LadderFilter, FeedbackFactorOverTheCutoffRange) {
    ExpTables::fill();
    EXPECT_NEAR(fastExpE(LadderFilter::coefficients(8.0f / 44100.0f, 1.0f).K), 3.996f, 5e-4f);
    EXPECT_NEAR(LadderFilter::coefficients(8192.0f / 44100.0f, 1.0f).feedback, 1.845f, 5e-4f);
    EXPECT_EQ(LadderFilter::coefficients(0.1f, 0.0f).feedback, 0.0f);
}

TEST(LadderFilter, CutoffAboveTheLimitIsHeldThereWithoutFeedback) {
    ExpTables::fill();
    LadderFilter::Coefficients atLimit = LadderFilter::coefficients(LadderFilter::kMaxCutoff, 1.0f);
    EXPECT_GT(atLimit.feedback, 0.0f);
    for (float w : {0.43f, 0.5f, 0.55f, 0.6f, 1.024f}) {
        LadderFilter::Coefficients c = LadderFilter::coefficients(w, 1.0f);
        EXPECT_EQ(c.feedback, 0.0f) << w;
        EXPECT_EQ(c.k, atLimit.k) << w;
        EXPECT_LT(std::fabs(c.k), 1.0) << w;  // every section stays stable
    }
}

TEST(LadderFilter, LowSampleRateKeepsTheTopCutoffStable) {
    // 8192 Hz lies between 0.5 and 0.625 of 14 and 16 kHz, where the section pole of the
    // unlimited polynomial exceeds 1.
    for (int rate : {8000, 14000, 16000, 19000}) {
        FilterRig rig;
        rig.filter.setSampleRate(rate);
        rig.cutoff = 1.0f;
        rig.reso = 1.0f;
        for (float& p : rig.pitch.v) p = 1.0f;
        TestNoise noise(9);
        std::vector<float> input(rate);
        for (float& x : input) x = noise.next();
        for (float y : rig.run(input)) ASSERT_TRUE(std::isfinite(y) && std::fabs(y) <= 1.0f) << rate;
        // Without feedback at the limit the filter falls silent with its input.
        std::vector<float> tail = rig.run(std::vector<float>(rate, 0.0f));
        EXPECT_LT(std::fabs(tail.back()), 1e-6f) << rate;
    }
}

TEST(LadderFilter, ZeroInputWithZeroStateStaysExactlyZero) {
    FilterRig rig;
    rig.reso = 1.0f;
    rig.setVoicesTo(440.0f);
    for (float y : rig.run(std::vector<float>(2048, 0.0f))) ASSERT_EQ(y, 0.0f);
}

TEST(LadderFilter, SmallConstantPassesWithGainJustBelowOne) {
    FilterRig rig;
    rig.setVoicesTo(440.0f);
    std::vector<float> out = rig.run(std::vector<float>(44100, 0.01f));
    EXPECT_LT(out.back(), 0.01f);
    EXPECT_GT(out.back(), 0.01f * 0.999f);
}

TEST(LadderFilter, ClosedCutoffOnALowNoteIsNearlySilent) {
    FilterRig rig;
    rig.cutoff = 0.0f;
    rig.setVoicesTo(110.0f);  // x clamps at 0: cutoff 8 Hz
    std::vector<float> input(44100);
    for (size_t n = 0; n < input.size(); ++n) input[n] = 0.5f * std::sin(2.0f * 3.14159265f * 440.0f * n / 44100.0f);
    std::vector<float> out = rig.run(input);
    // After the onset transient has died away.
    float peak = 0.0f;
    for (size_t n = 22050; n < out.size(); ++n) peak = std::max(peak, std::fabs(out[n]));
    EXPECT_LT(peak, 1e-5f);
}

TEST(LadderFilter, FullResonanceRingsBoundedNearTheCutoff) {
    FilterRig rig;
    rig.reso = 1.0f;
    rig.setVoicesTo(440.0f);
    std::vector<float> input(2 * 44100, 0.0f);
    input[0] = 1.0f;
    std::vector<float> out = rig.run(input);
    auto rms = [&](size_t from, size_t to) {
        double energy = 0.0;
        for (size_t n = from; n < to; ++n) energy += out[n] * out[n];
        return std::sqrt(energy / static_cast<double>(to - from));
    };
    int crossings = 0;
    for (size_t n = 1; n < out.size(); ++n) {
        ASSERT_LE(std::fabs(out[n]), 1.0f);
        crossings += out[n - 1] < 0.0f && out[n] >= 0.0f;
    }
    // A steady oscillation, not a decaying ring.
    EXPECT_GT(rms(22050, 44100), 0.05);
    EXPECT_NEAR(rms(66150, 88200) / rms(22050, 44100), 1.0, 0.02);
    EXPECT_NEAR(crossings / 2.0, 440.0, 440.0 * 0.25);
}

TEST(LadderFilter, CoefficientsChangeOnlyAtTicksAndForActiveVoices) {
    FilterRig rig;
    rig.setVoicesTo(440.0f);
    TestNoise noise(4);
    for (int i = 0; i < kMaxFrames * kVoices; i += kVoices) rig.in.data[i] = rig.in.data[i + 3] = noise.next();
    rig.filter.process(kMaxFrames, 1);
    rig.active[3] = 0;
    rig.setVoicesTo(4000.0f);
    rig.filter.process(kMaxFrames, 0);
    // Voices 0 and 3 see the same input history and still share coefficients.
    EXPECT_EQ(rig.filter.output().data[8 * 10 + 0], rig.filter.output().data[8 * 10 + 3]);
    rig.filter.process(kMaxFrames, 1);
    EXPECT_NE(rig.filter.output().data[8 * 10 + 0], rig.filter.output().data[8 * 10 + 3]);
}

TEST(LadderFilter, VectorPathMatchesScalarReferenceExactly) {
    FilterRig rig;
    TestNoise noise(21);
    scalar::LadderVoice ref[kVoices];
    rig.lfoAmount = 0.5f;  // a tenth of ten octaves: one octave per unit of LFO
    rig.filter.onParameter(0, 0.0f);
    const float depth = fastExp10(1.0f) * 0.01f;
    int mismatches = 0;
    for (int block = 0; block < 300; ++block) {
        const int frames = 1 + (block * 29) % 256;
        const int tick = block % 4 != 3;
        // Some blocks keep every value or move Reso alone, one keeps them at a new rate.
        const bool hold = block % 5 == 2, resoOnly = block % 5 == 4;
        const int32_t rate = block < 157 ? 44100 : 48000;
        rig.filter.setSampleRate(rate);
        if (!hold) rig.reso = 0.5f + 0.5f * noise.next();
        if (!hold && !resoOnly) rig.cutoff = 0.5f + 0.5f * noise.next();
        for (int v = 0; v < kVoices; ++v) {
            if (!hold && !resoOnly) {
                rig.pitch.v[v] = 0.3f + 0.3f * noise.next();
                rig.lfo.v[v] = noise.next();
            }
            rig.active[v] = noise.next() > -0.6f;
            if (tick && rig.active[v]) {
                float x = (rig.cutoff - 0.5f) + rig.pitch.v[v] + rig.lfo.v[v] * depth;
                x = x >= 1.0f ? 1.0f : (x <= 0.0f ? 0.0f : x);
                ref[v].setCutoff(fastExp2(10.0f * x + 3.0f) / static_cast<float>(rate), rig.reso);
            }
        }
        for (int i = 0; i < frames * kVoices; ++i) rig.in.data[i] = 0.8f * noise.next();
        rig.filter.process(frames, tick);
        for (int k = 0; k < frames; ++k)
            for (int v = 0; v < kVoices; ++v)
                mismatches += ref[v].next(rig.in.data[8 * k + v]) != rig.filter.output().data[8 * k + v];
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
