// Sets flush-to-zero for a processing call and restores the caller's floating-point
// control state afterwards (the host owns its thread). On x86_64 it sets MXCSR's
// flush-to-zero bit and masks the underflow exception; denormal inputs are left as they
// are (denormals-are-zero stays off). On aarch64 it sets FPCR.FZ, which flushes denormal
// results and also reads denormal inputs as zero.
#pragma once

#include <cstdint>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

class FloatingPointGuard {
public:
    FloatingPointGuard() {
#if defined(__SSE__)
        saved = _mm_getcsr();
        _mm_setcsr(static_cast<unsigned int>(saved) | 0x8800u);  // flush-to-zero and underflow mask
#elif defined(__aarch64__)
        asm volatile("mrs %0, fpcr" : "=r"(saved));
        const uint64_t flushToZero = saved | (uint64_t{1} << 24);
        asm volatile("msr fpcr, %0" : : "r"(flushToZero));
#endif
    }
    ~FloatingPointGuard() {
#if defined(__SSE__)
        _mm_setcsr(static_cast<unsigned int>(saved));
#elif defined(__aarch64__)
        asm volatile("msr fpcr, %0" : : "r"(saved));
#endif
    }
    FloatingPointGuard(const FloatingPointGuard&) = delete;
    FloatingPointGuard& operator=(const FloatingPointGuard&) = delete;

private:
    uint64_t saved = 0;
};
