#include "vocoder/RealFft.h"

#include <xmmintrin.h>

#include <cmath>

namespace {

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

inline __m128 reversed(__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3)); }
inline __m128 loadReversed(const float* p) { return reversed(_mm_loadu_ps(p)); }
inline void storeReversed(float* p, __m128 v) { _mm_storeu_ps(p, reversed(v)); }

// Runs the radix-4 step f on all 64 groups of four complex values, four groups at a
// time: the groups are transposed so that vector j holds element j of each group.
template <typename F>
void forEachGroupOfFour(float* re, float* im, int length, F f) {
    for (int g = 0; g < length; g += 16) {
        __m128 r[4], i[4];
        for (int j = 0; j < 4; ++j) r[j] = _mm_loadu_ps(re + g + 4 * j), i[j] = _mm_loadu_ps(im + g + 4 * j);
        _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
        _MM_TRANSPOSE4_PS(i[0], i[1], i[2], i[3]);
        f(r, i);
        _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
        _MM_TRANSPOSE4_PS(i[0], i[1], i[2], i[3]);
        for (int j = 0; j < 4; ++j) _mm_storeu_ps(re + g + 4 * j, r[j]), _mm_storeu_ps(im + g + 4 * j, i[j]);
    }
}

// Runs the radix-2 butterfly f on every pair (a, a + h) of one stage with half span
// h >= 4, four pairs at a time, with that stage's twiddles.
template <typename F>
void forEachButterfly(float* re, float* im, int length, int h, const float* wc, const float* ws, F f) {
    for (int b = 0; b < length; b += 2 * h) {
        for (int j = 0; j < h; j += 4) {
            const int a = b + j, c = a + h;
            __m128 ar = _mm_loadu_ps(re + a), ai = _mm_loadu_ps(im + a);
            __m128 cr = _mm_loadu_ps(re + c), ci = _mm_loadu_ps(im + c);
            f(ar, ai, cr, ci, _mm_load_ps(wc + j), _mm_load_ps(ws + j));
            _mm_storeu_ps(re + a, ar), _mm_storeu_ps(im + a, ai);
            _mm_storeu_ps(re + c, cr), _mm_storeu_ps(im + c, ci);
        }
    }
}

}  // namespace

RealFft::RealFft() {
    for (int h = 4; h < kHalf; h *= 2)
        for (int j = 0; j < h; ++j) unitCircle(j, 2 * h, stageCos_[h - 4 + j], stageSin_[h - 4 + j]);
    for (int k = 0; k <= kHalf / 2; ++k) unitCircle(k, kSize, splitCos_[k], splitSin_[k]);
    for (int k = kHalf / 2 + 1; k < kSplitTable; ++k) splitCos_[k] = splitSin_[k] = 0.0f;
}

// Decimation in time: bit-reversed input, natural-order output, kernel e^(+i ...).
void RealFft::complexForward(float* re, float* im) const {
    // Half spans 1 and 2 as one radix-4 step with twiddles 1 and e^(+i pi / 2) = i.
    forEachGroupOfFour(re, im, kHalf, [](__m128* r, __m128* i) {
        const __m128 a0r = _mm_add_ps(r[0], r[1]), a1r = _mm_sub_ps(r[0], r[1]);
        const __m128 a2r = _mm_add_ps(r[2], r[3]), a3r = _mm_sub_ps(r[2], r[3]);
        const __m128 a0i = _mm_add_ps(i[0], i[1]), a1i = _mm_sub_ps(i[0], i[1]);
        const __m128 a2i = _mm_add_ps(i[2], i[3]), a3i = _mm_sub_ps(i[2], i[3]);
        r[0] = _mm_add_ps(a0r, a2r), i[0] = _mm_add_ps(a0i, a2i);
        r[2] = _mm_sub_ps(a0r, a2r), i[2] = _mm_sub_ps(a0i, a2i);
        r[1] = _mm_sub_ps(a1r, a3i), i[1] = _mm_add_ps(a1i, a3r);
        r[3] = _mm_add_ps(a1r, a3i), i[3] = _mm_sub_ps(a1i, a3r);
    });
    for (int h = 4; h < kHalf; h *= 2) {
        forEachButterfly(re, im, kHalf, h, stageCos_ + h - 4, stageSin_ + h - 4,
                         [](__m128& ar, __m128& ai, __m128& cr, __m128& ci, __m128 wr, __m128 wi) {
                             const __m128 tr = _mm_sub_ps(_mm_mul_ps(cr, wr), _mm_mul_ps(ci, wi));
                             const __m128 ti = _mm_add_ps(_mm_mul_ps(cr, wi), _mm_mul_ps(ci, wr));
                             cr = _mm_sub_ps(ar, tr), ci = _mm_sub_ps(ai, ti);
                             ar = _mm_add_ps(ar, tr), ai = _mm_add_ps(ai, ti);
                         });
    }
}

// Decimation in frequency: natural-order input, bit-reversed output, kernel e^(-i ...),
// unnormalised (a forward/inverse pair multiplies by 256).
void RealFft::complexInverse(float* re, float* im) const {
    for (int h = kHalf / 2; h >= 4; h /= 2) {
        forEachButterfly(re, im, kHalf, h, stageCos_ + h - 4, stageSin_ + h - 4,
                         [](__m128& ar, __m128& ai, __m128& cr, __m128& ci, __m128 wr, __m128 wi) {
                             const __m128 dr = _mm_sub_ps(ar, cr), di = _mm_sub_ps(ai, ci);
                             ar = _mm_add_ps(ar, cr), ai = _mm_add_ps(ai, ci);
                             cr = _mm_add_ps(_mm_mul_ps(dr, wr), _mm_mul_ps(di, wi));
                             ci = _mm_sub_ps(_mm_mul_ps(di, wr), _mm_mul_ps(dr, wi));
                         });
    }
    // Half span 2 with twiddles 1 and e^(-i pi / 2) = -i, then half span 1.
    forEachGroupOfFour(re, im, kHalf, [](__m128* r, __m128* i) {
        const __m128 b0r = _mm_add_ps(r[0], r[2]), b2r = _mm_sub_ps(r[0], r[2]);
        const __m128 b0i = _mm_add_ps(i[0], i[2]), b2i = _mm_sub_ps(i[0], i[2]);
        const __m128 b1r = _mm_add_ps(r[1], r[3]), b3i = _mm_sub_ps(r[3], r[1]);
        const __m128 b1i = _mm_add_ps(i[1], i[3]), b3r = _mm_sub_ps(i[1], i[3]);
        r[0] = _mm_add_ps(b0r, b1r), i[0] = _mm_add_ps(b0i, b1i);
        r[1] = _mm_sub_ps(b0r, b1r), i[1] = _mm_sub_ps(b0i, b1i);
        r[2] = _mm_add_ps(b2r, b3r), i[2] = _mm_add_ps(b2i, b3i);
        r[3] = _mm_sub_ps(b2r, b3r), i[3] = _mm_sub_ps(b2i, b3i);
    });
}

// The even samples sit bit-reversed in x[0..255] and the odd ones in x[256..511], so
// the buffer already is z(m) = x(2m) + i x(2m+1) in split form, ready for the complex
// transform. Its result Z(k) = E(k) + i O(k) is then separated into the spectra of the
// even and odd samples and merged: X(k) = E(k) + W^k O(k), X(256 - k) = conj(E - W^k O),
// with W = e^(+2 pi i / 512). Bins k and 256 - k occupy the same four places
// (k, 256 - k, 256 + k, 512 - k) in Z and in X, so each pair is done in place.
void RealFft::forward(float* x) const {
    complexForward(x, x + kHalf);
    const float z0r = x[0], z0i = x[kHalf];
    x[0] = z0r + z0i;
    x[kHalf] = z0r - z0i;
    // k = 1..128 four at a time; k = 128 pairs with itself and both writes agree.
    const __m128 half = _mm_set1_ps(0.5f);
    for (int k = 1; k <= kHalf / 2; k += 4) {
        const __m128 ar = _mm_loadu_ps(x + k);
        const __m128 ai = _mm_loadu_ps(x + kHalf + k);
        const __m128 br = loadReversed(x + kHalf - k - 3);
        const __m128 bi = loadReversed(x + kSize - k - 3);
        const __m128 er = _mm_mul_ps(_mm_add_ps(ar, br), half);
        const __m128 ei = _mm_mul_ps(_mm_sub_ps(ai, bi), half);
        const __m128 orr = _mm_mul_ps(_mm_add_ps(ai, bi), half);
        const __m128 oi = _mm_mul_ps(_mm_sub_ps(br, ar), half);
        const __m128 c = _mm_loadu_ps(splitCos_ + k), s = _mm_loadu_ps(splitSin_ + k);
        const __m128 wor = _mm_sub_ps(_mm_mul_ps(c, orr), _mm_mul_ps(s, oi));
        const __m128 woi = _mm_add_ps(_mm_mul_ps(c, oi), _mm_mul_ps(s, orr));
        _mm_storeu_ps(x + k, _mm_add_ps(er, wor));
        storeReversed(x + kSize - k - 3, _mm_add_ps(ei, woi));
        storeReversed(x + kHalf - k - 3, _mm_sub_ps(er, wor));
        _mm_storeu_ps(x + kHalf + k, _mm_sub_ps(woi, ei));
    }
}

// The forward steps undone in reverse order: E(k) = (X(k) + conj X(256 - k)) / 2,
// W^k O(k) = (X(k) - conj X(256 - k)) / 2, Z(k) = E(k) + i O(k), then the complex
// inverse leaves z(m) x 256 bit-reversed, which is 256 x(n) at bitReverse(n).
void RealFft::inverse(float* x) const {
    const float x0 = x[0], x256 = x[kHalf];
    x[0] = (x0 + x256) * 0.5f;
    x[kHalf] = (x0 - x256) * 0.5f;
    const __m128 half = _mm_set1_ps(0.5f);
    for (int k = 1; k <= kHalf / 2; k += 4) {
        const __m128 xr = _mm_loadu_ps(x + k);
        const __m128 xi = loadReversed(x + kSize - k - 3);
        const __m128 yr = loadReversed(x + kHalf - k - 3);
        const __m128 yi = _mm_loadu_ps(x + kHalf + k);
        const __m128 er = _mm_mul_ps(_mm_add_ps(xr, yr), half);
        const __m128 ei = _mm_mul_ps(_mm_sub_ps(xi, yi), half);
        const __m128 pr = _mm_mul_ps(_mm_sub_ps(xr, yr), half);
        const __m128 pi = _mm_mul_ps(_mm_add_ps(xi, yi), half);
        const __m128 c = _mm_loadu_ps(splitCos_ + k), s = _mm_loadu_ps(splitSin_ + k);
        const __m128 orr = _mm_add_ps(_mm_mul_ps(c, pr), _mm_mul_ps(s, pi));
        const __m128 oi = _mm_sub_ps(_mm_mul_ps(c, pi), _mm_mul_ps(s, pr));
        _mm_storeu_ps(x + k, _mm_sub_ps(er, oi));
        _mm_storeu_ps(x + kHalf + k, _mm_add_ps(ei, orr));
        storeReversed(x + kHalf - k - 3, _mm_add_ps(er, oi));
        storeReversed(x + kSize - k - 3, _mm_sub_ps(orr, ei));
    }
    complexInverse(x, x + kHalf);
}
