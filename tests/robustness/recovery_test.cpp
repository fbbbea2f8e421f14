// A NaN or infinity that reaches a module's recursive state through its input is cleared
// there: one sub-block after the input is finite again, so is the output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "dsp/ExpTables.h"
#include "dsp/ModuleContext.h"
#include "dsp/ModuleRack.h"
#include "effects/EffectsChain.h"
#include "synth/Envelope.h"
#include "synth/LadderFilter.h"
#include "vocoder/Vocoder.h"

namespace {

constexpr int32_t kSubBlock = 64;

// Inputs of every shape, a finite signal or the poison everywhere, parameters included.
// Keys go down for ten sub-blocks and up for ten.
struct Inputs {
    VoiceBuffer voices;
    StereoBuffer stereo;
    VoiceVector vector;
    ParamValue half{0.5f}, one{1.0f};
    int32_t active[kVoices] = {1, 1, 1, 1, 1, 1, 1, 1};

    void fill(int32_t block, float poison) {
        for (int32_t n = 0; n < kMaxFrames; ++n) {
            const float s =
                poison != 0.0f ? poison : 0.5f * std::sin(0.05f * static_cast<float>(block * kMaxFrames + n));
            for (int v = 0; v < kVoices; ++v) voices.data[n * kVoices + v] = s;
            stereo.data[2 * n] = stereo.data[2 * n + 1] = s;
        }
        for (float& value : vector.v) value = poison != 0.0f ? poison : block / 10 % 2 == 0 ? 0.6f : 0.0f;
        half.store(poison != 0.0f ? poison : 0.5f);
        one.store(poison != 0.0f ? poison : 1.0f);
    }
};

// A module bound to the inputs: where its output is, how many floats per sub-block, and
// whether it follows the moving input again (a state that clamps its output stays
// finite while stuck).
struct Probe {
    std::unique_ptr<DspModule> module;
    const float* output;
    size_t count;
    bool moves = true;
};

template <class M>
Probe probe(std::unique_ptr<M>&& m, const float* output, size_t count, bool moves = true) {
    m->onParameter(0, 0.0f);
    return {std::move(m), output, count, moves};
}

struct RecoveryCase {
    const char* name;
    Probe (*build)(ModuleRack&, ModuleContext&, Inputs&);
};
// The case's name in test listings, instead of its bytes.
void PrintTo(const RecoveryCase& c, std::ostream* out) { *out << c.name; }

const RecoveryCase kCases[] = {
    {"EnvelopeGate",
     [](ModuleRack& rack, ModuleContext& context, Inputs& in) {
         auto m = std::make_unique<Envelope>(rack, context);
         m->gate = &in.vector;
         m->attackParam = m->releaseParam = &in.half;
         return probe(std::move(m), m->output().v, kVoices, false);
     }},
    {"LadderFilterSignal",
     [](ModuleRack& rack, ModuleContext& context, Inputs& in) {
         auto m = std::make_unique<LadderFilter>(rack, context);
         m->signal = &in.voices;
         m->pitch = &in.vector;
         m->cutoffParam = m->resoParam = &in.half;
         return probe(std::move(m), m->output().data, kSubBlock * kVoices);
     }},
    // Both vocoder paths audible, so the filter bank and the spectral path take the NaN.
    {"VocoderCarrier",
     [](ModuleRack& rack, ModuleContext& context, Inputs& in) {
         auto m = std::make_unique<Vocoder>(rack, context);
         m->carrier = &in.stereo;
         m->gate = &in.vector;
         m->bands = m->anaDigi = m->followA = m->followD = &in.half;
         m->mixVoc = m->carSt = &in.one;
         return probe(std::move(m), m->output().data, 2 * kSubBlock);
     }},
    {"EffectsChainInput",
     [](ModuleRack& rack, ModuleContext& context, Inputs& in) {
         auto m = std::make_unique<EffectsChain>(rack, context);
         m->input = &in.stereo;
         m->delayLevel = m->delayFeedback = m->chorusLevel = m->reverbLevel = m->reverbTime = &in.half;
         return probe(std::move(m), m->output().data, 2 * kSubBlock);
     }},
};

class Recovery : public testing::TestWithParam<RecoveryCase> {};

TEST_P(Recovery, OutputIsFiniteOneSubBlockAfterTheInputIs) {
    ExpTables::fill();
    for (float poison : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        ModuleRack rack;
        ModuleContext context;
        auto in = std::make_unique<Inputs>();
        context.voiceActive = in->active;
        Probe probe = GetParam().build(rack, context, *in);
        auto finite = [&] {
            return std::all_of(probe.output, probe.output + probe.count, [](float x) { return std::isfinite(x); });
        };
        // 40 sub-blocks of signal, one of poison, then signal again: the spectral path and
        // the effects' lines would hold the poison far longer than this if nothing cleared it.
        for (int32_t block = 0; block < 100; ++block) {
            in->fill(block, block == 40 ? poison : 0.0f);
            rack.onParameter(0, 0.0f);
            rack.run(kSubBlock, 1);
            ASSERT_TRUE(block == 40 || finite()) << poison << ": sub-block " << block;
        }
        const auto [low, high] = std::minmax_element(probe.output, probe.output + probe.count);
        EXPECT_TRUE(!probe.moves || *low != *high) << poison << ": the output is stuck";
    }
}

INSTANTIATE_TEST_SUITE_P(Modules, Recovery, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<RecoveryCase>& info) { return info.param.name; });

}  // namespace
