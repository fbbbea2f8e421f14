// Whatever the settings, sample rate, host block size and MIDI, the instrument's output
// stays finite and bounded.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "robustness/PluginRig.h"

namespace robustness {
namespace {

constexpr float kRates[] = {8000.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f};
constexpr int32_t kBlockSizes[] = {1, 31, 512, 4096};

int64_t framesFor(float rate, float seconds) { return static_cast<int64_t>(rate * seconds) / kAudioDivisor; }

TEST(Sweep, EveryRateAndBlockSizeWithUniformAndRandomSettings) {
    // -1 stands for a fresh random value per parameter.
    const float settings[] = {0.0f, 0.5f, 1.0f, -1.0f, -1.0f};
    float loudest = 0.0f;
    uint32_t seed = 1;
    for (float rate : kRates) {
        PluginRig rig(rate, 1, seed++);
        for (int32_t block : kBlockSizes) {
            rig.setBlockSize(block);
            for (float setting : settings) {
                if (setting < 0.0f)
                    rig.setAllRandom();
                else
                    rig.setAll(setting);
                Peak peak = rig.play(framesFor(rate, 0.12f));
                loudest = std::max(loudest, peak.value);
                EXPECT_TRUE(peak.ok()) << "rate " << rate << " block " << block << " setting " << setting << " peak "
                                       << peak.value << (peak.finite ? "" : " (not finite)");
            }
        }
    }
    // The sweep means something only if the instrument was heard at all.
    EXPECT_GT(loudest, 0.01f);
}

TEST(Sweep, EachParameterAtZeroHalfAndOneAmongRandomOthers) {
    const float values[] = {0.0f, 0.5f, 1.0f};
    std::vector<std::unique_ptr<PluginRig>> rigs;
    for (float rate : kRates) rigs.push_back(std::make_unique<PluginRig>(rate, 1, static_cast<uint32_t>(rate)));
    for (int i = 0; i < kNumAutomatable; ++i) {
        for (int j = 0; j < 3; ++j) {
            // Rates and block sizes rotate so each parameter meets several of them.
            size_t r = static_cast<size_t>(i + j) % std::size(kRates);
            int32_t block = kBlockSizes[static_cast<size_t>(3 * i + j) % std::size(kBlockSizes)];
            PluginRig& rig = *rigs[r];
            rig.setBlockSize(block);
            rig.setAllRandom();
            rig.instrument().setParameter(i, values[j]);
            Peak peak = rig.play(framesFor(kRates[r], 0.08f));
            EXPECT_TRUE(peak.ok()) << "parameter " << i << " at " << values[j] << ", rate " << kRates[r] << " block "
                                   << block << " peak " << peak.value << (peak.finite ? "" : " (not finite)");
        }
    }
}

TEST(Sweep, WithTheEffectsSilentTheOutputStaysWithinTheMasterGain) {
    const char* const levels[] = {"DlyLv", "ChrsLv", "RevLevel"};
    uint32_t seed = 500;
    for (float rate : kRates) {
        PluginRig rig(rate, 1, seed++);
        // The controller map (its defaults; nothing here changes the ini file) would
        // turn the levels up again.
        for (const char* level : levels)
            rig.heldControllers.push_back(kVocoderParams[rig.instrument().findParameterIndex(level)].defaultController);
        for (size_t b = 0; b < std::size(kBlockSizes); ++b) {
            rig.setBlockSize(kBlockSizes[b]);
            for (int round = 0; round < 3; ++round) {
                if (round == 0)
                    rig.setAll(1.0f);
                else
                    rig.setAllRandom();
                for (const char* level : levels)
                    rig.instrument().setParameter(rig.instrument().findParameterIndex(level), 0.0f);
                Peak peak = rig.play(framesFor(rate, 0.08f));
                EXPECT_TRUE(peak.finite) << "rate " << rate << " block " << kBlockSizes[b];
                EXPECT_LE(peak.value, kDryBound) << "rate " << rate << " block " << kBlockSizes[b];
            }
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
