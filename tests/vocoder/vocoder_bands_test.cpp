// Band design: centre frequencies, Eq gains, bin bounds and the bin gain curve, and the
// stability of every band at every sample rate a host may run.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "vocoder/VocoderBands.h"

using namespace vocoder;

namespace {

const float kFlatEq[kEqCount] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};

// |H| of the band-pass at angular frequency w.
double response(const BandCoefficients& c, double w) {
    const std::complex<double> z1 = std::polar(1.0, -w);
    const std::complex<double> z2 = z1 * z1;
    return std::abs((double(c.b0) + double(c.b1) * z1 + double(c.b2) * z2) /
                    (1.0 + double(c.a1) * z1 + double(c.a2) * z2));
}

}  // namespace

TEST(VocoderBands, TwentyOneBandsSpanSixOctavesInStepsOfThreeTenthsOfAnOctave) {
    BandDesign d = designBands(21, kFlatEq, 44100);
    ASSERT_EQ(d.count, 21);
    for (int i = 0; i < 21; ++i) {
        EXPECT_NEAR(d.frequency[i], 100.0 * std::pow(2.0, 0.3 * i), 100.0 * std::pow(2.0, 0.3 * i) * 5e-6) << i;
        EXPECT_EQ(d.gain[i], 200.0f) << "Eq 0.5 is unity in band " << i;
    }
    EXPECT_EQ(d.frequency[0], 100.0f);
    EXPECT_NEAR(d.frequency[20], 6400.0f, 0.05f);

    BandDesign one = designBands(1, kFlatEq, 44100);
    ASSERT_EQ(one.count, 1);
    EXPECT_EQ(one.frequency[0], 100.0f);
}

TEST(VocoderBands, EqValuesSetTheGainAtTheirOctaveAndInterpolateBetween) {
    const float eq[kEqCount] = {1.0f, 0.0f, 0.5f, 0.5f, 0.5f, 0.75f};
    BandDesign d = designBands(21, eq, 44100);
    EXPECT_NEAR(d.gain[0], 2000.0f, 0.01f);  // Eq1 = 1: ten times at 100 Hz
    // 200 Hz is not a band centre; band 3 (186.6 Hz) lies 0.9 octave up, between Eq1 and Eq2.
    EXPECT_NEAR(d.gain[3], 200.0f * std::pow(10.0f, 2.0f * (1.0f - 0.9f - 0.5f)), 0.05f);
    // Above 3200 Hz (bands 17 to 20) only Eq6 counts: 200 x 10^0.5.
    for (int i = 17; i < 21; ++i) EXPECT_NEAR(d.gain[i], 200.0f * std::sqrt(10.0f), 0.01f) << i;
}

TEST(VocoderBands, BandsPeakAtUnityOnTheirCentreAndStayStableFrom8To192Kilohertz) {
    for (int32_t rate : {8000, 11025, 16000, 22050, 44100, 48000, 88200, 96000, 176400, 192000}) {
        BandDesign d = designBands(21, kFlatEq, rate);
        for (int i = 0; i < 21; ++i) {
            const BandCoefficients& c = d.coefficients[i];
            ASSERT_TRUE(std::isfinite(c.b0) && std::isfinite(c.b2) && std::isfinite(c.a1) && std::isfinite(c.a2));
            if (2.0f * d.frequency[i] >= float(rate)) {
                // Cannot be represented at this rate: silent.
                EXPECT_EQ(c.b0, 0.0f) << rate << " band " << i;
                EXPECT_EQ(c.a1, 0.0f);
                EXPECT_EQ(c.a2, 0.0f);
                continue;
            }
            EXPECT_LT(std::fabs(c.a2), 1.0f) << rate << " band " << i;
            EXPECT_LT(std::fabs(c.a1), 1.0f + c.a2) << rate << " band " << i;
            const double w = 2.0 * M_PI * d.frequency[i] / rate;
            // Float coefficients of a narrow low band at a high rate cost a little peak gain.
            EXPECT_NEAR(response(c, w), 1.0, 1e-2) << rate << " band " << i;
        }
    }
    // Directly at and above half the rate, and a hair below it.
    EXPECT_EQ(designBand(4000.0f, 8000).b0, 0.0f);
    EXPECT_EQ(designBand(6400.0f, 8000).a2, 0.0f);
    BandCoefficients edge = designBand(3999.0f, 8000);
    EXPECT_TRUE(std::isfinite(edge.b0) && std::fabs(edge.a2) < 1.0f);
}

TEST(VocoderBands, BinBoundsOfTheEqBreakpoints) {
    int32_t b[kEqCount];
    binBounds(44100, b);
    EXPECT_EQ((std::vector<int32_t>(b, b + 6)), (std::vector<int32_t>{2, 3, 5, 10, 19, 38}));
    binBounds(48000, b);
    EXPECT_EQ((std::vector<int32_t>(b, b + 6)), (std::vector<int32_t>{2, 3, 5, 9, 18, 35}));
    binBounds(8000, b);
    EXPECT_EQ(b[5], 205);
    binBounds(1000, b);
    EXPECT_EQ(b[5], 256) << "capped at the Nyquist bin";
}

TEST(VocoderBands, BinGainIsFlatBetweenTheBreakpointsAndFallsOffOutside) {
    float gain[kSpectrumSize];
    std::fill(gain, gain + kSpectrumSize, -1.0f);
    buildBinGain(kFlatEq, 44100, gain);
    EXPECT_EQ(gain[0], 0.0f);
    EXPECT_EQ(gain[256], 0.0f);
    for (int q = 2; q < 38; ++q) EXPECT_EQ(gain[q], 1.0f) << q;
    EXPECT_NEAR(gain[1], std::pow(10.0f, -0.5f), 1e-6f);  // half way up from a tenth
    EXPECT_NEAR(gain[38], 1.0f, 1e-6f);
    EXPECT_NEAR(gain[255], std::pow(10.0f, 2.0f * (0.5f - 217.0f * 0.5f / 474.0f - 0.5f)), 1e-6f);
    for (int q = 39; q < 256; ++q) EXPECT_LT(gain[q], gain[q - 1]) << q;
    for (int q = 1; q < 256; ++q) EXPECT_EQ(gain[512 - q], gain[q]) << "mirrored at " << q;

    // All Eq at 0: one tenth on every bin but DC and Nyquist.
    const float low[kEqCount] = {};
    buildBinGain(low, 44100, gain);
    for (int q = 1; q < 256; ++q) EXPECT_FLOAT_EQ(gain[q], 0.1f) << q;
}

TEST(VocoderBands, NarrowSegmentsAtHighRatesAreSkippedAndKeepEarlierValues) {
    // At 192 kHz the bounds are 1, 1, 2, 3, 5, 9: the first two segments are empty.
    float gain[kSpectrumSize];
    std::fill(gain, gain + kSpectrumSize, 7.0f);
    const float eq[kEqCount] = {0.0f, 1.0f, 0.5f, 0.5f, 0.5f, 0.5f};
    buildBinGain(eq, 192000, gain);
    EXPECT_NEAR(gain[1], 10.0f, 1e-5f) << "bin 1 starts the Eq2 to Eq3 segment";
    EXPECT_NEAR(gain[2], 1.0f, 1e-6f);
    for (int q = 1; q < 256; ++q) EXPECT_NE(gain[q], 7.0f) << q;
}
