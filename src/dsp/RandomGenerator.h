// The linear congruential generator shared, in processing order, by the random forms
// of the oscillators and the LFO. Audio thread only.
#pragma once

#include <cstdint>

class RandomGenerator {
public:
    void seed(uint32_t value) { state = value; }
    // 0 to 32767.
    int32_t next() {
        state = state * 214013u + 2531011u;
        return static_cast<int32_t>((state >> 16) & 0x7FFF);
    }
    uint32_t current() const { return state; }

private:
    uint32_t state = 1;
};
