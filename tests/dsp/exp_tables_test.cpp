#include <gtest/gtest.h>

#include <cmath>

#include "dsp/ExpTables.h"
#include "dsp/ModuleRack.h"
#include "dsp/RandomGenerator.h"

namespace {

class ExpTablesTest : public ::testing::Test {
protected:
    void SetUp() override { ExpTables::fill(); }
};

TEST_F(ExpTablesTest, IntegerArgumentsAreExact) {
    EXPECT_EQ(fastExp2(0.0f), 1.0f);
    EXPECT_EQ(fastExp2(13.0f), 8192.0f);
    EXPECT_EQ(fastExp10(2.0f), 100.0f);
    EXPECT_EQ(fastExpE(1.0f), static_cast<float>(std::pow(2.0, 0.0) * 2.7182817459106445));
}

TEST_F(ExpTablesTest, FractionsInterpolateWithinFloatRounding) {
    EXPECT_NEAR(fastExp2(3.5f), 11.3137085f, 11.3137085f * 2e-6f);
    EXPECT_NEAR(fastExp10(0.3f), 1.99526231f, 2e-6f * 2.0f);
    EXPECT_NEAR(fastExpE(1.3369f), std::exp(1.3369f), 1e-5f * 4.0f);
    // 2^(10p+3) at pitch 0.5 is 256 Hz.
    EXPECT_EQ(fastExp2(10.0f * 0.5f + 3.0f), 256.0f);
}

TEST_F(ExpTablesTest, OutOfRangeArgumentsStayInsideTheTables) {
    EXPECT_EQ(fastExp2(std::nanf("")), 1.0f);
    EXPECT_EQ(fastExp2(-3.0f), 1.0f);
    EXPECT_TRUE(std::isinf(fastExp2(1000.0f)));
}

TEST(RandomGeneratorTest, FollowsTheLinearCongruentialFormula) {
    RandomGenerator random;
    random.seed(5);
    uint32_t state = 5;
    for (int i = 0; i < 1000; ++i) {
        state = state * 214013u + 2531011u;
        int32_t expected = static_cast<int32_t>((state >> 16) & 0x7FFF);
        ASSERT_EQ(random.next(), expected);
    }
    random.seed(5);
    EXPECT_EQ(random.next(), 54);  // (5 * 214013 + 2531011) >> 16 = 54
}

}  // namespace
