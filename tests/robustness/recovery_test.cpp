// A NaN or infinity that reaches a module's recursive state through its input is cleared
// there: one sub-block after the input is finite again, so is the output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
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
            const float s = poison != 0.0f ? poison : 0.5f * std::sin(0.05f * static_cast<float>(block * kMaxFrames + n));
            for (int v = 0; v < kVoices; ++v) voices.data[n * kVoices + v] = s;
            stereo.data[2 * n] = stereo.data[2 * n + 1] = s;
        }
        for (float& value : vector.v) value = poison != 0.0f ? poison : block / 10 % 2 == 0 ? 0.6f : 0.0f;
        half.store(poison != 0.0f ? poison : 0.5f);
        one.store(poison != 0.0f ? poison : 1.0f);
    }
};

// A module bound to the inputs, and where its output is.
struct Probe {
    std::unique_ptr<DspModule> module;
    const float* output;
    size_t count;  // floats per sub-block
};

struct RecoveryCase {
    const char* name;
    std::function<Probe(ModuleRack&, ModuleContext&, Inputs&)> build;
    // The output follows the moving input again (a state that clamps its output stays
    // finite while stuck).
    bool moves = true;
};

const RecoveryCase kCases[] = {
    {"EnvelopeGate",
     [](ModuleRack& rack, ModuleContext& context, Inputs& in) {
         auto m = std::make_unique<Envelope>(rack, context);
         m->gate = &in.vector;
         m->attackParam = m->releaseParam = &in.half;
         const float* out = m->output().v;
         return Probe{std::move(m), out, kVoices};
     },
     false},
    {"LadderFilterSignal",
     [](ModuleRack& rack, ModuleContext& context, Inputs& in) {
         auto m = std::make_unique<LadderFilter>(rack, context);
         m->signal = &in.voices;
         m->pitch = &in.vector;
         m->cutoffParam = &in.half;
         m->resoParam = &in.half;
         const float* out = m->output().data;
         return Probe{std::move(m), out, kSubBlock * kVoices};
     }},
    // Both vocoder paths audible, so the filter bank and the spectral path take the NaN.
    {"VocoderCarrier",
     [](ModuleRack& rack, ModuleContext& context, Inputs& in) {
         auto m = std::make_unique<Vocoder>(rack, context);
         m->carrier = &in.stereo;
         m->gate = &in.vector;
         m->bands = m->anaDigi = m->followA = m->followD = &in.half;
         m->mixVoc = m->carSt = &in.one;
         m->onParameter(0, 0.0f);
         const float* out = m->output().data;
         return Probe{std::move(m), out, 2 * kSubBlock};
     }},
    {"EffectsChainInput",
     [](ModuleRack& rack, ModuleContext& context, Inputs& in) {
         auto m = std::make_unique<EffectsChain>(rack, context);
         m->input = &in.stereo;
         m->delayLevel = m->delayFeedback = m->chorusLevel = m->reverbLevel = m->reverbTime = &in.half;
         m->onParameter(0, 0.0f);
         const float* out = m->output().data;
         return Probe{std::move(m), out, 2 * kSubBlock};
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
            for (size_t i = 0; i < probe.count; ++i)
                if (!std::isfinite(probe.output[i])) return false;
            return true;
        };
        int32_t block = 0;
        auto run = [&](float poison) {
            in->fill(block, poison);
            rack.onParameter(0, 0.0f);
            rack.run(kSubBlock, 1);
        };
        for (; block < 40; ++block) {
            run(0.0f);
            ASSERT_TRUE(finite()) << "before the poison, sub-block " << block;
        }
        run(poison);
        ++block;
        // The spectral path and the effects' lines hold it for far longer than this if
        // nothing clears it.
        for (int after = 1; after < 60; ++after, ++block) {
            run(0.0f);
            ASSERT_TRUE(finite()) << poison << ": sub-block " << after << " after the poison";
        }
        if (GetParam().moves)
            EXPECT_NE(*std::min_element(probe.output, probe.output + probe.count),
                      *std::max_element(probe.output, probe.output + probe.count))
                << poison << ": the output is stuck";
    }
}

INSTANTIATE_TEST_SUITE_P(Modules, Recovery, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<RecoveryCase>& info) { return info.param.name; });

}  // namespace
