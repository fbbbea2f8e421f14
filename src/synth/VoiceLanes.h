// One frame of the voice modules for a vector of voice lanes (four or eight voices):
// the periodic oscillator forms, the ladder filter and the voice sum. Each module's own
// frame loop and the fused loop of VoiceChain step with these, so both give the same bits.
#pragma once

#include "dsp/Buffers.h"
#include "dsp/VectorLanes.h"
#include "synth/ShapeConstants.h"

// Always inlined, so no call passes an eight-float vector.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace voicelanes {

// The per-voice arrays a periodic oscillator form reads, and the phases it advances.
struct PeriodicVoices {
    const float* increment;
    const float* reciprocal;
    const float* pulseWidth;
    const float* openWidth;
    const float* openScale;
    float* phase;
};

// The limits the steps clamp with, once for all vectors of a loop, as values the compiler
// does not know: a min or max against them stays one instruction (lanes::opaque).
template <class V>
struct Limits {
    V zero = lanes::opaque(lanes::splat<V>(0.0f));
    V one = lanes::opaque(lanes::splat<V>(1.0f));
    V minusOne = lanes::opaque(lanes::splat<V>(-1.0f));
    V saturation = lanes::opaque(lanes::splat<V>(1.5f));
    V minusSaturation = lanes::opaque(lanes::splat<V>(-1.5f));
};

// The constants of a periodic form.
template <class V>
struct ShapeLanes {
    V low, high, scale, cubic, half;

    explicit ShapeLanes(const ShapeConstants& c)
        : low(lanes::splat<V>(c.low)),
          high(lanes::splat<V>(c.high)),
          scale(lanes::splat<V>(c.scale)),
          cubic(lanes::splat<V>(c.cubic)),
          half(lanes::splat<V>(0.5f)) {}
};

// One vector of voices of a periodic form, held in registers over a sub-block.
template <class V>
struct PeriodicLanes {
    V increment, reciprocal, pw, openWidth, openScale, phase;

    [[gnu::always_inline]] inline void load(const PeriodicVoices& v, int g) {
        increment = lanes::load<V>(v.increment + g);
        reciprocal = lanes::load<V>(v.reciprocal + g);
        pw = lanes::load<V>(v.pulseWidth + g);
        openWidth = lanes::load<V>(v.openWidth + g);
        openScale = lanes::load<V>(v.openScale + g);
        phase = lanes::load<V>(v.phase + g);
    }

    // Small: every increment is below one cycle, so the advanced phase is below 2 and
    // its whole part is 0 or 1; subtracting 1 where it reaches 1 gives the same bits as
    // subtracting the whole part, with a shorter chain from frame to frame.
    template <bool Small>
    [[gnu::always_inline]] inline V step(const ShapeLanes<V>& c, const Limits<V>& l) {
        phase = phase + increment;
        // Subtracting the whole part keeps the phase in [0, 1) also when an increment
        // exceeds one cycle (rates below 8192 Hz).
        if constexpr (Small) {
            const V wrapped = phase - l.one;
            phase = phase >= l.one ? wrapped : phase;
        } else {
            phase = phase - lanes::wholePart(phase);
        }
        // The waveform occupies the last (1 - pw) of the period.
        const V x = lanes::max(phase - pw, l.zero) * openScale;
        const V shaped = lanes::min(c.high - x, lanes::max(c.low - x, x));
        const V u = (shaped - c.half) * c.scale;
        V s = u - c.cubic * ((u * u) * u);
        s = lanes::min(lanes::max(s, l.minusOne), l.one);
        // Fade to 0 within one sample of x = 0, 0.5 and 1: removes the steps of
        // square and saw and silences the pw part of the period.
        const V d = lanes::min(l.one - x, x);
        const V w = lanes::min(d, c.half - d);
        const V fade = lanes::min(w * openWidth, increment) * reciprocal;
        return s * fade;
    }
};

// The ladder filter's per-voice coefficients and state, one lane per voice.
struct alignas(16) LadderVoices {
    float b0[kVoices] = {};
    float b1[kVoices] = {};
    float a1[kVoices] = {};
    float feedback[kVoices] = {};
    float s1[kVoices] = {};
    float s2[kVoices] = {};
    float s3[kVoices] = {};
    float y[kVoices] = {};     // saturated section 4, also the feedback source
    float prev[kVoices] = {};  // previous input of section 1
};

// One vector of ladder voices: coefficients and state held in registers over a sub-block.
template <class V>
struct LadderLanes {
    V b0, b1, a1, feedback;
    V s1, s2, s3, y, prev;

    [[gnu::always_inline]] inline void load(const LadderVoices& v, int g) {
        using lanes::load;
        b0 = load<V>(v.b0 + g);
        b1 = load<V>(v.b1 + g);
        a1 = load<V>(v.a1 + g);
        feedback = load<V>(v.feedback + g);
        s1 = load<V>(v.s1 + g);
        s2 = load<V>(v.s2 + g);
        s3 = load<V>(v.s3 + g);
        y = load<V>(v.y + g);
        prev = load<V>(v.prev + g);
    }

    [[gnu::always_inline]] inline void store(LadderVoices& v, int g) const {
        lanes::store(v.s1 + g, s1);
        lanes::store(v.s2 + g, s2);
        lanes::store(v.s3 + g, s3);
        lanes::store(v.y + g, y);
        lanes::store(v.prev + g, prev);
    }

    // One frame; answers the clamped output.
    [[gnu::always_inline]] inline V step(const V& input, const Limits<V>& l) {
        using lanes::splat;
        const V bend = splat<V>(0.14815f);  // about 4/27: maps +-1.5 to +-1
        const V u = input - feedback * y;
        // Each section: y[n] = p (x[n] + x[n-1]) - k y[n-1].
        const V n1 = (b0 * u + b1 * prev) - a1 * s1;
        prev = u;
        const V n2 = (b0 * n1 + b1 * s1) - a1 * s2;
        const V n3 = (b0 * n2 + b1 * s2) - a1 * s3;
        const V s4 = (b0 * n3 + b1 * s3) - a1 * y;
        s1 = n1;
        s2 = n2;
        s3 = n3;
        // min/max answer the constant for a NaN s4: the feedback source stays finite.
        const V z = lanes::max(lanes::min(s4, l.saturation), l.minusSaturation);
        y = z - bend * ((z * z) * z);
        return lanes::max(lanes::min(y, l.one), l.minusOne);
    }
};

// The voice summer's sum of one frame, voices 0-3 in low and 4-7 in high: pairs
// (x0+x4, x1+x5, x2+x6, x3+x7), then ((x0+x4)+(x1+x5)) + ((x2+x6)+(x3+x7)), halved.
[[gnu::always_inline]] inline float voiceSum(const lanes::F4& low, const lanes::F4& high) {
    const lanes::F4 pairs = low + high;
    return ((pairs[0] + pairs[1]) + (pairs[2] + pairs[3])) * 0.5f;
}

}  // namespace voicelanes

#pragma GCC diagnostic pop
