// The instruction sets the vector code paths are built for, and the one choice of path
// for the whole plug-in. Every path gives the same bits: its lanes do the scalar
// arithmetic in the same order, only more lanes per instruction (and never fused
// multiply-adds).
#pragma once

enum class SimdPath { Sse2, Avx2, Avx512 };

// Four-lane vectors: SSE2 on x86_64 (part of every such processor), NEON on aarch64 and
// plain lanes elsewhere. The wider paths exist on x86_64 only.
bool simdSupported(SimdPath path);

// The widest path this processor can run.
SimdPath widestSimdPath();

// The path named by a ZORVEK_SIMD setting ("sse2", "avx2" or "avx512", any case), never
// wider than widest; no setting or an unknown name gives widest.
SimdPath chooseSimdPath(const char* setting, SimdPath widest);

// The path of every vector kernel of the plug-in: chosen once per process on first use
// (while the plug-in is built), from the processor and the environment variable
// ZORVEK_SIMD, which may force a narrower path (for a processor that slows down under
// wide vectors, and for tests).
SimdPath activeSimdPath();

const char* simdPathName(SimdPath path);

// Marks a kernel compiled for a wider x86 instruction set. Elsewhere the kernel is plain
// code for the processor's own vectors; it is never chosen there.
#if defined(__x86_64__) || defined(__i386__)
#define ZORVEK_TARGET_AVX2 __attribute__((target("avx2")))
#define ZORVEK_TARGET_AVX512 __attribute__((target("avx512f")))
#else
#define ZORVEK_TARGET_AVX2
#define ZORVEK_TARGET_AVX512
#endif

// One kernel per path; a class keeps the entry of the active path.
template <class Kernel>
struct SimdKernels {
    Kernel sse2, avx2, avx512;

    Kernel operator[](SimdPath path) const {
        return path == SimdPath::Avx512 ? avx512 : path == SimdPath::Avx2 ? avx2 : sse2;
    }
};
