// The filter bank against a plain band-by-band rendering of its arithmetic: the fast
// path runs the bands as independent vector lanes and must give the same bits.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "vocoder/VocoderFilterBank.h"

using namespace vocoder;

namespace {

// One band after another, follower and envelope pick interleaved, exactly as the
// filter bank is defined.
struct ReferenceBank {
    float x1[3][kBandSlots] = {}, x2[3][kBandSlots] = {}, y1[3][kBandSlots] = {}, y2[3][kBandSlots] = {};
    float envelope[kBandSlots] = {};
    BandDesign design;

    float biquad(int which, int i, float in) {
        const BandCoefficients& c = design.coefficients[i];
        double y = (double)c.b0 * in + (double)c.b1 * x1[which][i] + (double)c.b2 * x2[which][i] -
                   (double)c.a1 * y1[which][i] - (double)c.a2 * y2[which][i] + 1e-30;
        x2[which][i] = x1[which][i];
        x1[which][i] = in;
        y2[which][i] = y1[which][i];
        y1[which][i] = (float)y;
        return (float)y;
    }

    void run(float m, float l, float r, bool stereo, int count, int shift, float a, float& sl, float& sr) {
        sl = sr = 0.0f;
        for (int i = 0; i < count; ++i) {
            float y = biquad(0, i, m);
            envelope[i] = envelope[i] * (1.0f - a * 0.01f) + std::fabs(y) * a * 0.01f;
            float yl = biquad(1, i, l);
            float yr = stereo ? biquad(2, i, r) : 0.0f;
            int k = i + shift;
            if (k <= 0) k = 0;
            if (k >= count - 1) k = count - 1;
            sl += envelope[k] * design.gain[i] * yl;
            if (stereo) sr += envelope[k] * design.gain[i] * yr;
        }
    }
};

void compare(int count, int shift, bool stereo, int32_t rate) {
    const float eq[kEqCount] = {0.3f, 0.9f, 0.5f, 0.1f, 0.7f, 0.6f};
    ReferenceBank reference;
    reference.design = designBands(count, eq, rate);
    VocoderFilterBank bank;
    bank.apply(reference.design);
    std::mt19937 random(count * 100 + shift);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    const float a = 0.37f;
    for (int n = 0; n < 4000; ++n) {
        float m = noise(random), l = noise(random), r = noise(random);
        float wantLeft, wantRight, left = 0.0f, right = 0.0f;
        reference.run(m, l, r, stereo, count, shift, a, wantLeft, wantRight);
        if (stereo)
            bank.runStereo(m, l, r, count, shift, a, left, right);
        else
            bank.runMono(m, l, count, shift, a, left);
        ASSERT_EQ(left, wantLeft) << "frame " << n << " bands " << count << " shift " << shift;
        if (stereo) {
            ASSERT_EQ(right, wantRight) << "frame " << n;
        }
    }
    for (int i = 0; i < count; ++i) EXPECT_EQ(bank.envelope(i), reference.envelope[i]) << i;
}

}  // namespace

TEST(VocoderFilterBank, MatchesThePlainBandByBandArithmeticBitForBit) {
    for (int count : {1, 2, 3, 5, 8, 13, 21})
        for (int shift : {-8, -3, 0, 1, 8}) {
            compare(count, shift, false, 44100);
            compare(count, shift, true, 48000);
        }
}

TEST(VocoderFilterBank, BandsAboveHalfTheRateStaySilentAndEverythingFinite) {
    // At 8 kHz the top 3 of 21 bands (4222 Hz and up) cannot exist.
    compare(21, 0, true, 8000);
    const float eq[kEqCount] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
    VocoderFilterBank bank;
    bank.apply(designBands(21, eq, 8000));
    std::mt19937 random(3);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    float left = 0.0f, right = 0.0f;
    for (int n = 0; n < 20000; ++n) {
        bank.runStereo(noise(random), noise(random), noise(random), 21, 0, 0.5f, left, right);
        ASSERT_TRUE(std::isfinite(left) && std::isfinite(right)) << n;
        ASSERT_LT(std::fabs(left), 1e4f);
    }
    for (int i = 18; i < 21; ++i) EXPECT_LT(bank.envelope(i), 1e-29f) << "band " << i << " passes nothing";
    for (int i = 0; i < 18; ++i) EXPECT_GT(bank.envelope(i), 1e-3f) << "band " << i << " follows the noise";
}

TEST(VocoderFilterBank, ClearZeroesStatesAndEnvelopesAndResetsGainsToOne) {
    const float eq[kEqCount] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    VocoderFilterBank bank;
    bank.apply(designBands(21, eq, 44100));
    float left = 0.0f;
    for (int n = 0; n < 100; ++n) bank.runMono(1.0f, 1.0f, 21, 0, 1.0f, left);
    EXPECT_GT(bank.envelope(0), 0.0f);
    bank.clear();
    for (int i = 0; i < kBandSlots; ++i) {
        EXPECT_EQ(bank.envelope(i), 0.0f);
        EXPECT_EQ(bank.gain(i), 1.0f);
    }
    bank.runMono(1.0f, 1.0f, 21, 0, 1.0f, left);
    EXPECT_EQ(left, 0.0f) << "all coefficients are zero after a clear";
}
