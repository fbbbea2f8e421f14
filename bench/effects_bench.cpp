// Cost of the effects chain per stereo frame, with delay, chorus and reverb audible.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "dsp/FloatingPointGuard.h"
#include "dsp/ModuleContext.h"
#include "dsp/ModuleRack.h"
#include "effects/EffectsChain.h"
#include "PerFrame.h"

namespace {

// mode: 0 stereo, 1 mono, 2 stereo with the reverb switched off.
void effectsChain(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    const int32_t frames = static_cast<int32_t>(state.range(1));
    ModuleRack rack;
    ModuleContext context;
    EffectsChain fx(rack, context);
    ParamValue chorusRate{0.5f}, chorusLevel{0.6f}, delayTime{0.6f}, delayFeedback{0.5f}, delayLevel{0.4f},
        reverbTime{0.5f}, reverbLevel{mode == 2 ? 0.0f : 0.5f}, reverbStereo{0.7f},
        carrierStereo{mode == 1 ? 0.0f : 1.0f};
    fx.chorusRate = &chorusRate;
    fx.chorusLevel = &chorusLevel;
    fx.delayTime = &delayTime;
    fx.delayFeedback = &delayFeedback;
    fx.delayLevel = &delayLevel;
    fx.reverbTime = &reverbTime;
    fx.reverbLevel = &reverbLevel;
    fx.reverbStereo = &reverbStereo;
    fx.carrierStereo = &carrierStereo;
    rack.onParameter(0, 0.0f);

    StereoBuffer input;
    uint32_t seed = 1;
    for (float& v : input.data) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
    }
    fx.input = &input;

    FloatingPointGuard guard;
    int32_t block = 0;
    for (auto _ : state) {
        // A control tick every sixth sub-block, as the driver fires it at 44.1 kHz.
        rack.run(frames, block++ % 6 == 0 ? 1 : 0);
        benchmark::DoNotOptimize(fx.output().data[0]);
    }
    setPerFrame(state, state.iterations() * frames);
}

}  // namespace

BENCHMARK(effectsChain)->ArgNames({"mode", "frames"})->Args({0, 88})->Args({0, 256})->Args({1, 88})->Args({2, 88});
