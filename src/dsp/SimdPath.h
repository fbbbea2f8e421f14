// The instruction sets the vector code paths are built for. Every path gives the same
// bits: its lanes do the scalar arithmetic in the same order, only more lanes per
// instruction (and never fused multiply-adds).
#pragma once

enum class SimdPath { Sse2, Avx2, Avx512 };

// Whether this processor can run the path; SSE2 is part of every x86_64 processor.
inline bool simdSupported(SimdPath path) {
    if (path == SimdPath::Sse2) return true;
    __builtin_cpu_init();
    return path == SimdPath::Avx2 ? __builtin_cpu_supports("avx2") : __builtin_cpu_supports("avx512f");
}

// The widest path this processor can run.
inline SimdPath widestSimdPath() {
    if (simdSupported(SimdPath::Avx512)) return SimdPath::Avx512;
    return simdSupported(SimdPath::Avx2) ? SimdPath::Avx2 : SimdPath::Sse2;
}
