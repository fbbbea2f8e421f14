// Sets flush-to-zero and denormals-are-zero for a processing call and restores the
// caller's floating-point control state afterwards (the host owns its thread).
#pragma once

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

class FloatingPointGuard {
public:
    FloatingPointGuard() {
#if defined(__SSE__)
        saved = _mm_getcsr();
        _mm_setcsr(saved | 0x8800u);  // flush-to-zero and underflow mask
#endif
    }
    ~FloatingPointGuard() {
#if defined(__SSE__)
        _mm_setcsr(saved);
#endif
    }
    FloatingPointGuard(const FloatingPointGuard&) = delete;
    FloatingPointGuard& operator=(const FloatingPointGuard&) = delete;

private:
    unsigned int saved = 0;
};
