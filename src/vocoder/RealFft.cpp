// The lane helpers are always inlined, so no call passes a wide vector by value (the
// warning about how such a call would pass it is reported at the end of the file).
#pragma GCC diagnostic ignored "-Wpsabi"

#include "vocoder/RealFft.h"

#include <cmath>
#include <type_traits>

#include "dsp/VectorLanes.h"

namespace {

using lanes::F16;
using lanes::F4;
using lanes::F8;
using lanes::load;
using lanes::store;
using Tables = RealFft::Tables;

constexpr int kHalf = RealFft::kHalf;
constexpr int kSize = RealFft::kSize;

// cos and sin of 2 pi n / d (0 <= n / d <= 1/2, d a multiple of 4), reduced to the first
// quadrant so that the quarter turn gives exactly (0, 1) and mirrored angles match.
void unitCircle(int n, int d, float& c, float& s) {
    const double pi = 3.14159265358979323846;
    if (4 * n <= d) {
        c = static_cast<float>(std::cos(2.0 * pi * n / d));
        s = static_cast<float>(std::sin(2.0 * pi * n / d));
    } else {
        const int m = n - d / 4;
        c = -static_cast<float>(std::sin(2.0 * pi * m / d));
        s = static_cast<float>(std::cos(2.0 * pi * m / d));
    }
}

// One complex value per lane, real and imaginary parts in two vectors.
template <class V>
struct Complex {
    V r, i;
};

template <class V>
[[gnu::always_inline]] inline Complex<V> loadComplex(const float* re, const float* im, int at) {
    return {load<V>(re + at), load<V>(im + at)};
}

template <class V>
[[gnu::always_inline]] inline void storeComplex(float* re, float* im, int at, const Complex<V>& z) {
    store(re + at, z.r);
    store(im + at, z.i);
}

// Decimation-in-time butterfly: t = c w, then (a, c) = (a + t, a - t).
template <class V>
[[gnu::always_inline]] inline void timeButterfly(Complex<V>& a, Complex<V>& c, const V& wr, const V& wi) {
    const V tr = c.r * wr - c.i * wi;
    const V ti = c.r * wi + c.i * wr;
    c.r = a.r - tr, c.i = a.i - ti;
    a.r = a.r + tr, a.i = a.i + ti;
}

// Decimation-in-frequency butterfly: (a, c) = (a + c, (a - c) conj(w)).
template <class V>
[[gnu::always_inline]] inline void frequencyButterfly(Complex<V>& a, Complex<V>& c, const V& wr, const V& wi) {
    const V dr = a.r - c.r, di = a.i - c.i;
    a.r = a.r + c.r, a.i = a.i + c.i;
    c.r = dr * wr + di * wi;
    c.i = di * wr - dr * wi;
}

// Half spans 1 and 2 as one radix-4 step with twiddles 1 and e^(+i pi / 2) = i, on
// vectors that hold element j of groups of four.
template <class V>
[[gnu::always_inline]] inline void forwardRadix4(V* r, V* i) {
    const V a0r = r[0] + r[1], a1r = r[0] - r[1], a2r = r[2] + r[3], a3r = r[2] - r[3];
    const V a0i = i[0] + i[1], a1i = i[0] - i[1], a2i = i[2] + i[3], a3i = i[2] - i[3];
    r[0] = a0r + a2r, i[0] = a0i + a2i;
    r[2] = a0r - a2r, i[2] = a0i - a2i;
    r[1] = a1r - a3i, i[1] = a1i + a3r;
    r[3] = a1r + a3i, i[3] = a1i - a3r;
}

// Half span 2 with twiddles 1 and e^(-i pi / 2) = -i, then half span 1.
template <class V>
[[gnu::always_inline]] inline void inverseRadix4(V* r, V* i) {
    const V b0r = r[0] + r[2], b2r = r[0] - r[2], b0i = i[0] + i[2], b2i = i[0] - i[2];
    const V b1r = r[1] + r[3], b3i = r[3] - r[1], b1i = i[1] + i[3], b3r = i[1] - i[3];
    r[0] = b0r + b1r, i[0] = b0i + b1i;
    r[1] = b0r - b1r, i[1] = b0i - b1i;
    r[2] = b2r + b3r, i[2] = b2i + b3i;
    r[3] = b2r - b3r, i[3] = b2i - b3i;
}

// Blocks of 16 values, a block per four lanes: vector j holds values 4j..4j+3 of each
// block. The rows are loaded so that a transpose of their blocks of four lanes gives
// that order (with four lanes, vector j is simply values 4j..4j+3).
template <class V>
[[gnu::always_inline]] inline void loadBlocks(const float* x, V* r) {
    constexpr int count = lanes::kWidth<V> / 4;
    for (int g = 0; g < 4; g += count) {
        for (int i = 0; i < count; ++i) r[g + i] = load<V>(x + 16 * i + 4 * g);
        lanes::transposeBlocks(r + g);
    }
}

template <class V>
[[gnu::always_inline]] inline void storeBlocks(float* x, V* r) {
    constexpr int count = lanes::kWidth<V> / 4;
    for (int g = 0; g < 4; g += count) {
        lanes::transposeBlocks(r + g);
        for (int i = 0; i < count; ++i) store(x + 16 * i + 4 * g, r[g + i]);
    }
}

// Twiddles of half spans 4 and 8, repeated in every block of four lanes.
template <class V>
struct FirstTwiddles {
    explicit FirstTwiddles(const Tables& t)
        : w4r(lanes::repeatBlock<V>(t.stageCos)),
          w4i(lanes::repeatBlock<V>(t.stageSin)),
          w8r0(lanes::repeatBlock<V>(t.stageCos + 4)),
          w8i0(lanes::repeatBlock<V>(t.stageSin + 4)),
          w8r1(lanes::repeatBlock<V>(t.stageCos + 8)),
          w8i1(lanes::repeatBlock<V>(t.stageSin + 8)) {}
    V w4r, w4i, w8r0, w8i0, w8r1, w8i1;
};

// The first four stages (half spans 1, 2, 4, 8) on each block of 16 values in one pass:
// transposed, vector j holds element j of four groups of four for the radix-4 step;
// transposed back, vector g is group g, so half spans 4 and 8 pair whole vectors.
template <class V>
[[gnu::always_inline]] inline void forwardFirstStages(const Tables& t, float* re, float* im) {
    const FirstTwiddles<V> w(t);
    for (int b = 0; b < kHalf; b += 4 * lanes::kWidth<V>) {
        V r[4], i[4];
        loadBlocks(re + b, r);
        loadBlocks(im + b, i);
        lanes::transposeInBlocks(r);
        lanes::transposeInBlocks(i);
        forwardRadix4(r, i);
        lanes::transposeInBlocks(r);
        lanes::transposeInBlocks(i);
        Complex<V> z[4];
        for (int j = 0; j < 4; ++j) z[j] = {r[j], i[j]};
        timeButterfly(z[0], z[1], w.w4r, w.w4i);
        timeButterfly(z[2], z[3], w.w4r, w.w4i);
        timeButterfly(z[0], z[2], w.w8r0, w.w8i0);
        timeButterfly(z[1], z[3], w.w8r1, w.w8i1);
        for (int j = 0; j < 4; ++j) r[j] = z[j].r, i[j] = z[j].i;
        storeBlocks(re + b, r);
        storeBlocks(im + b, i);
    }
}

// The inverse of the above: half spans 8 and 4, then the radix-4 step of 2 and 1.
template <class V>
[[gnu::always_inline]] inline void inverseLastStages(const Tables& t, float* re, float* im) {
    const FirstTwiddles<V> w(t);
    for (int b = 0; b < kHalf; b += 4 * lanes::kWidth<V>) {
        V r[4], i[4];
        loadBlocks(re + b, r);
        loadBlocks(im + b, i);
        Complex<V> z[4];
        for (int j = 0; j < 4; ++j) z[j] = {r[j], i[j]};
        frequencyButterfly(z[0], z[2], w.w8r0, w.w8i0);
        frequencyButterfly(z[1], z[3], w.w8r1, w.w8i1);
        frequencyButterfly(z[0], z[1], w.w4r, w.w4i);
        frequencyButterfly(z[2], z[3], w.w4r, w.w4i);
        for (int j = 0; j < 4; ++j) r[j] = z[j].r, i[j] = z[j].i;
        lanes::transposeInBlocks(r);
        lanes::transposeInBlocks(i);
        inverseRadix4(r, i);
        lanes::transposeInBlocks(r);
        lanes::transposeInBlocks(i);
        storeBlocks(re + b, r);
        storeBlocks(im + b, i);
    }
}

// The first (forward) and last (inverse) stages take at most eight lanes: their transposes
// of sixteen lanes cost more shuffle work per value than eight-lane ones (about 5 % of
// both transforms on AVX-512), while the wider stage pairs pay.
template <class V>
using InBlockLanes = std::conditional_t<(lanes::kWidth<V> > 8), F8, V>;

// Half spans h and 2h in one pass over each block of 4h values: the same butterflies
// as two passes, with fewer loads and stores. h is at least the vector width.
template <class V>
[[gnu::always_inline]] inline void forwardStagePair(const Tables& t, float* re, float* im, int h) {
    const float* c1 = t.stageCos + h - 4;
    const float* s1 = t.stageSin + h - 4;
    const float* c2 = t.stageCos + 2 * h - 4;
    const float* s2 = t.stageSin + 2 * h - 4;
    for (int b = 0; b < kHalf; b += 4 * h) {
        for (int j = 0; j < h; j += lanes::kWidth<V>) {
            const int a = b + j;
            Complex<V> z0 = loadComplex<V>(re, im, a), z1 = loadComplex<V>(re, im, a + h);
            Complex<V> z2 = loadComplex<V>(re, im, a + 2 * h), z3 = loadComplex<V>(re, im, a + 3 * h);
            const V w1r = load<V>(c1 + j), w1i = load<V>(s1 + j);
            timeButterfly(z0, z1, w1r, w1i);
            timeButterfly(z2, z3, w1r, w1i);
            timeButterfly(z0, z2, load<V>(c2 + j), load<V>(s2 + j));
            timeButterfly(z1, z3, load<V>(c2 + j + h), load<V>(s2 + j + h));
            storeComplex(re, im, a, z0), storeComplex(re, im, a + h, z1);
            storeComplex(re, im, a + 2 * h, z2), storeComplex(re, im, a + 3 * h, z3);
        }
    }
}

// Half spans 2h and h in one pass, decimation in frequency.
template <class V>
[[gnu::always_inline]] inline void inverseStagePair(const Tables& t, float* re, float* im, int h) {
    const float* c1 = t.stageCos + h - 4;
    const float* s1 = t.stageSin + h - 4;
    const float* c2 = t.stageCos + 2 * h - 4;
    const float* s2 = t.stageSin + 2 * h - 4;
    for (int b = 0; b < kHalf; b += 4 * h) {
        for (int j = 0; j < h; j += lanes::kWidth<V>) {
            const int a = b + j;
            Complex<V> z0 = loadComplex<V>(re, im, a), z1 = loadComplex<V>(re, im, a + h);
            Complex<V> z2 = loadComplex<V>(re, im, a + 2 * h), z3 = loadComplex<V>(re, im, a + 3 * h);
            frequencyButterfly(z0, z2, load<V>(c2 + j), load<V>(s2 + j));
            frequencyButterfly(z1, z3, load<V>(c2 + j + h), load<V>(s2 + j + h));
            const V w1r = load<V>(c1 + j), w1i = load<V>(s1 + j);
            frequencyButterfly(z0, z1, w1r, w1i);
            frequencyButterfly(z2, z3, w1r, w1i);
            storeComplex(re, im, a, z0), storeComplex(re, im, a + h, z1);
            storeComplex(re, im, a + 2 * h, z2), storeComplex(re, im, a + 3 * h, z3);
        }
    }
}

// Bins k..k+W-1 and 256-k-(W-1)..256-k, lane i holding bin k + i and bin 256 - k - i:
// the real and imaginary parts of each, at places k, 512 - k, 256 - k and 256 + k.
template <class V>
struct BinPair {
    V re, im, mirrorRe, mirrorIm;
};

template <class V>
[[gnu::always_inline]] inline BinPair<V> loadBins(const float* x, int k) {
    constexpr int W = lanes::kWidth<V>;
    return {load<V>(x + k), lanes::reversed(load<V>(x + kSize - k - (W - 1))),
            lanes::reversed(load<V>(x + kHalf - k - (W - 1))), load<V>(x + kHalf + k)};
}

// The even samples sit bit-reversed in x[0..255] and the odd ones in x[256..511], so
// the buffer already is z(m) = x(2m) + i x(2m+1) in split form, ready for the complex
// transform (decimation in time: bit-reversed input, natural-order output, kernel
// e^(+i ...)).
template <class V>
[[gnu::always_inline]] inline void forwardComplex(const Tables& t, float* x) {
    float* re = x;
    float* im = x + kHalf;
    forwardFirstStages<InBlockLanes<V>>(t, re, im);
    forwardStagePair<V>(t, re, im, 16);
    forwardStagePair<V>(t, re, im, 64);
}

// The complex transform's result Z(k) = E(k) + i O(k) separated into the spectra of the
// even and odd samples and merged: X(k) = E(k) + W^k O(k), X(256 - k) = conj(E - W^k O),
// with W = e^(+2 pi i / 512). Bins k and 256 - k occupy the same four places in Z and in
// X, so each pair is done in place. In the vector holding k = 128 that bin pairs with
// itself, and its places take what one bin at a time leaves (the second store).
template <class V>
[[gnu::always_inline]] inline BinPair<V> separated(const Tables& t, const float* x, int k) {
    const V half = lanes::splat<V>(0.5f);
    const BinPair<V> z = loadBins<V>(x, k);
    const V ar = z.re, ai = z.mirrorIm, br = z.mirrorRe, bi = z.im;
    const V er = (ar + br) * half;
    const V ei = (ai - bi) * half;
    const V orr = (ai + bi) * half;
    const V oi = (br - ar) * half;
    const V c = load<V>(t.splitCos + k), s = load<V>(t.splitSin + k);
    const V wor = c * orr - s * oi;
    const V woi = c * oi + s * orr;
    return {er + wor, ei + woi, er - wor, woi - ei};
}

template <class V>
[[gnu::always_inline]] inline void storeSeparated(float* x, int k, const BinPair<V>& b) {
    constexpr int W = lanes::kWidth<V>;
    store(x + k, b.re);
    store(x + kSize - k - (W - 1), lanes::reversed(b.im));
    store(x + kHalf - k - (W - 1), lanes::reversed(b.mirrorRe));
    store(x + kHalf + k, b.mirrorIm);
}

// The separation undone: E(k) = (X(k) + conj X(256 - k)) / 2, W^k O(k) = (X(k) - conj
// X(256 - k)) / 2, Z(k) = E(k) + i O(k), stored in the same order of places.
template <class V>
[[gnu::always_inline]] inline void storeMerged(const Tables& t, float* x, int k, const BinPair<V>& b) {
    constexpr int W = lanes::kWidth<V>;
    const V half = lanes::splat<V>(0.5f);
    const V xr = b.re, xi = b.im, yr = b.mirrorRe, yi = b.mirrorIm;
    const V er = (xr + yr) * half;
    const V ei = (xi - yi) * half;
    const V pr = (xr - yr) * half;
    const V pi = (xi + yi) * half;
    const V c = load<V>(t.splitCos + k), s = load<V>(t.splitSin + k);
    const V orr = c * pr + s * pi;
    const V oi = c * pi - s * pr;
    store(x + k, er - oi);
    store(x + kHalf + k, ei + orr);
    store(x + kHalf - k - (W - 1), lanes::reversed(er + oi));
    store(x + kSize - k - (W - 1), lanes::reversed(orr - ei));
}

// The complex inverse (decimation in frequency: natural-order input, bit-reversed
// output, kernel e^(-i ...), unnormalised) leaves z(m) x 256 bit-reversed, which is
// 256 x(n) at bitReverse(n).
template <class V>
[[gnu::always_inline]] inline void inverseComplex(const Tables& t, float* x) {
    float* re = x;
    float* im = x + kHalf;
    inverseStagePair<V>(t, re, im, 64);
    inverseStagePair<V>(t, re, im, 16);
    inverseLastStages<InBlockLanes<V>>(t, re, im);
}

template <class V>
[[gnu::always_inline]] inline void forwardLanes(const Tables& t, float* x) {
    forwardComplex<V>(t, x);
    const float z0r = x[0], z0i = x[kHalf];
    x[0] = z0r + z0i;
    x[kHalf] = z0r - z0i;
    for (int k = 1; k <= kHalf / 2; k += lanes::kWidth<V>) storeSeparated(x, k, separated<V>(t, x, k));
}

template <class V>
[[gnu::always_inline]] inline void inverseLanes(const Tables& t, float* x) {
    const float x0 = x[0], x256 = x[kHalf];
    x[0] = (x0 + x256) * 0.5f;
    x[kHalf] = (x0 - x256) * 0.5f;
    for (int k = 1; k <= kHalf / 2; k += lanes::kWidth<V>) storeMerged(t, x, k, loadBins<V>(x, k));
    inverseComplex<V>(t, x);
}

// forward, scaling and inverse with the separation and the merge in one pass, the bins
// never stored in between. Bins 0 and 256 are cleared, so the merge makes them 0. The
// vector holding bin 128 takes for it what the separate passes leave in its places (the
// second of the separation's stores) before both of its lanes are scaled by gains[128].
template <class V>
[[gnu::always_inline]] inline void shapeLanes(const Tables& t, float* x, const float* gains) {
    constexpr int W = lanes::kWidth<V>;
    forwardComplex<V>(t, x);
    x[0] = 0.0f;
    x[kHalf] = 0.0f;
    for (int k = 1; k <= kHalf / 2; k += W) {
        BinPair<V> b = separated<V>(t, x, k);
        if (k + W - 1 == kHalf / 2) {
            b.re[W - 1] = b.mirrorRe[W - 1];
            b.im[W - 1] = b.mirrorIm[W - 1];
        }
        const V scale = load<V>(gains + k);
        const V mirrorScale = lanes::reversed(load<V>(gains + kHalf - k - (W - 1)));
        b.re = b.re * scale;
        b.im = b.im * scale;
        b.mirrorRe = b.mirrorRe * mirrorScale;
        b.mirrorIm = b.mirrorIm * mirrorScale;
        storeMerged(t, x, k, b);
    }
    inverseComplex<V>(t, x);
}

void forwardSse2(const Tables& t, float* x) { forwardLanes<F4>(t, x); }
void inverseSse2(const Tables& t, float* x) { inverseLanes<F4>(t, x); }
ZORVEK_TARGET_AVX2 void forwardAvx2(const Tables& t, float* x) { forwardLanes<F8>(t, x); }
ZORVEK_TARGET_AVX2 void inverseAvx2(const Tables& t, float* x) { inverseLanes<F8>(t, x); }
ZORVEK_TARGET_AVX512 void forwardAvx512(const Tables& t, float* x) { forwardLanes<F16>(t, x); }
ZORVEK_TARGET_AVX512 void inverseAvx512(const Tables& t, float* x) { inverseLanes<F16>(t, x); }
void shapeSse2(const Tables& t, float* x, const float* gains) { shapeLanes<F4>(t, x, gains); }
ZORVEK_TARGET_AVX2 void shapeAvx2(const Tables& t, float* x, const float* gains) { shapeLanes<F8>(t, x, gains); }
ZORVEK_TARGET_AVX512 void shapeAvx512(const Tables& t, float* x, const float* gains) { shapeLanes<F16>(t, x, gains); }

constexpr SimdKernels<RealFft::Kernel> kForward{&forwardSse2, &forwardAvx2, &forwardAvx512};
constexpr SimdKernels<RealFft::Kernel> kInverse{&inverseSse2, &inverseAvx2, &inverseAvx512};
constexpr SimdKernels<RealFft::ShapeKernel> kShape{&shapeSse2, &shapeAvx2, &shapeAvx512};

}  // namespace

RealFft::RealFft() : forwardKernel(&forwardSse2), inverseKernel(&inverseSse2), shapeKernel(&shapeSse2) {
    for (int h = 4; h < kHalf; h *= 2)
        for (int j = 0; j < h; ++j) unitCircle(j, 2 * h, tables.stageCos[h - 4 + j], tables.stageSin[h - 4 + j]);
    for (int k = 0; k <= kHalf / 2; ++k) unitCircle(k, kSize, tables.splitCos[k], tables.splitSin[k]);
    for (int k = kHalf / 2 + 1; k < Tables::kSplit; ++k) tables.splitCos[k] = tables.splitSin[k] = 0.0f;
    usePath(activeSimdPath());
}

bool RealFft::usePath(SimdPath path) {
    if (!simdSupported(path)) return false;
    current = path;
    forwardKernel = kForward[path];
    inverseKernel = kInverse[path];
    shapeKernel = kShape[path];
    return true;
}
