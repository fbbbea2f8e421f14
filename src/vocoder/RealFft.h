// 512-point real FFT in place, in the packed layout the spectral vocoder works on.
//
// Packed spectrum (natural order): index 0 holds Re X(0), index k (1..255) Re X(k),
// index 256 Re X(256), index 512 - k Im X(k).
// forward: time samples in bit-reversed order (sample n at index bitReverse(n)) ->
//          packed spectrum, unnormalised, X(k) = sum x(n) e^(+2 pi i k n / 512).
// inverse: packed spectrum -> time samples in bit-reversed order, scaled so that
//          inverse(forward(x)) = 256 x.
// The bit-reversed time order lets the caller scatter samples while filling a frame and
// read them back through bitReverse, so neither transform needs a reordering pass.
// Both are allocation-free and safe on the audio thread; x needs no particular alignment.
#pragma once

class RealFft {
public:
    static constexpr int kSize = 512;

    // 9-bit bit reversal of i (0..511): bitReverse(1) = 256, bitReverse(3) = 384.
    static constexpr int bitReverse(int i) {
        int r = 0;
        for (int b = 0; b < 9; ++b) r |= ((i >> b) & 1) << (8 - b);
        return r;
    }

    RealFft();

    void forward(float* x) const;
    void inverse(float* x) const;

private:
    static constexpr int kHalf = kSize / 2;  // length of the complex transform

    // The real data is handled as 256 complex values z(m) = x(2m) + i x(2m+1) kept in
    // split form: real parts in x[0..255], imaginary parts in x[256..511].
    void complexForward(float* re, float* im) const;
    void complexInverse(float* re, float* im) const;

    // Twiddles e^(+i pi j / h) of the butterfly stages with half span h = 4..128, stored
    // at offset h - 4 (so each stage's run is 16-byte aligned and contiguous).
    alignas(16) float stageCos_[kHalf - 4];
    alignas(16) float stageSin_[kHalf - 4];
    // e^(+2 pi i k / 512) for k = 0..128 (padded to whole vectors), used to separate
    // and merge the spectra of the even and odd samples.
    static constexpr int kSplitTable = kHalf / 2 + 4;
    alignas(16) float splitCos_[kSplitTable];
    alignas(16) float splitSin_[kSplitTable];
};
