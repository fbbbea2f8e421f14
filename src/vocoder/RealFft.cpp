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

}  // namespace

RealFft::RealFft() {
    for (int h = 4; h < kHalf; h *= 2)
        for (int j = 0; j < h; ++j) unitCircle(j, 2 * h, stageCos_[h - 4 + j], stageSin_[h - 4 + j]);
    for (int k = 0; k <= kHalf / 2; ++k) unitCircle(k, kSize, splitCos_[k], splitSin_[k]);
    for (int k = kHalf / 2 + 1; k < kSplitTable; ++k) splitCos_[k] = splitSin_[k] = 0.0f;
}

// Decimation in time: bit-reversed input, natural-order output, kernel e^(+i ...).
void RealFft::complexForward(float* re, float* im) const {
    // Half spans 1 and 2 as one radix-4 pass; four groups of four are transposed so
    // that each vector holds the same element of four groups.
    for (int g = 0; g < kHalf; g += 16) {
        __m128 r0 = _mm_loadu_ps(re + g), r1 = _mm_loadu_ps(re + g + 4);
        __m128 r2 = _mm_loadu_ps(re + g + 8), r3 = _mm_loadu_ps(re + g + 12);
        __m128 i0 = _mm_loadu_ps(im + g), i1 = _mm_loadu_ps(im + g + 4);
        __m128 i2 = _mm_loadu_ps(im + g + 8), i3 = _mm_loadu_ps(im + g + 12);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _MM_TRANSPOSE4_PS(i0, i1, i2, i3);
        const __m128 a0r = _mm_add_ps(r0, r1), a1r = _mm_sub_ps(r0, r1);
        const __m128 a2r = _mm_add_ps(r2, r3), a3r = _mm_sub_ps(r2, r3);
        const __m128 a0i = _mm_add_ps(i0, i1), a1i = _mm_sub_ps(i0, i1);
        const __m128 a2i = _mm_add_ps(i2, i3), a3i = _mm_sub_ps(i2, i3);
        // Twiddles 1 and e^(+i pi / 2) = i.
        r0 = _mm_add_ps(a0r, a2r);
        i0 = _mm_add_ps(a0i, a2i);
        r2 = _mm_sub_ps(a0r, a2r);
        i2 = _mm_sub_ps(a0i, a2i);
        r1 = _mm_sub_ps(a1r, a3i);
        i1 = _mm_add_ps(a1i, a3r);
        r3 = _mm_add_ps(a1r, a3i);
        i3 = _mm_sub_ps(a1i, a3r);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _MM_TRANSPOSE4_PS(i0, i1, i2, i3);
        _mm_storeu_ps(re + g, r0), _mm_storeu_ps(re + g + 4, r1);
        _mm_storeu_ps(re + g + 8, r2), _mm_storeu_ps(re + g + 12, r3);
        _mm_storeu_ps(im + g, i0), _mm_storeu_ps(im + g + 4, i1);
        _mm_storeu_ps(im + g + 8, i2), _mm_storeu_ps(im + g + 12, i3);
    }
    for (int h = 4; h < kHalf; h *= 2) {
        const float* wc = stageCos_ + h - 4;
        const float* ws = stageSin_ + h - 4;
        for (int b = 0; b < kHalf; b += 2 * h) {
            for (int j = 0; j < h; j += 4) {
                const int a = b + j, c = a + h;
                const __m128 wr = _mm_load_ps(wc + j), wi = _mm_load_ps(ws + j);
                const __m128 ar = _mm_loadu_ps(re + a), ai = _mm_loadu_ps(im + a);
                const __m128 cr = _mm_loadu_ps(re + c), ci = _mm_loadu_ps(im + c);
                const __m128 tr = _mm_sub_ps(_mm_mul_ps(cr, wr), _mm_mul_ps(ci, wi));
                const __m128 ti = _mm_add_ps(_mm_mul_ps(cr, wi), _mm_mul_ps(ci, wr));
                _mm_storeu_ps(re + a, _mm_add_ps(ar, tr));
                _mm_storeu_ps(im + a, _mm_add_ps(ai, ti));
                _mm_storeu_ps(re + c, _mm_sub_ps(ar, tr));
                _mm_storeu_ps(im + c, _mm_sub_ps(ai, ti));
            }
        }
    }
}

// Decimation in frequency: natural-order input, bit-reversed output, kernel e^(-i ...),
// unnormalised (a forward/inverse pair multiplies by 256).
void RealFft::complexInverse(float* re, float* im) const {
    for (int h = kHalf / 2; h >= 4; h /= 2) {
        const float* wc = stageCos_ + h - 4;
        const float* ws = stageSin_ + h - 4;
        for (int b = 0; b < kHalf; b += 2 * h) {
            for (int j = 0; j < h; j += 4) {
                const int a = b + j, c = a + h;
                const __m128 wr = _mm_load_ps(wc + j), wi = _mm_load_ps(ws + j);
                const __m128 ar = _mm_loadu_ps(re + a), ai = _mm_loadu_ps(im + a);
                const __m128 cr = _mm_loadu_ps(re + c), ci = _mm_loadu_ps(im + c);
                const __m128 dr = _mm_sub_ps(ar, cr), di = _mm_sub_ps(ai, ci);
                _mm_storeu_ps(re + a, _mm_add_ps(ar, cr));
                _mm_storeu_ps(im + a, _mm_add_ps(ai, ci));
                _mm_storeu_ps(re + c, _mm_add_ps(_mm_mul_ps(dr, wr), _mm_mul_ps(di, wi)));
                _mm_storeu_ps(im + c, _mm_sub_ps(_mm_mul_ps(di, wr), _mm_mul_ps(dr, wi)));
            }
        }
    }
    for (int g = 0; g < kHalf; g += 16) {
        __m128 r0 = _mm_loadu_ps(re + g), r1 = _mm_loadu_ps(re + g + 4);
        __m128 r2 = _mm_loadu_ps(re + g + 8), r3 = _mm_loadu_ps(re + g + 12);
        __m128 i0 = _mm_loadu_ps(im + g), i1 = _mm_loadu_ps(im + g + 4);
        __m128 i2 = _mm_loadu_ps(im + g + 8), i3 = _mm_loadu_ps(im + g + 12);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _MM_TRANSPOSE4_PS(i0, i1, i2, i3);
        // Half span 2 with twiddles 1 and e^(-i pi / 2) = -i, then half span 1.
        const __m128 b0r = _mm_add_ps(r0, r2), b2r = _mm_sub_ps(r0, r2);
        const __m128 b0i = _mm_add_ps(i0, i2), b2i = _mm_sub_ps(i0, i2);
        const __m128 b1r = _mm_add_ps(r1, r3), b3i = _mm_sub_ps(r3, r1);
        const __m128 b1i = _mm_add_ps(i1, i3), b3r = _mm_sub_ps(i1, i3);
        r0 = _mm_add_ps(b0r, b1r);
        i0 = _mm_add_ps(b0i, b1i);
        r1 = _mm_sub_ps(b0r, b1r);
        i1 = _mm_sub_ps(b0i, b1i);
        r2 = _mm_add_ps(b2r, b3r);
        i2 = _mm_add_ps(b2i, b3i);
        r3 = _mm_sub_ps(b2r, b3r);
        i3 = _mm_sub_ps(b2i, b3i);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _MM_TRANSPOSE4_PS(i0, i1, i2, i3);
        _mm_storeu_ps(re + g, r0), _mm_storeu_ps(re + g + 4, r1);
        _mm_storeu_ps(re + g + 8, r2), _mm_storeu_ps(re + g + 12, r3);
        _mm_storeu_ps(im + g, i0), _mm_storeu_ps(im + g + 4, i1);
        _mm_storeu_ps(im + g + 8, i2), _mm_storeu_ps(im + g + 12, i3);
    }
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
