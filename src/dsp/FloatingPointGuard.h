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
    FloatingPointGuard() : saved(controlState()) { setControlState(saved | kFlushToZero); }
    ~FloatingPointGuard() { setControlState(saved); }
    FloatingPointGuard(const FloatingPointGuard&) = delete;
    FloatingPointGuard& operator=(const FloatingPointGuard&) = delete;

    // The processor's floating-point control register (MXCSR or FPCR); 0 elsewhere.
    static uint64_t controlState() {
#if defined(__SSE__)
        return _mm_getcsr();
#elif defined(__aarch64__)
        uint64_t state;
        asm volatile("mrs %0, fpcr" : "=r"(state));
        return state;
#else
        return 0;
#endif
    }

private:
#if defined(__SSE__)
    static constexpr uint64_t kFlushToZero = 0x8800u;  // flush-to-zero and underflow mask
#elif defined(__aarch64__)
    static constexpr uint64_t kFlushToZero = uint64_t{1} << 24;  // FPCR.FZ
#else
    static constexpr uint64_t kFlushToZero = 0;
#endif

    static void setControlState(uint64_t state) {
#if defined(__SSE__)
        _mm_setcsr(static_cast<unsigned int>(state));
#elif defined(__aarch64__)
        asm volatile("msr fpcr, %0" : : "r"(state));
#else
        (void)state;
#endif
    }

    uint64_t saved;
};
