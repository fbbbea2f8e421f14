#include <benchmark/benchmark.h>

#include <random>

#include "vocoder/RealFft.h"

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
