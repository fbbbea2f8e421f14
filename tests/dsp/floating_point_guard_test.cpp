#include <gtest/gtest.h>

#include <cfloat>

#include "dsp/FloatingPointGuard.h"

namespace {

// A product below the smallest normal float: denormal without the guard, 0 inside it.
float tinyProduct() {
    volatile float a = FLT_MIN, b = 0.25f;
    return a * b;
}

TEST(FloatingPointGuard, FlushesDenormalResultsOnlyWhileItLives) {
    const uint64_t before = FloatingPointGuard::controlState();
    EXPECT_EQ(tinyProduct(), FLT_MIN * 0.25f);
    {
        FloatingPointGuard guard;
        EXPECT_EQ(tinyProduct(), 0.0f);
    }
    EXPECT_EQ(FloatingPointGuard::controlState(), before);
    EXPECT_GT(tinyProduct(), 0.0f);
}

}  // namespace
