#include "vocoder/RealFft.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "plain_spectral.h"

namespace {

constexpr int N = RealFft::kSize;
constexpr double kPi = 3.14159265358979323846;

// Natural-order samples placed the way the transform expects them: sample n at bitReverse(n).
std::vector<float> scattered(const std::vector<double>& x) {
    std::vector<float> out(N);
    for (int n = 0; n < N; ++n) out[RealFft::bitReverse(n)] = static_cast<float>(x[n]);
    return out;
}

// Plain O(n^2) transform with the e^(+i...) kernel, in double, written into the packed layout.
std::vector<double> referenceForward(const std::vector<double>& x) {
    std::vector<double> packed(N);
    for (int k = 0; k <= N / 2; ++k) {
        double re = 0.0, im = 0.0;
        for (int n = 0; n < N; ++n) {
            const double a = 2.0 * kPi * k * n / N;
            re += x[n] * std::cos(a);
            im += x[n] * std::sin(a);
        }
        packed[k] = re;
        if (k > 0 && k < N / 2) packed[N - k] = im;
    }
    return packed;
}

// Time signal whose forward transform is the packed spectrum, times 256.
std::vector<double> referenceInverse(const std::vector<double>& packed) {
    std::vector<double> x(N);
    for (int n = 0; n < N; ++n) {
        double sum = packed[0] + packed[N / 2] * ((n % 2) ? -1.0 : 1.0);
        for (int k = 1; k < N / 2; ++k) {
            const double a = 2.0 * kPi * k * n / N;
            sum += 2.0 * (packed[k] * std::cos(a) + packed[N - k] * std::sin(a));
        }
        x[n] = sum * 256.0 / N;
    }
    return x;
}

std::vector<double> randomValues(unsigned seed, double range) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> dist(-range, range);
    std::vector<double> v(N);
    for (double& s : v) s = dist(rng);
    return v;
}

// Worst-case rounding of a radix-2 float transform: every output is a sum whose terms
// are bounded by sum |input|, and each of the 9 levels (8 complex stages and the
// even/odd merge) adds a few float roundings of that size (butterfly add, twiddle
// product, twiddle table entry).
double roundingBound(const std::vector<double>& values) {
    double sum = 0.0;
    for (double v : values) sum += std::fabs(v);
    return 9 * 4 * FLT_EPSILON * sum;
}

TEST(RealFft, BitReverseIsTheNineBitReversal) {
    EXPECT_EQ(RealFft::bitReverse(0), 0);
    EXPECT_EQ(RealFft::bitReverse(1), 256);
    EXPECT_EQ(RealFft::bitReverse(2), 128);
    EXPECT_EQ(RealFft::bitReverse(3), 384);
    EXPECT_EQ(RealFft::bitReverse(511), 511);
    std::vector<int> seen(N, 0);
    for (int i = 0; i < N; ++i) {
        EXPECT_EQ(RealFft::bitReverse(RealFft::bitReverse(i)), i);
        ++seen[RealFft::bitReverse(i)];
    }
    for (int i = 0; i < N; ++i) EXPECT_EQ(seen[i], 1) << i;
}

TEST(RealFft, SineOfBinFiveLandsInItsImaginaryPlace) {
    std::vector<double> x(N);
    for (int n = 0; n < N; ++n) x[n] = std::sin(2.0 * kPi * 5 * n / N);
    std::vector<float> buf = scattered(x);
    RealFft fft;
    fft.forward(buf.data());
    EXPECT_NEAR(buf[507], 256.0f, 256.0f * 16 * FLT_EPSILON);
    for (int i = 0; i < N; ++i) {
        if (i == 507) continue;
        EXPECT_NEAR(buf[i], 0.0f, 1e-4f) << "index " << i;
    }
}

TEST(RealFft, ForwardMatchesPlainTransformForRandomInput) {
    RealFft fft;
    for (unsigned seed = 1; seed <= 8; ++seed) {
        const std::vector<double> x = randomValues(seed, 1.0);
        const std::vector<double> expected = referenceForward(x);
        // One float past an aligned start: the transform must not assume alignment.
        std::vector<float> storage(N + 1);
        const std::vector<float> input = scattered(x);
        std::copy(input.begin(), input.end(), storage.begin() + 1);
        fft.forward(storage.data() + 1);
        const double tolerance = roundingBound(x);
        for (int i = 0; i < N; ++i)
            ASSERT_NEAR(storage[i + 1], expected[i], tolerance) << "seed " << seed << " index " << i;
    }
}

TEST(RealFft, InverseMatchesPlainTransformForRandomSpectrum) {
    RealFft fft;
    for (unsigned seed = 11; seed <= 18; ++seed) {
        const std::vector<double> spectrum = randomValues(seed, 10.0);
        const std::vector<double> expected = referenceInverse(spectrum);
        std::vector<float> buf(spectrum.begin(), spectrum.end());
        fft.inverse(buf.data());
        const double tolerance = roundingBound(spectrum);
        for (int n = 0; n < N; ++n)
            ASSERT_NEAR(buf[RealFft::bitReverse(n)], expected[n], tolerance) << "seed " << seed << " n " << n;
    }
}

TEST(RealFft, ForwardThenInverseGives256TimesTheInput) {
    RealFft fft;
    const std::vector<double> x = randomValues(99, 1.0);
    std::vector<float> buf = scattered(x);
    const std::vector<float> input = buf;
    fft.forward(buf.data());
    fft.inverse(buf.data());
    // 18 levels of rounding on values of size up to 256 x max |x| = 256.
    const double tolerance = 2 * 9 * 4 * FLT_EPSILON * 256.0;
    for (int i = 0; i < N; ++i) ASSERT_NEAR(buf[i], 256.0 * input[i], tolerance) << i;
}

// Inputs of very different kinds: noise at three scales, sparse impulses, signed zeros.
std::vector<std::vector<float>> exactnessInputs() {
    std::vector<std::vector<float>> inputs;
    std::mt19937 rng(2024);
    for (float scale : {1e-3f, 1.0f, 3e4f}) {
        for (int repeat = 0; repeat < 4; ++repeat) {
            std::uniform_real_distribution<float> dist(-scale, scale);
            std::vector<float> v(N);
            for (float& s : v) s = dist(rng);
            inputs.push_back(v);
        }
    }
    std::vector<float> sparse(N, 0.0f);
    for (int i = 0; i < N; i += 37) sparse[i] = (i % 2) ? -1.0f : 2.5f;
    inputs.push_back(sparse);
    std::vector<float> zeros(N);
    for (int i = 0; i < N; ++i) zeros[i] = (i % 3) ? 0.0f : -0.0f;
    inputs.push_back(zeros);
    // One odd sample: bin 128 of the even samples' spectrum is exactly zero, so the two
    // values its separation stores in one place differ (by the rounding of cos(pi / 2)).
    std::vector<float> odd(N, 0.0f);
    odd[256] = -1.0f;
    inputs.push_back(odd);
    return inputs;
}

::testing::AssertionResult sameBits(const std::vector<float>& actual, const std::vector<float>& expected) {
    if (std::memcmp(actual.data(), expected.data(), actual.size() * sizeof(float)) == 0)
        return ::testing::AssertionSuccess();
    for (size_t i = 0; i < actual.size(); ++i)
        if (std::memcmp(&actual[i], &expected[i], sizeof(float)) != 0)
            return ::testing::AssertionFailure() << "index " << i << ": " << actual[i] << " instead of " << expected[i];
    return ::testing::AssertionFailure();
}

TEST(RealFft, EveryTransformGivesTheBitsOfThePlainScalarForm) {
    const PlainRealFft plain;
    // Gains for shape: 0 and 1 exactly, some large; then only bin 128 passed (which pairs
    // with itself in the separation), or made NaN.
    std::vector<float> gains(N / 2);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> gain(0.0f, 2.0f);
    for (float& g : gains) g = gain(rng);
    gains[3] = 0.0f, gains[4] = 1.0f, gains[200] = 1e30f;
    std::vector<float> onlyMiddle(N / 2, 0.0f), nanAtMiddle = gains;
    onlyMiddle[128] = 1.0f;
    nanAtMiddle[128] = std::numeric_limits<float>::quiet_NaN();
    for (SimdPath path : {SimdPath::Sse2, SimdPath::Avx2, SimdPath::Avx512}) {
        RealFft fft;
        if (!fft.usePath(path)) continue;
        int input = 0;
        for (const std::vector<float>& x : exactnessInputs()) {
            std::vector<float> expected = x, actual = x;
            plain.forward(expected.data());
            fft.forward(actual.data());
            ASSERT_TRUE(sameBits(actual, expected)) << static_cast<int>(path) << " forward, input " << input;
            plain.inverse(expected.data());
            fft.inverse(actual.data());
            ASSERT_TRUE(sameBits(actual, expected))
                << static_cast<int>(path) << " forward then inverse, input " << input;
            expected = x, actual = x;
            plain.inverse(expected.data());
            fft.inverse(actual.data());
            ASSERT_TRUE(sameBits(actual, expected)) << static_cast<int>(path) << " inverse, input " << input;
            for (const std::vector<float>* g : {&gains, &onlyMiddle, &nanAtMiddle}) {
                expected = x, actual = x;
                plain.forward(expected.data());
                expected[0] = expected[N / 2] = 0.0f;
                for (int k = 1; k < N / 2; ++k) expected[k] *= (*g)[k], expected[N - k] *= (*g)[k];
                plain.inverse(expected.data());
                fft.shape(actual.data(), g->data());
                ASSERT_TRUE(sameBits(actual, expected)) << static_cast<int>(path) << " shape, input " << input;
            }
            ++input;
        }
    }
}

}  // namespace
