// Finiteness checks of recursive state: a NaN or infinity that reaches a recursion (from
// an input, a fault or a flipped bit) would otherwise stay there for good, so modules
// look at their state after a run and clear it when it went non-finite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace dsp {

// True when no value has all exponent bits set. Tests bits rather than calling isfinite,
// so no floating-point mode changes the answer, and with an add instead of a compare
// (all exponent bits plus one carries into the sign bit) the loop is three plain vector
// operations per vector of values.
inline bool allFinite(const float* values, size_t count) {
    uint32_t carries = 0;
    for (size_t i = 0; i < count; ++i) {
        uint32_t bits;
        std::memcpy(&bits, values + i, sizeof bits);
        carries |= (bits & 0x7F800000u) + 0x00800000u;
    }
    return (carries & 0x80000000u) == 0;
}

inline bool allFinite(const double* values, size_t count) {
    uint64_t carries = 0;
    for (size_t i = 0; i < count; ++i) {
        uint64_t bits;
        std::memcpy(&bits, values + i, sizeof bits);
        carries |= (bits & 0x7FF0000000000000u) + 0x0010000000000000u;
    }
    return (carries & 0x8000000000000000u) == 0;
}

}  // namespace dsp
