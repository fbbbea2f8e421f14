// The filter bank against a plain band-by-band rendering of its arithmetic: the fast
// path runs the bands as independent vector lanes and must give the same bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <random>
#include <vector>

#include "vocoder/VocoderFilterBank.h"

using namespace vocoder;

namespace {

// One band after another, follower and envelope pick interleaved, exactly as the
// filter bank is defined.
struct ReferenceBank {
    float x1[3][kBandSlots] = {}, x2[3][kBandSlots] = {}, y1[3][kBandSlots] = {}, y2[3][kBandSlots] = {};
    float envelope[kBandSlots] = {};
    BandDesign design;

    // A band whose coefficients change restarts its recursion.
    void apply(const BandDesign& next) {
        for (int i = 0; i < next.count; ++i) {
            const BandCoefficients &was = design.coefficients[i], &now = next.coefficients[i];
            if (was.b0 != now.b0 || was.b2 != now.b2 || was.a1 != now.a1 || was.a2 != now.a2)
                for (int which = 0; which < 3; ++which) y1[which][i] = y2[which][i] = 0.0f;
            design.coefficients[i] = now;
            design.gain[i] = next.gain[i];
        }
    }

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

// Runs the bank on the given path in sub-blocks of varying length (1 to 600 frames, so
// that groups of frames are cut at every offset and runs go past the bank's span)
// against the reference; lopsided breaks b2 = -b0 in one band. Some sub-blocks carry the
// same carrier on both sides.
void compare(SimdPath path, int count, int shift, bool stereo, int32_t rate, bool lopsided = false) {
    const float eq[kEqCount] = {0.3f, 0.9f, 0.5f, 0.1f, 0.7f, 0.6f};
    ReferenceBank reference;
    reference.design = designBands(count, eq, rate);
    if (lopsided) reference.design.coefficients[count / 2].b2 *= 1.0f - 0x1p-20f;
    VocoderFilterBank bank;
    ASSERT_TRUE(bank.usePath(path));
    bank.apply(reference.design);
    std::mt19937 random(count * 100 + shift);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    const float a = 0.37f;
    const int lengths[] = {1, 2, 3, 5, 7, 96, 88, 4, 31, 256, 600};
    std::vector<float> m(600), l(600), r(600), wantLeft(600), wantRight(600), left(600), right(600);
    int frame = 0;
    for (int block = 0; frame < 6000; ++block) {
        const int frames = lengths[block % 11];
        for (int n = 0; n < frames; ++n) {
            // Noise, with zeros of both signs and inputs repeated two frames later.
            for (float* x : {&m[n], &l[n], &r[n]}) {
                const unsigned kind = random() % 8;
                *x = kind == 0 ? (random() % 2 ? 0.0f : -0.0f) : kind == 1 && n >= 2 ? x[-2] : noise(random);
            }
            // A carrier the same on both sides, from the start (both sides' states stay
            // the same) and again once they differ.
            if (block < 15 || block % 4 == 3) r[n] = l[n];
            reference.run(m[n], l[n], r[n], stereo, count, shift, a, wantLeft[n], wantRight[n]);
        }
        bank.run(m.data(), l.data(), stereo ? r.data() : nullptr, frames, count, shift, a, left.data(), right.data());
        for (int n = 0; n < frames; ++n, ++frame) {
            ASSERT_EQ(left[n], wantLeft[n]) << "frame " << frame << " bands " << count << " shift " << shift;
            if (stereo) {
                ASSERT_EQ(right[n], wantRight[n]) << "frame " << frame;
            }
        }
    }
    for (int i = 0; i < count; ++i) EXPECT_EQ(bank.envelope(i), reference.envelope[i]) << i;
}

// Every instruction-set path this processor can run.
std::vector<SimdPath> paths() {
    std::vector<SimdPath> all;
    for (auto path : {SimdPath::Sse2, SimdPath::Avx2, SimdPath::Avx512})
        if (simdSupported(path)) all.push_back(path);
    return all;
}

}  // namespace

TEST(VocoderFilterBank, EveryPathMatchesThePlainBandByBandArithmeticBitForBit) {
    ASSERT_TRUE(simdSupported(SimdPath::Sse2));
    for (auto path : paths())
        for (int count : {1, 2, 3, 5, 8, 10, 13, 16, 17, 21})
            for (int shift : {-8, -3, 0, 1, 8}) {
                compare(path, count, shift, false, 44100);
                compare(path, count, shift, true, 48000);
            }
}

TEST(VocoderFilterBank, ADesignWithoutOppositeB0AndB2MatchesBitForBitOnEveryPath) {
    for (auto path : paths())
        for (int count : {1, 9, 21}) compare(path, count, 2, true, 44100, true);
}

TEST(VocoderFilterBank, BandsOutsideTheCountKeepTheirStatesOnEveryPath) {
    // 21 bands, then 6 (the last vector's lanes 6 and 7 idle), then 21 again: the
    // reference never touches bands it does not run.
    const float eq[kEqCount] = {0.5f, 0.6f, 0.4f, 0.5f, 0.7f, 0.5f};
    for (auto path : paths()) {
        ReferenceBank reference;
        VocoderFilterBank bank;
        ASSERT_TRUE(bank.usePath(path));
        std::mt19937 random(7);
        std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
        for (int count : {21, 6, 21, 6}) {
            reference.apply(designBands(count, eq, 44100));
            bank.apply(designBands(count, eq, 44100));
            for (int block = 0; block < 20; ++block) {
                float m[13], l[13], r[13], wantLeft, wantRight, left[13], right[13];
                float want[13][2];
                for (int n = 0; n < 13; ++n) {
                    m[n] = noise(random), l[n] = noise(random), r[n] = noise(random);
                    reference.run(m[n], l[n], r[n], true, count, 2, 0.8f, wantLeft, wantRight);
                    want[n][0] = wantLeft, want[n][1] = wantRight;
                }
                bank.run(m, l, r, 13, count, 2, 0.8f, left, right);
                for (int n = 0; n < 13; ++n) {
                    ASSERT_EQ(left[n], want[n][0]) << count << " bands, frame " << n;
                    ASSERT_EQ(right[n], want[n][1]) << count << " bands, frame " << n;
                }
            }
        }
        for (int i = 0; i < 21; ++i) EXPECT_EQ(bank.envelope(i), reference.envelope[i]) << i;
    }
}

TEST(VocoderFilterBank, BandsAboveHalfTheRateStaySilentAndEverythingFinite) {
    // At 8 kHz the top 3 of 21 bands (4222 Hz and up) cannot exist.
    compare(SimdPath::Sse2, 21, 0, true, 8000);
    const float eq[kEqCount] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
    VocoderFilterBank bank;
    bank.apply(designBands(21, eq, 8000));
    std::mt19937 random(3);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    float left = 0.0f, right = 0.0f;
    for (int n = 0; n < 20000; ++n) {
        const float m = noise(random), l = noise(random), r = noise(random);
        bank.run(&m, &l, &r, 1, 21, 0, 0.5f, &left, &right);
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
    float ones[100], sums[100];
    std::fill(std::begin(ones), std::end(ones), 1.0f);
    bank.run(ones, ones, nullptr, 100, 21, 0, 1.0f, sums, nullptr);
    EXPECT_GT(bank.envelope(0), 0.0f);
    bank.clear();
    for (int i = 0; i < kBandSlots; ++i) {
        EXPECT_EQ(bank.envelope(i), 0.0f);
        EXPECT_EQ(bank.gain(i), 1.0f);
    }
    bank.run(ones, ones, nullptr, 1, 21, 0, 1.0f, sums, nullptr);
    EXPECT_EQ(sums[0], 0.0f) << "all coefficients are zero after a clear";
}

TEST(VocoderFilterBank, ADifferenceThatIsNotExactInDoubleStillGivesTheExactTerms) {
    // For an odd 24-bit b0 mantissa m below 4/3, b0 x with x = 1.5 is exactly halfway
    // between two floats. With x2 just below 2^-53 in magnitude, x - x2 rounds to 1.5 in
    // double and b0 times that to the midpoint, whose float is the even one; the exact
    // b0 x - b0 x2 lies more than half a double step (m x2) off it, towards the other.
    const float eq[kEqCount] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
    int32_t rate = 8000, exponent = 0;
    auto mantissa = [&] { return std::ldexp(std::frexp(designBands(1, eq, rate).coefficients[0].b0, &exponent), 24); };
    while (std::fmod(mantissa(), 2.0) != 1.0 || mantissa() >= 0x1p25 / 3) ASSERT_LT(++rate, 96000);
    const double midpoint = static_cast<double>(designBands(1, eq, rate).coefficients[0].b0) * 1.5;
    const float tiny = static_cast<float>(midpoint) > midpoint ? 0x1.fffffep-54f : -0x1.fffffep-54f;
    // The history (tiny, 0); a new design restarts the recursion, whose next two outputs
    // (near 1e-30) then change nothing.
    const float before[] = {tiny, 0.0f}, run[] = {tiny, 0.0f, 1.5f, 0.25f};
    for (auto path : paths()) {
        ReferenceBank reference;
        VocoderFilterBank bank;
        ASSERT_TRUE(bank.usePath(path));
        float want[4][2], left[4], right[4];
        for (const float* in : {before, run}) {
            const int frames = in == before ? 2 : 4;
            reference.apply(designBands(1, eq, rate + 1 - frames / 4));
            bank.apply(designBands(1, eq, rate + 1 - frames / 4));
            for (int n = 0; n < frames; ++n)
                reference.run(in[n], in[n], in[n], true, 1, 0, 1.0f, want[n][0], want[n][1]);
            bank.run(in, in, in, frames, 1, 0, 1.0f, left, right);
        }
        for (int n = 0; n < 4; ++n) EXPECT_EQ(left[n], want[n][0]) << n << " " << simdPathName(path);
    }
}
