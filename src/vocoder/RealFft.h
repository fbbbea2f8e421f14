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
// The vector width is the plug-in's active path; every width gives the same bits.
#pragma once

#include "dsp/SimdPath.h"

class RealFft {
public:
    static constexpr int kSize = 512;

    // 9-bit bit reversal of i (0..511): bitReverse(1) = 256, bitReverse(3) = 384.
    static constexpr int bitReverse(int i) {
        int r = 0;
        for (int b = 0; b < 9; ++b) r |= ((i >> b) & 1) << (8 - b);
        return r;
    }

    static constexpr int kHalf = kSize / 2;  // length of the complex transform

    RealFft();

    void forward(float* x) const { forwardKernel(tables, x); }
    void inverse(float* x) const { inverseKernel(tables, x); }
    // forward, then Re X(k) and Im X(k) times gains[k] for k = 1..255 and bins 0 and 256
    // cleared, then inverse: the same bits as the three steps, in fewer passes.
    void shape(float* x, const float* gains) const { shapeKernel(tables, x, gains); }

    // Selects another instruction set (for tests and benchmarks); false if this
    // processor lacks it.
    bool usePath(SimdPath path);
    SimdPath path() const { return current; }

    // The real data is handled as 256 complex values z(m) = x(2m) + i x(2m+1) kept in
    // split form: real parts in x[0..255], imaginary parts in x[256..511].
    struct Tables {
        // Twiddles e^(+i pi j / h) of the butterfly stages with half span h = 4..128,
        // stored at offset h - 4 (so each stage's run is aligned and contiguous).
        alignas(64) float stageCos[kHalf - 4];
        alignas(64) float stageSin[kHalf - 4];
        // e^(+2 pi i k / 512) for k = 0..128 (padded to whole vectors), used to separate
        // and merge the spectra of the even and odd samples.
        static constexpr int kSplit = kHalf / 2 + 4;
        alignas(64) float splitCos[kSplit];
        alignas(64) float splitSin[kSplit];
    };

    using Kernel = void (*)(const Tables&, float*);
    using ShapeKernel = void (*)(const Tables&, float*, const float*);

private:
    Tables tables;
    Kernel forwardKernel;
    Kernel inverseKernel;
    ShapeKernel shapeKernel;
    SimdPath current = SimdPath::Sse2;
};
