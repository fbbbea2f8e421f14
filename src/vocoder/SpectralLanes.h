// Float vectors of 4, 8 and 16 lanes for the spectral path, whose code is written once
// for any width and compiled per instruction set. Every helper is always inlined, so it
// takes the instruction set of the function it lands in; the lane arithmetic is the
// scalar arithmetic, never fused or reordered.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "dsp/VectorLanes.h"

namespace lanes {

typedef float F4 __attribute__((vector_size(16)));
typedef float F8 __attribute__((vector_size(32)));
typedef float F16 __attribute__((vector_size(64)));
typedef int32_t I4 __attribute__((vector_size(16)));
typedef int32_t I8 __attribute__((vector_size(32)));
typedef int32_t I16 __attribute__((vector_size(64)));

template <class V>
constexpr int kWidth = sizeof(V) / sizeof(float);

// The integer vector of the same width, for shuffle masks.
template <class V>
struct Mask;
template <>
struct Mask<F4> {
    using type = I4;
};
template <>
struct Mask<F8> {
    using type = I8;
};
template <>
struct Mask<F16> {
    using type = I16;
};
template <class V>
using MaskOf = typename Mask<V>::type;

// Equal lanes without arithmetic (adding to a zero vector would turn -0 into +0).
template <class V>
[[gnu::always_inline]] inline V splat(float x) {
    V v;
    for (int i = 0; i < kWidth<V>; ++i) v[i] = x;
    return v;
}

template <class V>
[[gnu::always_inline]] inline MaskOf<V> reversalMask() {
    MaskOf<V> m{};
    for (int i = 0; i < kWidth<V>; ++i) m[i] = kWidth<V> - 1 - i;
    return m;
}

// Lanes in reverse order: vector lane i of a descending run of indices.
template <class V>
[[gnu::always_inline]] inline V reversed(const V& v) {
    return __builtin_shuffle(v, reversalMask<V>());
}

// Shuffle masks that stay within blocks of four lanes (one instruction each): the low
// or high halves of two vectors' blocks interleaved, or joined.
enum class InBlock { InterleaveLow, InterleaveHigh, JoinLow, JoinHigh };
template <class V, InBlock Kind>
[[gnu::always_inline]] inline MaskOf<V> inBlockMask() {
    MaskOf<V> m{};
    for (int j = 0; j < kWidth<V>; ++j) {
        const int block = j & ~3, at = j & 3;
        const int other = kWidth<V>;  // lanes of the second vector
        switch (Kind) {
            case InBlock::InterleaveLow:
                m[j] = (at & 1 ? other : 0) + block + at / 2;
                break;
            case InBlock::InterleaveHigh:
                m[j] = (at & 1 ? other : 0) + block + 2 + at / 2;
                break;
            case InBlock::JoinLow:
                m[j] = at < 2 ? block + at : other + block + at - 2;
                break;
            case InBlock::JoinHigh:
                m[j] = at < 2 ? block + 2 + at : other + block + at;
                break;
        }
    }
    return m;
}

template <class V, InBlock Kind>
[[gnu::always_inline]] inline V inBlock(const V& a, const V& b) {
    return __builtin_shuffle(a, b, inBlockMask<V, Kind>());
}

// In each pair of rows (i, i + h), h a multiple of 4, the upper right and lower left
// squares of h lanes change places (whole blocks of four lanes move).
template <class V, int H>
[[gnu::always_inline]] inline MaskOf<V> blockSwapMask(bool lowerRow) {
    MaskOf<V> m{};
    for (int j = 0; j < kWidth<V>; ++j) {
        if (lowerRow)
            m[j] = (j & H) ? kWidth<V> + j : j + H;
        else
            m[j] = (j & H) ? kWidth<V> + j - H : j;
    }
    return m;
}

template <class V, int H>
[[gnu::always_inline]] inline void blockSwap(V* rows) {
    for (int i = 0; i < kWidth<V>; ++i) {
        if (i & H) continue;
        const V upper = __builtin_shuffle(rows[i], rows[i + H], blockSwapMask<V, H>(false));
        const V lower = __builtin_shuffle(rows[i], rows[i + H], blockSwapMask<V, H>(true));
        rows[i] = upper;
        rows[i + H] = lower;
    }
}

// In each block of four lanes, rows[i][j] <-> rows[j][i] for the four rows.
template <class V>
[[gnu::always_inline]] inline void transposeInBlocks(V* r) {
    const V t0 = inBlock<V, InBlock::InterleaveLow>(r[0], r[1]);
    const V t1 = inBlock<V, InBlock::InterleaveHigh>(r[0], r[1]);
    const V t2 = inBlock<V, InBlock::InterleaveLow>(r[2], r[3]);
    const V t3 = inBlock<V, InBlock::InterleaveHigh>(r[2], r[3]);
    r[0] = inBlock<V, InBlock::JoinLow>(t0, t2);
    r[1] = inBlock<V, InBlock::JoinHigh>(t0, t2);
    r[2] = inBlock<V, InBlock::JoinLow>(t1, t3);
    r[3] = inBlock<V, InBlock::JoinHigh>(t1, t3);
}

// rows[i][j] <-> rows[j][i] for a square of kWidth<V> rows: every 4 x 4 square is
// transposed in place, then the squares change places.
template <class V>
[[gnu::always_inline]] inline void transpose(V* rows) {
    for (int g = 0; g < kWidth<V>; g += 4) transposeInBlocks(rows + g);
    if constexpr (kWidth<V> >= 8) blockSwap<V, 4>(rows);
    if constexpr (kWidth<V> >= 16) blockSwap<V, 8>(rows);
}

// Block j of row i <-> block i of row j for kWidth<V> / 4 rows of blocks of four lanes.
template <class V>
[[gnu::always_inline]] inline void transposeBlocks(V* rows) {
    constexpr int count = kWidth<V> / 4;
    if constexpr (count >= 4) {
        for (int i = 0; i < 2; ++i) {
            const V upper = __builtin_shuffle(rows[i], rows[i + 2], blockSwapMask<V, 8>(false));
            const V lower = __builtin_shuffle(rows[i], rows[i + 2], blockSwapMask<V, 8>(true));
            rows[i] = upper, rows[i + 2] = lower;
        }
    }
    if constexpr (count >= 2) {
        for (int i = 0; i < count; i += 2) {
            const V upper = __builtin_shuffle(rows[i], rows[i + 1], blockSwapMask<V, 4>(false));
            const V lower = __builtin_shuffle(rows[i], rows[i + 1], blockSwapMask<V, 4>(true));
            rows[i] = upper, rows[i + 1] = lower;
        }
    }
}

// The four values at p in every block of four lanes.
template <class V>
[[gnu::always_inline]] inline V repeatBlock(const float* p) {
    V v;
    for (int i = 0; i < kWidth<V>; ++i) v[i] = p[i % 4];
    return v;
}

// Square roots, correctly rounded like std::sqrt. The wide forms are not forced inline:
// code that is always inlined is first compiled without their instruction set, and
// the functions it lands in inline them afterwards.
[[gnu::always_inline]] inline F4 squareRoot(F4 v) { return _mm_sqrt_ps(v); }
[[gnu::target("avx2")]] inline F8 squareRoot(F8 v) { return _mm256_sqrt_ps(v); }
// (All lanes through the zero-masked form: the plain one starts from an undefined
// vector, which the compiler reports as uninitialised.)
[[gnu::target("avx512f")]] inline F16 squareRoot(F16 v) { return _mm512_maskz_sqrt_ps(0xffff, v); }

}  // namespace lanes
