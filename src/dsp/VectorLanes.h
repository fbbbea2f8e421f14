// The vector layer: lane types of every width and the helpers the vector paths are
// written with, once for any width. Every helper is always inlined, so it takes the
// instruction set of the function it lands in (SSE2, AVX2 or AVX-512 on x86_64, NEON on
// aarch64, where the wider types become several four-lane instructions). A lane does the
// scalar arithmetic of one element in the same order, never fused (the build turns off
// contraction) or reordered, so every width and every processor give the same bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#elif defined(__aarch64__)
#include <arm_neon.h>
#endif

// Always inlined, so no call passes a wide vector by value: the warning about how such a
// call would pass it does not apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace lanes {

typedef float F4 __attribute__((vector_size(16)));
typedef float F8 __attribute__((vector_size(32)));
typedef float F16 __attribute__((vector_size(64)));
typedef int32_t I4 __attribute__((vector_size(16)));
typedef int32_t I8 __attribute__((vector_size(32)));
typedef int32_t I16 __attribute__((vector_size(64)));
typedef double D4 __attribute__((vector_size(32)));
typedef double D8 __attribute__((vector_size(64)));

template <class V>
constexpr int kWidth = sizeof(V) / sizeof(std::declval<V>()[0]);

template <class V>
using Element = std::remove_cvref_t<decltype(std::declval<V>()[0])>;

// The float and integer vectors with as many lanes as W.
template <int W>
struct WithWidth;
template <>
struct WithWidth<4> {
    using F = F4;
    using I = I4;
};
template <>
struct WithWidth<8> {
    using F = F8;
    using I = I8;
};
template <>
struct WithWidth<16> {
    using F = F16;
    using I = I16;
};
template <class V>
using FloatsOf = typename WithWidth<kWidth<V>>::F;
template <class V>
using IntsOf = typename WithWidth<kWidth<V>>::I;

// Loads and stores from arrays of the element type. memcpy needs no alignment and
// becomes one instruction of the width of the function the helper is inlined into.
template <class V, class T>
[[gnu::always_inline]] inline V load(const T* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V, class T>
[[gnu::always_inline]] inline void store(T* p, const V& v) {
    std::memcpy(p, &v, sizeof v);
}

// Equal lanes without arithmetic (adding to a zero vector would turn -0 into +0).
template <class V>
[[gnu::always_inline]] inline V splat(Element<V> x) {
    V v;
    for (int i = 0; i < kWidth<V>; ++i) v[i] = x;
    return v;
}

// Lane-wise minimum and maximum that answer the second operand on ties and NaNs, as the
// x86 min and max instructions do (one instruction each there).
template <class V>
[[gnu::always_inline]] inline V min(const V& a, const V& b) {
    return a < b ? a : b;
}

template <class V>
[[gnu::always_inline]] inline V max(const V& a, const V& b) {
    return a > b ? a : b;
}

// v, as a value the compiler no longer knows. GCC turns min and max against a known
// constant into a compare and a blend (or three logic operations without AVX) instead of
// the one instruction; constants passed through this once before a loop keep it to one.
// Clang keeps the one instruction anyway, and refuses a register operand wider than the
// calling function's own target allows.
template <class V>
[[gnu::always_inline]] inline V opaque(V v) {
#if (defined(__x86_64__) || defined(__i386__)) && !defined(__clang__) && defined(__OPTIMIZE__)
    asm("" : "+x"(v));
#endif
    return v;
}

// The whole part towards zero, through a 32-bit integer (for magnitudes below 2^31).
template <class V>
[[gnu::always_inline]] inline V wholePart(const V& a) {
    return __builtin_convertvector(__builtin_convertvector(a, IntsOf<V>), V);
}

// True when none of count values (a multiple of the width) is infinite or NaN: x - x is
// exactly zero for every finite x (also a denormal that is read as zero) and NaN
// otherwise; the lanes' verdicts are or-ed, one compare per vector.
template <class V>
[[gnu::always_inline]] inline bool allFinite(const Element<V>* values, int count) {
    IntsOf<V> bad{};
    for (int i = 0; i < count; i += kWidth<V>) {
        const V v = load<V>(values + i);
        bad |= (v - v) != splat<V>(0.0f);
    }
    int32_t verdicts[kWidth<V>];
    std::memcpy(verdicts, &bad, sizeof bad);
    int32_t any = 0;
    for (int32_t verdict : verdicts) any |= verdict;
    return any == 0;
}

// vocoder::softClip lane by lane: 1.0 above 1.5, -1.0 below -1.5, else x - 0.15 x^3 (a
// NaN stays NaN).
template <class V>
[[gnu::always_inline]] inline V softClip(const V& x) {
    const V cubic = x - x * x * x * splat<V>(0.15f);
    const V low = x < splat<V>(-1.5f) ? splat<V>(-1.0f) : cubic;
    return x > splat<V>(1.5f) ? splat<V>(1.0f) : low;
}

// Shuffles take their lane indices as constants (the first vector's lanes are 0..W-1,
// the second's W..2W-1): each index list below is a constexpr function of the lane,
// expanded over the lanes of V.
template <class V, class Index, size_t... J>
[[gnu::always_inline]] inline V shuffleBy(const V& a, const V& b, std::index_sequence<J...>) {
    return __builtin_shufflevector(a, b, Index::at(static_cast<int>(J))...);
}

template <class V, class Index>
[[gnu::always_inline]] inline V shuffle(const V& a, const V& b) {
    return shuffleBy<V, Index>(a, b, std::make_index_sequence<kWidth<V>>());
}

// Lane 0 in every lane.
struct FirstLane {
    static constexpr int at(int) { return 0; }
};

// The value at p in every lane, where a whole vector can be read at p: a shuffle of that
// vector, always one broadcast from memory. GCC builds lanes set from a scalar (splat)
// one at a time for four floats and, inside some inlined helpers, for wider vectors too
// (at 512 bits a chain of masked broadcasts); the shuffle of a load it never does.
template <class V>
[[gnu::always_inline]] inline V broadcast(const Element<V>* p) {
    const V v = load<V>(p);
    return shuffle<V, FirstLane>(v, v);
}

// Lanes in reverse order: vector lane i of a descending run of indices.
template <int W>
struct Reversal {
    static constexpr int at(int j) { return W - 1 - j; }
};

template <class V>
[[gnu::always_inline]] inline V reversed(const V& v) {
    return shuffle<V, Reversal<kWidth<V>>>(v, v);
}

// The lanes of a and b alternating (a0 b0 a1 b1 ...): the first half of them, or the
// second half.
template <int W, bool High>
struct Interleaving {
    static constexpr int at(int j) { return (High ? W / 2 : 0) + j / 2 + (j % 2) * W; }
};

template <class V>
[[gnu::always_inline]] inline V interleavedLow(const V& a, const V& b) {
    return shuffle<V, Interleaving<kWidth<V>, false>>(a, b);
}

template <class V>
[[gnu::always_inline]] inline V interleavedHigh(const V& a, const V& b) {
    return shuffle<V, Interleaving<kWidth<V>, true>>(a, b);
}

// Shuffles that stay within blocks of four lanes (one instruction each): the low or
// high halves of two vectors' blocks interleaved, or joined.
enum class InBlock { InterleaveLow, InterleaveHigh, JoinLow, JoinHigh };
template <int W, InBlock Kind>
struct InBlockIndex {
    static constexpr int at(int j) {
        const int block = j & ~3, lane = j & 3;
        switch (Kind) {
            case InBlock::InterleaveLow:
                return (lane & 1 ? W : 0) + block + lane / 2;
            case InBlock::InterleaveHigh:
                return (lane & 1 ? W : 0) + block + 2 + lane / 2;
            case InBlock::JoinLow:
                return lane < 2 ? block + lane : W + block + lane - 2;
            case InBlock::JoinHigh:
                return lane < 2 ? block + 2 + lane : W + block + lane;
        }
        return j;
    }
};

template <class V, InBlock Kind>
[[gnu::always_inline]] inline V inBlock(const V& a, const V& b) {
    return shuffle<V, InBlockIndex<kWidth<V>, Kind>>(a, b);
}

// For a pair of rows (upper, lower), H a multiple of 4: the upper right and lower left
// squares of H lanes change places (whole blocks of four lanes move).
template <int W, int H, bool Lower>
struct BlockSwap {
    static constexpr int at(int j) {
        if (Lower) return (j & H) ? W + j : j + H;
        return (j & H) ? W + j - H : j;
    }
};

template <class V, int H>
[[gnu::always_inline]] inline void swapBlocks(V& upper, V& lower) {
    const V u = shuffle<V, BlockSwap<kWidth<V>, H, false>>(upper, lower);
    const V l = shuffle<V, BlockSwap<kWidth<V>, H, true>>(upper, lower);
    upper = u;
    lower = l;
}

template <class V, int H>
[[gnu::always_inline]] inline void blockSwap(V* rows) {
    for (int i = 0; i < kWidth<V>; ++i)
        if (!(i & H)) swapBlocks<V, H>(rows[i], rows[i + H]);
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
    if constexpr (count >= 4)
        for (int i = 0; i < 2; ++i) swapBlocks<V, 8>(rows[i], rows[i + 2]);
    if constexpr (count >= 2)
        for (int i = 0; i < count; i += 2) swapBlocks<V, 4>(rows[i], rows[i + 1]);
}

// The four values at p in every block of four lanes.
template <class V>
[[gnu::always_inline]] inline V repeatBlock(const float* p) {
    V v;
    for (int i = 0; i < kWidth<V>; ++i) v[i] = p[i % 4];
    return v;
}

// Square roots in place, correctly rounded like std::sqrt. The wide x86 forms are not
// forced inline: code that is always inlined is first compiled without their
// instruction set, and the functions it lands in inline them afterwards. They take a
// pointer, so no call passes a wide vector by value.
#if defined(__x86_64__) || defined(__i386__)
[[gnu::always_inline]] inline void squareRoot(F4* v) { *v = _mm_sqrt_ps(*v); }
[[gnu::target("avx2")]] inline void squareRoot(F8* v) { *v = _mm256_sqrt_ps(*v); }
// (All lanes through the zero-masked form: the plain one starts from an undefined
// vector, which the compiler reports as uninitialised.)
[[gnu::target("avx512f")]] inline void squareRoot(F16* v) { *v = _mm512_maskz_sqrt_ps(0xffff, *v); }
#elif defined(__aarch64__)
[[gnu::always_inline]] inline void squareRoot(F4* v) { *v = vsqrtq_f32(*v); }
template <class V>
[[gnu::always_inline]] inline void squareRoot(V* v) {
    for (int i = 0; i < kWidth<V>; i += 4) {
        F4 part = load<F4>(reinterpret_cast<const float*>(v) + i);
        squareRoot(&part);
        store(reinterpret_cast<float*>(v) + i, part);
    }
}
#else
template <class V>
[[gnu::always_inline]] inline void squareRoot(V* v) {
    for (int i = 0; i < kWidth<V>; ++i) (*v)[i] = __builtin_sqrtf((*v)[i]);
}
#endif

}  // namespace lanes

#pragma GCC diagnostic pop
