// Finiteness checks of recursive state: a NaN or infinity that reaches a recursion (from
// an input, a fault or a flipped bit) would otherwise stay there for good, so modules
// look at their state after a run and clear it when it went non-finite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

namespace dsp {

// True when no value has all exponent bits set. Tests bits rather than calling isfinite,
// so no floating-point mode changes the answer, and with an add instead of a compare
// (all exponent bits plus one carries into the sign bit) the loop is three plain vector
// operations per vector of values.
template <class Float>
inline bool allFinite(const Float* values, size_t count) {
    using Bits = std::conditional_t<sizeof(Float) == 4, uint32_t, uint64_t>;
    constexpr Bits sign = ~(~Bits{0} >> 1);
    constexpr Bits lowestExponentBit = Bits{1} << (std::numeric_limits<Float>::digits - 1);
    constexpr Bits exponent = ~sign & ~(lowestExponentBit - 1);
    auto carry = [&](size_t i) {
        Bits bits;
        std::memcpy(&bits, values + i, sizeof bits);
        return (bits & exponent) + lowestExponentBit;
    };
    // Two chains of ors, so two vectors are taken per cycle.
    constexpr size_t kHalf = 16 / sizeof(Float);
    Bits carries[2][kHalf] = {};
    const size_t whole = count - count % (2 * kHalf);
    for (size_t i = 0; i < whole; i += 2 * kHalf)
        for (size_t c = 0; c < 2; ++c)
            for (size_t j = 0; j < kHalf; ++j) carries[c][j] |= carry(i + c * kHalf + j);
    Bits all = 0;
    for (size_t i = whole; i < count; ++i) all |= carry(i);
    for (const auto& chain : carries)
        for (Bits c : chain) all |= c;
    return (all & sign) == 0;
}

// Whether a and b have the same bits (a NaN equals the same NaN; 0 and -0 differ): a
// value derived from a float again gives the same result only for the same bits.
inline bool sameBits(float a, float b) {
    uint32_t x, y;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x == y;
}

}  // namespace dsp
