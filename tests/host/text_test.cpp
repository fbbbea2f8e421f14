#include <gtest/gtest.h>

#include <cstring>

#include "host/AudioEffectX.h"

namespace {

std::string text(float value) {
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    float2string(value, buffer);
    return buffer;
}

TEST(Float2String, TruncatesFractionToEightCharacters) {
    EXPECT_EQ(text(0.5f), "0.500000");
    EXPECT_EQ(text(0.7f), "0.699999");  // the nearest float lies below 0.7
    EXPECT_EQ(text(1.0f), "1.000000");
    EXPECT_EQ(text(0.8f), "0.800000");
    EXPECT_EQ(text(0.0f), "0.000000");
    EXPECT_EQ(text(-0.25f), "-0.25000");
    EXPECT_EQ(text(123.5f), "123.5000");
}

TEST(CopyString, AlwaysTerminatesAndCuts) {
    char buffer[4] = {'a', 'b', 'c', 'd'};
    copyString(buffer, "longer", sizeof buffer);
    EXPECT_STREQ(buffer, "lon");
    copyString(buffer, nullptr, sizeof buffer);
    EXPECT_STREQ(buffer, "");
}

}  // namespace
