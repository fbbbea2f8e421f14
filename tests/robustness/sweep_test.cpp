// Whatever the settings, sample rate, host block size, MIDI and automation (between
// blocks, at every frame, through controllers inside blocks), the instrument's output
// stays finite and bounded.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "robustness/PluginRig.h"

namespace robustness {
namespace {

constexpr float kAllRates[] = {8000.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f};
constexpr int32_t kAllBlocks[] = {1, 31, 512, 4096};
const char* const kEffectLevels[] = {"DlyLv", "ChrsLv", "RevLevel"};

// Stretch s of a case runs at rates[s % rates] in blocks of blocks[(s / rates) % blocks],
// so consecutive stretches meet every pair of rate and block size.
struct SweepCase {
    const char* name;
    std::vector<float> rates;
    std::vector<int32_t> blocks;
    int stretches;
    float seconds;  // of audio per stretch
    // The settings of stretch s, before it plays.
    void (*settle)(PluginRig&, int s);
    // Automation inside the stretch; null for none.
    void (*automate)(PluginRig&, int64_t start, std::vector<VstMidiEvent>& events);
    float bound = kOutputBound;
    bool effectsSilent = false;
};
// The case's name in test listings, instead of its bytes.
void PrintTo(const SweepCase& c, std::ostream* out) { *out << c.name; }

void settleUniformOrRandom(PluginRig& rig, int s) {
    // Every rate and block size meets settings 0, 0.5, 1 and twice fresh random values.
    const float settings[] = {0.0f, 0.5f, 1.0f, -1.0f, -1.0f};
    const float setting = settings[s / 24 % 5];
    if (setting < 0.0f)
        rig.setAllRandom();
    else
        rig.setAll(setting);
}

void settleOneExtremeAmongRandom(PluginRig& rig, int s) {
    const float values[] = {0.0f, 0.5f, 1.0f};
    rig.setAllRandom();
    rig.instrument().setParameter(s / 3 % kNumAutomatable, values[s % 3]);
}

void settleLoudThenRandom(PluginRig& rig, int s) {
    if (s < 24)
        rig.setAll(1.0f);
    else
        rig.setAllRandom();
}

void settleProgramsAndSomeParameters(PluginRig& rig, int s) {
    const int round = s / 3;
    if (round % 25 == 0) rig.instrument().setProgram(round / 25 % PluginBase::kNumPrograms);
    for (int n = 0; n < 6; ++n) {
        int index = static_cast<int>(rig.randomValue() * kNumAutomatable) % kNumAutomatable;
        float value = rig.randomValue() < 0.3f ? std::round(rig.randomValue()) : rig.randomValue();
        rig.instrument().setParameter(index, value);
    }
}

void settleRandom(PluginRig& rig, int) { rig.setAllRandom(); }

// A triangle from 0 to 1 and back; each parameter at its own speed.
float smooth(int parameter, int64_t frame) {
    const double period = 40.0 + 977.0 * parameter;
    const double phase = std::fmod(static_cast<double>(frame) / period, 1.0);
    return static_cast<float>(phase < 0.5 ? 2.0 * phase : 2.0 - 2.0 * phase);
}

// Every automatable parameter moved before every frame of one-frame blocks: fresh random
// values in half of the stretches, smooth sweeps in the other half.
void everyParameterEveryFrame(PluginRig& rig, int64_t start, std::vector<VstMidiEvent>&) {
    const bool jumps = start / 8192 % 2 == 0;
    for (int i = 0; i < kNumAutomatable; ++i)
        rig.instrument().setParameter(i, jumps ? rig.randomValue() : smooth(i, start));
}

int bandsIndex(PluginRig& rig) {
    static const int index = rig.instrument().findParameterIndex("Bands");
    return index;
}

// Bands alone: random values before every one-frame block, a smooth sweep before every
// four-frame block.
void bandsEveryBlock(PluginRig& rig, int64_t start, std::vector<VstMidiEvent>&) {
    rig.instrument().setParameter(bandsIndex(rig), rig.blockSize() == 1 ? rig.randomValue() : smooth(7, start));
}

// Every 16 frames inside the block a controller of the default map with a random value:
// half of them Bands' controller, the rest any mapped one.
void controllersInsideBlocks(PluginRig& rig, int64_t, std::vector<VstMidiEvent>& events) {
    static std::vector<int> mapped = [] {
        std::vector<int> all;
        for (int i = 0; i < kNumAutomatable; ++i)
            if (kVocoderParams[i].defaultController) all.push_back(kVocoderParams[i].defaultController);
        return all;
    }();
    const int bands = kVocoderParams[bandsIndex(rig)].defaultController;
    for (int32_t frame = 0; frame < rig.blockSize(); frame += 16) {
        const uint32_t pick = rig.randomNumber();
        const int controller = pick % 2 ? bands : mapped[(pick >> 1) % mapped.size()];
        events.push_back(EventList::midi(0xB0, controller, static_cast<int>(rig.randomNumber() % 128), frame));
    }
}

const SweepCase kCases[] = {
    {"UniformAndRandomSettings",
     {std::begin(kAllRates), std::end(kAllRates)},
     {std::begin(kAllBlocks), std::end(kAllBlocks)},
     120,
     0.12f,
     settleUniformOrRandom,
     nullptr},
    {"EachParameterAtZeroHalfAndOneAmongRandomOthers",
     {std::begin(kAllRates), std::end(kAllRates)},
     {std::begin(kAllBlocks), std::end(kAllBlocks)},
     3 * kNumAutomatable,
     0.08f,
     settleOneExtremeAmongRandom,
     nullptr},
    // With the delay, chorus and reverb levels at 0 (and their controllers left alone) the
    // output stays within the master gain.
    {"EffectsSilent",
     {std::begin(kAllRates), std::end(kAllRates)},
     {std::begin(kAllBlocks), std::end(kAllBlocks)},
     72,
     0.08f,
     settleLoudThenRandom,
     nullptr,
     kDryBound,
     true},
    {"ProgramsAndSettingsWhileNotesPlay",
     {8000.0f, 44100.0f, 192000.0f},
     {31},
     600,
     0.0025f,
     settleProgramsAndSomeParameters,
     nullptr},
    {"EveryParameterAtEveryFrame", {8000.0f, 11025.0f}, {1}, 30, 1.0f, settleRandom, everyParameterEveryFrame},
    {"BandsAtEveryFrameOrEveryFourFrames",
     {8000.0f, 22050.0f, 44100.0f},
     {1, 4},
     30,
     1.0f,
     settleRandom,
     bandsEveryBlock},
    {"ControllersEverySixteenFramesInsideBlocks",
     {44100.0f, 48000.0f},
     {128, 64, 200},
     30,
     1.0f,
     settleRandom,
     controllersInsideBlocks},
};

class Sweep : public testing::TestWithParam<SweepCase> {};

TEST_P(Sweep, OutputStaysFiniteAndBounded) {
    const SweepCase& c = GetParam();
    std::map<float, std::unique_ptr<PluginRig>> rigs;
    float loudest = 0.0f;
    for (int s = 0; s < c.stretches; ++s) {
        const size_t r = static_cast<size_t>(s) % c.rates.size();
        const float rate = c.rates[r];
        std::unique_ptr<PluginRig>& rig = rigs[rate];
        if (!rig) {
            rig = std::make_unique<PluginRig>(rate, 1, static_cast<uint32_t>(rate) + static_cast<uint32_t>(s));
            // The controller map's defaults would turn the silent effects up again.
            if (c.effectsSilent)
                for (const char* level : kEffectLevels)
                    rig->heldControllers.push_back(
                        kVocoderParams[rig->instrument().findParameterIndex(level)].defaultController);
        }
        const int32_t block = c.blocks[static_cast<size_t>(s) / c.rates.size() % c.blocks.size()];
        rig->setBlockSize(block);
        c.settle(*rig, s);
        if (c.effectsSilent)
            for (const char* level : kEffectLevels)
                rig->instrument().setParameter(rig->instrument().findParameterIndex(level), 0.0f);
        Peak peak = rig->play(static_cast<int64_t>(rate * c.seconds) / kAudioDivisor,
                              c.automate ? PluginRig::BlockHook(c.automate) : PluginRig::BlockHook());
        loudest = std::max(loudest, peak.value);
        ASSERT_TRUE(peak.finite) << "stretch " << s << " rate " << rate << " block " << block;
        EXPECT_LE(peak.value, c.bound) << "stretch " << s << " rate " << rate << " block " << block;
    }
    // The sweep means something only if the instrument was heard at all.
    EXPECT_GT(loudest, 0.01f);
}

INSTANTIATE_TEST_SUITE_P(Automation, Sweep, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<SweepCase>& info) { return info.param.name; });

}  // namespace
}  // namespace robustness
