// A host that hands over NaN or infinities, as parameter values or sample rates, never
// gets non-finite output, and the values it reads back stay within 0..1.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "robustness/PluginRig.h"

namespace robustness {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

void expectValuesInRange(VocoderPlugin& plugin, const char* after) {
    for (int i = 0; i < kNumAutomatable; ++i) {
        float value = plugin.getParameter(i);
        EXPECT_TRUE(value >= 0.0f && value <= 1.0f) << "parameter " << i << " reads " << value << " after " << after;
    }
}

TEST(NonFinite, ParameterValuesKeepTheOutputFinite) {
    const float hostile[] = {
        kNaN, -kNaN, kInf, -kInf, std::numeric_limits<float>::max(), std::numeric_limits<float>::denorm_min(), -0.0f};
    for (float rate : {22050.0f, 96000.0f}) {
        PluginRig rig(rate, 512, 3);
        rig.setAll(0.5f);
        for (float value : hostile) {
            rig.setAllRandom();
            for (int i = 0; i < kNumEntries; ++i) rig.instrument().setParameter(i, value);
            expectValuesInRange(rig.instrument(), "a hostile value");
            Peak peak = rig.play(static_cast<int64_t>(rate) / 10 / kAudioDivisor);
            EXPECT_TRUE(peak.ok()) << "every parameter set to " << value << ": peak " << peak.value;
        }
        // One at a time, among ordinary values, so a value that some module ignores
        // cannot hide one that another module turns into NaN.
        for (int i = 0; i < kNumAutomatable; ++i) {
            rig.instrument().setParameter(i, i % 2 ? kNaN : kInf);
            Peak peak = rig.play(512);
            EXPECT_TRUE(peak.ok()) << "parameter " << i << ": peak " << peak.value;
        }
    }
}

TEST(NonFinite, NaNLeavesAParameterAsItWasAndInfinitiesClamp) {
    PluginRig rig(44100.0f, 64, 4);
    rig.instrument().setParameter(0, 0.25f);
    rig.instrument().setParameter(0, kNaN);
    EXPECT_EQ(rig.instrument().getParameter(0), 0.25f);
    rig.instrument().setParameter(0, kInf);
    EXPECT_EQ(rig.instrument().getParameter(0), 1.0f);
    rig.instrument().setParameter(0, -kInf);
    EXPECT_EQ(rig.instrument().getParameter(0), 0.0f);
}

TEST(NonFinite, NonsenseSampleRatesKeepTheOutputFinite) {
    PluginRig rig(44100.0f, 256, 5);
    for (float rate : {kNaN, kInf, -kInf, 0.0f, -44100.0f, 0.5f, 1e30f}) {
        rig.instrument().setSampleRate(rate);
        Peak peak = rig.play(4096 / kAudioDivisor);
        EXPECT_TRUE(peak.ok()) << "rate " << rate << ": peak " << peak.value;
        EXPECT_GT(rig.instrument().integerSampleRate(), 0) << rate;
        EXPECT_GE(rig.instrument().subBlockLimit(), 1) << rate;
    }
}

}  // namespace
}  // namespace robustness
