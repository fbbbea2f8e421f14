// The figure every benchmark reports: CPU time per sample frame, printed with its prefix
// (e.g. "per_frame=75ns"), and read by scripts/bench-compare.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

inline void setPerFrame(benchmark::State& state, int64_t frames) {
    state.counters["per_frame"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
