// Whatever the settings, sample rate, host block size and MIDI, the instrument's output
// stays finite and bounded.
#include <gtest/gtest.h>

#include "robustness/PluginRig.h"

namespace robustness {
namespace {

constexpr float kRates[] = {8000.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f};
constexpr int32_t kBlockSizes[] = {1, 31, 512, 4096};

int64_t framesFor(float rate, float seconds) {
    return static_cast<int64_t>(rate * seconds) / kAudioDivisor;
}

TEST(Sweep, EveryRateAndBlockSizeWithUniformAndRandomSettings) {
    // -1 stands for a fresh random value per parameter.
    const float settings[] = {0.0f, 0.5f, 1.0f, -1.0f, -1.0f};
    uint32_t seed = 1;
    float loudest = 0.0f;
    for (float rate : kRates) {
        for (int32_t block : kBlockSizes) {
            for (float setting : settings) {
                PluginRig rig(rate, block, seed++);
                if (setting < 0.0f)
                    rig.setAllRandom();
                else
                    rig.setAll(setting);
                Peak peak = rig.play(framesFor(rate, 0.12f));
                loudest = std::max(loudest, peak.value);
                EXPECT_TRUE(peak.ok()) << "rate " << rate << " block " << block << " setting " << setting
                                       << " seed " << seed - 1 << " peak " << peak.value
                                       << (peak.finite ? "" : " (not finite)");
            }
        }
    }
    // The sweep means something only if the instrument was heard at all.
    EXPECT_GT(loudest, 0.01f);
}

TEST(Sweep, EachParameterAtZeroHalfAndOneAmongRandomOthers) {
    const float values[] = {0.0f, 0.5f, 1.0f};
    for (int i = 0; i < kNumAutomatable; ++i) {
        for (int j = 0; j < 3; ++j) {
            // Rates and block sizes rotate so each parameter meets several of them.
            float rate = kRates[static_cast<size_t>(i + j) % std::size(kRates)];
            int32_t block = kBlockSizes[static_cast<size_t>(3 * i + j) % std::size(kBlockSizes)];
            uint32_t seed = static_cast<uint32_t>(1000 + 3 * i + j);
            PluginRig rig(rate, block, seed);
            rig.setAllRandom();
            rig.instrument().setParameter(i, values[j]);
            Peak peak = rig.play(framesFor(rate, 0.08f));
            EXPECT_TRUE(peak.ok()) << "parameter " << i << " at " << values[j] << ", rate " << rate << " block "
                                   << block << " seed " << seed << " peak " << peak.value
                                   << (peak.finite ? "" : " (not finite)");
        }
    }
}

TEST(Sweep, SettingsAndProgramsChangingWhileNotesPlay) {
    for (float rate : {8000.0f, 44100.0f, 192000.0f}) {
        PluginRig rig(rate, 31, 77);
        Peak worst;
        for (int round = 0; round < 200 / kAudioDivisor; ++round) {
            if (round % 25 == 0) rig.instrument().setProgram(round / 25 % PluginBase::kNumPrograms);
            for (int n = 0; n < 6; ++n) {
                int index = static_cast<int>(rig.randomValue() * kNumAutomatable) % kNumAutomatable;
                float value = rig.randomValue() < 0.3f ? std::round(rig.randomValue()) : rig.randomValue();
                rig.instrument().setParameter(index, value);
            }
            Peak peak = rig.play(static_cast<int64_t>(rate) / 400);
            worst.finite = worst.finite && peak.finite;
            worst.value = std::max(worst.value, peak.value);
        }
        EXPECT_TRUE(worst.ok()) << "rate " << rate << " peak " << worst.value << (worst.finite ? "" : " (not finite)");
    }
}

}  // namespace
}  // namespace robustness
