#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>

#include "vocoder/RealFft.h"
#include "vocoder/VocoderSpectral.h"
#include "PerFrame.h"

// One frame of the spectral vocoder's carrier path: forward and inverse transform of
// 512 samples, on the instruction set given as argument (0 SSE2, 1 AVX2, 2 AVX-512).
// The 1/256 rescale keeps the data from growing across iterations.
static void BM_RealFftForwardInverse(benchmark::State& state) {
    RealFft fft;
    if (!fft.usePath(static_cast<SimdPath>(state.range(0)))) {
        state.SkipWithError("instruction set not available");
        return;
    }
    alignas(64) float frame[RealFft::kSize];
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    for (float& s : frame) s = dist(rng);
    for (auto _ : state) {
        fft.forward(frame);
        fft.inverse(frame);
        for (float& s : frame) s *= 1.0f / 256.0f;
        benchmark::DoNotOptimize(frame);
    }
    state.SetLabel("ns per forward+inverse (+512 multiplies)");
}
BENCHMARK(BM_RealFftForwardInverse)->Arg(0)->Arg(1)->Arg(2);

// The spectral path alone in stereo on noise, in sub-blocks of 88 frames (the sub-block
// length at 44.1 kHz), on the instruction set given as first argument; the cost of one
// stereo sample frame. With twins 1 the right carrier is the left one (the synthesizer's
// carrier), which the path shapes once.
static void BM_SpectralPathStereo(benchmark::State& state) {
    auto spectral = std::make_unique<VocoderSpectral>();
    if (!spectral->usePath(static_cast<SimdPath>(state.range(0)))) {
        state.SkipWithError("instruction set not available");
        return;
    }
    constexpr int32_t kBlock = 88;
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
    float modulator[kBlock], left[kBlock], right[kBlock], ringLeft[kBlock], ringRight[kBlock];
    for (int32_t n = 0; n < kBlock; ++n) modulator[n] = dist(rng), left[n] = dist(rng), right[n] = dist(rng);
    if (state.range(1) != 0) std::copy(left, left + kBlock, right);
    const VocoderSpectral::Settings settings{0, 0, 0.25f, true};
    int64_t frames = 0;
    for (auto _ : state) {
        spectral->run(modulator, left, right, kBlock, settings, ringLeft, ringRight);
        benchmark::DoNotOptimize(ringLeft);
        benchmark::DoNotOptimize(ringRight);
        frames += kBlock;
    }
    setPerFrame(state, frames);
}
BENCHMARK(BM_SpectralPathStereo)->ArgsProduct({{0, 1, 2}, {0, 1}})->ArgNames({"path", "twins"});
