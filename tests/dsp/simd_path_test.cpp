#include <gtest/gtest.h>

#include "dsp/SimdPath.h"

namespace {

// A setting may narrow the path, never widen it past what the processor offers.
TEST(SimdPath, SettingNarrowsThePathButNeverWidensIt) {
    const struct {
        const char* setting;
        SimdPath widest;
        SimdPath chosen;
    } cases[] = {
        {nullptr, SimdPath::Avx512, SimdPath::Avx512},  {"", SimdPath::Avx2, SimdPath::Avx2},
        {"sse2", SimdPath::Avx512, SimdPath::Sse2},     {"AVX2", SimdPath::Avx512, SimdPath::Avx2},
        {"avx2", SimdPath::Sse2, SimdPath::Sse2},       {"avx512", SimdPath::Avx2, SimdPath::Avx2},
        {"avx512", SimdPath::Avx512, SimdPath::Avx512}, {"neon", SimdPath::Avx2, SimdPath::Avx2},
        {"avx", SimdPath::Avx512, SimdPath::Avx512},    {"sse2 ", SimdPath::Avx2, SimdPath::Avx2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(chooseSimdPath(c.setting, c.widest), c.chosen)
            << (c.setting ? c.setting : "(none)") << " with " << simdPathName(c.widest);
}

}  // namespace
