#include "dsp/SimdPath.h"

#include <strings.h>

#include <cstdlib>
#include <initializer_list>

bool simdSupported(SimdPath path) {
    if (path == SimdPath::Sse2) return true;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return path == SimdPath::Avx2 ? __builtin_cpu_supports("avx2") : __builtin_cpu_supports("avx512f");
#else
    return false;
#endif
}

SimdPath widestSimdPath() {
    if (simdSupported(SimdPath::Avx512)) return SimdPath::Avx512;
    return simdSupported(SimdPath::Avx2) ? SimdPath::Avx2 : SimdPath::Sse2;
}

const char* simdPathName(SimdPath path) {
    return path == SimdPath::Avx512 ? "avx512" : path == SimdPath::Avx2 ? "avx2" : "sse2";
}

SimdPath chooseSimdPath(const char* setting, SimdPath widest) {
    if (!setting) return widest;
    for (SimdPath path : {SimdPath::Sse2, SimdPath::Avx2, SimdPath::Avx512})
        if (strcasecmp(setting, simdPathName(path)) == 0)
            return static_cast<int>(path) < static_cast<int>(widest) ? path : widest;
    return widest;
}

SimdPath activeSimdPath() {
    static const SimdPath active = chooseSimdPath(std::getenv("ZORVEK_SIMD"), widestSimdPath());
    return active;
}
