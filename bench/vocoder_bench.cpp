#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>

#include "dsp/FloatingPointGuard.h"
#include "dsp/ModuleContext.h"
#include "dsp/ModuleRack.h"
#include "vocoder/Vocoder.h"
#include "vocoder/VocoderFilterBank.h"
#include "PerFrame.h"

namespace {

// The vocoder alone on a noise carrier with a key held, in sub-blocks of 88 frames (the
// sub-block length at 44.1 kHz), reporting the cost of one stereo sample frame.
void runVocoder(benchmark::State& state, float anaDigi, float carSt) {
    const std::string shm = "/ZorvekCapBench-" + std::to_string(getpid());
    setenv("ZORVEK_CAPTURE_SHM", shm.c_str(), 1);
    ModuleRack rack;
    ModuleContext context;
    Vocoder vocoder(rack, context);
    ParamValue half{0.5f}, one{1.0f}, fileSlot{0.25f}, mix{anaDigi}, stereo{carSt};
    VoiceVector gate;
    gate.v[0] = 1.0f;
    StereoBuffer carrier;
    std::mt19937 random(1);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (float& s : carrier.data) s = noise(random);
    vocoder.gate = &gate;
    vocoder.carrier = &carrier;
    vocoder.followA = vocoder.followD = vocoder.shiftA = vocoder.shiftD = vocoder.mixVoc = &half;
    for (auto& e : vocoder.eq) e = &half;
    vocoder.bands = &one;
    vocoder.modSrc = &fileSlot;
    vocoder.anaDigi = &mix;
    vocoder.carSt = &stereo;
    vocoder.onParameter(0, 0.0f);

    FloatingPointGuard guard;
    constexpr int32_t kBlock = 88;
    int64_t frames = 0;
    for (auto _ : state) {
        vocoder.process(kBlock, 1);
        benchmark::DoNotOptimize(vocoder.output().data[0]);
        frames += kBlock;
    }
    setPerFrame(state, frames);
    shm_unlink(shm.c_str());
}

void BM_Vocoder21BandsStereo(benchmark::State& state) { runVocoder(state, 0.5f, 1.0f); }
void BM_Vocoder21BandsMono(benchmark::State& state) { runVocoder(state, 0.5f, 0.0f); }
void BM_VocoderSpectralOnlyStereo(benchmark::State& state) { runVocoder(state, 0.0f, 1.0f); }

// The filter bank alone, 21 bands on noise in 88-frame runs, on each instruction-set path.
void BM_FilterBank21Bands(benchmark::State& state) {
    const auto path = static_cast<SimdPath>(state.range(0));
    const bool stereo = state.range(1) != 0;
    VocoderFilterBank bank;
    if (!bank.usePath(path)) {
        state.SkipWithError("path not supported");
        return;
    }
    const float eq[vocoder::kEqCount] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
    bank.apply(vocoder::designBands(21, eq, 44100));
    constexpr int32_t kBlock = 88;
    float modulator[kBlock], left[kBlock], right[kBlock], sumLeft[kBlock], sumRight[kBlock];
    std::mt19937 random(2);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (int n = 0; n < kBlock; ++n) modulator[n] = noise(random), left[n] = noise(random), right[n] = noise(random);
    FloatingPointGuard guard;
    int64_t frames = 0;
    for (auto _ : state) {
        bank.run(modulator, left, stereo ? right : nullptr, kBlock, 21, 0, 0.25f, sumLeft, sumRight);
        benchmark::DoNotOptimize(sumLeft[0]);
        frames += kBlock;
    }
    setPerFrame(state, frames);
}

}  // namespace

BENCHMARK(BM_FilterBank21Bands)->ArgsProduct({{0, 1, 2}, {0, 1}})->ArgNames({"path", "stereo"});
BENCHMARK(BM_Vocoder21BandsStereo);
BENCHMARK(BM_Vocoder21BandsMono);
BENCHMARK(BM_VocoderSpectralOnlyStereo);
