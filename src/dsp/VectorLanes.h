// Loads and stores of GCC vector types from arrays of their element type, for the
// vector paths written once for every width. memcpy needs no alignment and becomes one
// instruction of the width of the function the helper is inlined into.
#pragma once

#include <cstring>

// Always inlined, so no call passes a wide vector by value: the warning about how such a
// call would pass it does not apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace lanes {

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

}  // namespace lanes

#pragma GCC diagnostic pop
