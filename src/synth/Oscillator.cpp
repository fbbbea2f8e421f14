#include "synth/Oscillator.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "dsp/ExpTables.h"
#include "dsp/Finite.h"
#include "dsp/ModuleContext.h"
#include "dsp/VectorLanes.h"

namespace {

const ParamValue kCentre{0.5f};

// Indexed by form; the random form draws no shape.
constexpr ShapeConstants kShapes[5] = {
    {0.0f, 0.0f, 0.0f, 0.0f},  {0.5f, 1.5f, kSineScale, 0.14749262f},
    {0.5f, 1.5f, 4.0f, 0.0f},  {0.5f, 1.5f, 100000.0f, 0.0f},  // a triangle this steep clips into a square
    {0.0f, 2.0f, -2.0f, 0.0f},
};

// The random form draws a new level every 0.05125 cycles, about 19.5 times a cycle.
constexpr float kHoldLength = 0.05125f;

}  // namespace

Oscillator::Oscillator(ModuleRack& rack, ModuleContext& moduleContext)
    : DspModule(rack, moduleContext), detuneParam(&kCentre) {}

void Oscillator::onParameter(int32_t, float) {
    // One semitone either way.
    detuneOffset.store((readParam(detuneParam) - 0.5f) * 0.016666669f, std::memory_order_relaxed);
    // A hundredth of an octave to one octave per unit of LFO.
    float fm = readParam(fmAmountParam);
    fmDepth.store(fm == 0.0f ? 0.0f : fastExp10(2.0f * fm) * 0.001f, std::memory_order_relaxed);
    auto f = static_cast<int32_t>(readParam(formParam) * 4.0f + 0.5f);
    form.store(f < kRandom ? kRandom : (f > kSaw ? kSaw : f), std::memory_order_relaxed);
}

void Oscillator::process(int32_t frames, int32_t tick) {
    if (frames <= 0) return;
    if (frames > kMaxFrames) frames = kMaxFrames;
    if (tick) updateVoices();
    int32_t f = form.load(std::memory_order_relaxed);
    if (f == kRandom)
        renderRandom(frames);
    else
        renderPeriodic(frames, kShapes[f]);
    if (!dsp::allFinite(state.phase, kVoices) || !dsp::allFinite(state.held, kVoices)) {
        const VoiceState fresh;
        std::copy(std::begin(fresh.phase), std::end(fresh.phase), state.phase);
        std::copy(std::begin(fresh.held), std::end(fresh.held), state.held);
    }
}

// Control rate, active voices only: inactive voices keep their last increment and width.
void Oscillator::updateVoices() {
    const int32_t* active = context.voiceActive;
    const float pwmAmount = readParam(pwmAmountParam);
    const float width = readParam(pulseWidthParam);
    const float depth = fmDepth.load(std::memory_order_relaxed);
    const float tune = readParam(tuneParam) * 0.4f - 0.2f;  // +-24 semitones, unquantized
    const float detune = detuneOffset.load(std::memory_order_relaxed);
    const auto sampleRate = static_cast<float>(rate());
    for (int v = kVoices - 1; v >= 0; --v) {
        if (!active[v]) continue;
        float pw = pwmSource->v[v] * pwmAmount + width;
        if (pw >= 0.95f)
            pw = 0.95f;
        else if (pw <= 0.0f)
            pw = 0.0f;
        state.pulseWidth[v] = pw;
        state.openWidth[v] = 1.0f - pw;
        state.openScale[v] = 1.0f / (1.0f - pw);

        float p = fmSource->v[v] * depth + tune + pitch->v[v] + detune;
        if (p >= 1.0f)
            p = 1.0f;
        else if (p <= 0.0f)
            p = 0.0f;
        float increment = fastExp2(10.0f * p + 3.0f) / sampleRate;
        state.increment[v] = increment;
        state.reciprocal[v] = 1.0f / increment;
    }
}

// Sample and hold of the shared random generator; draws happen frame by frame, voice 0
// to 7, so the sequence every voice gets depends on the processing order.
void Oscillator::renderRandom(int32_t frames) {
    const int32_t* active = context.voiceActive;
    for (int32_t k = 0; k < frames; ++k) {
        for (int v = 0; v < kVoices; ++v) {
            float& held = state.held[v];
            if (!active[v]) {
                held = 0.0f;
            } else {
                float& phase = state.phase[v];
                phase += state.increment[v];
                while (phase >= kHoldLength) {
                    phase -= kHoldLength;
                    held = (static_cast<float>(context.random.next() & 0x7F) * 0.0078125f - 0.5f) * 2.0f;
                }
                if (phase * 4.0f >= state.openWidth[v]) held = 0.0f;
            }
            out.data[8 * k + v] = held;
        }
    }
}

namespace {

// Vectors of voice lanes: four on the SSE2 path, eight on the AVX2 path. The helpers are
// always inlined, so no call passes an eight-float vector (the warning about how such a
// call would pass it is off for this file; it is reported at the end of the file).
#pragma GCC diagnostic ignored "-Wpsabi"
using lanes::F4;
using lanes::F8;
using lanes::splat;
using lanes::store;
using lanes::wholePart;

// The per-voice arrays a periodic form reads, and the phases it advances.
struct PeriodicVoices {
    const float* increment;
    const float* reciprocal;
    const float* pulseWidth;
    const float* openWidth;
    const float* openScale;
    float* phase;
};

template <class V>
struct Constants {
    V low, high, scale, cubic, zero, one, minusOne, half;

    explicit Constants(const ShapeConstants& c)
        : low(splat<V>(c.low)),
          high(splat<V>(c.high)),
          scale(splat<V>(c.scale)),
          cubic(splat<V>(c.cubic)),
          zero(splat<V>(0.0f)),
          one(splat<V>(1.0f)),
          minusOne(splat<V>(-1.0f)),
          half(splat<V>(0.5f)) {}
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
    [[gnu::always_inline]] inline V step(const Constants<V>& c) {
        phase = phase + increment;
        // Subtracting the whole part keeps the phase in [0, 1) also when an increment
        // exceeds one cycle (rates below 8192 Hz).
        if constexpr (Small) {
            const V wrapped = phase - c.one;
            phase = phase >= c.one ? wrapped : phase;
        } else {
            phase = phase - wholePart(phase);
        }
        // The waveform occupies the last (1 - pw) of the period.
        const V x = lanes::max(phase - pw, c.zero) * openScale;
        const V shaped = lanes::min(c.high - x, lanes::max(c.low - x, x));
        const V u = (shaped - c.half) * c.scale;
        V s = u - c.cubic * ((u * u) * u);
        s = lanes::min(lanes::max(s, c.minusOne), c.one);
        // Fade to 0 within one sample of x = 0, 0.5 and 1: removes the steps of
        // square and saw and silences the pw part of the period.
        const V d = lanes::min(c.one - x, x);
        const V w = lanes::min(d, c.half - d);
        const V fade = lanes::min(w * openWidth, increment) * reciprocal;
        return s * fade;
    }
};

// All eight voices, active or not, branch-free. The vectors of voices run in one loop:
// each frame's phase update is a dependent chain, and independent chains overlap in
// the pipeline.
template <class V>
[[gnu::always_inline]] inline void renderLanes(const PeriodicVoices& voices, const ShapeConstants& shape, float* out,
                                               int32_t frames) {
    constexpr int kWidth = sizeof(V) / sizeof(float);
    constexpr int kGroups = kVoices / kWidth;
    const Constants<V> c(shape);
    PeriodicLanes<V> lanes[kGroups];
    for (int g = 0; g < kGroups; ++g) lanes[g].load(voices, g * kWidth);
    bool small = true;
    for (int v = 0; v < kVoices; ++v) small = small && voices.increment[v] < 1.0f;
    auto run = [&]<bool Small>() __attribute__((always_inline)) {
        for (int32_t k = 0; k < frames; ++k, out += kVoices)
            for (int g = 0; g < kGroups; ++g) store(out + g * kWidth, lanes[g].template step<Small>(c));
    };
    if (small)
        run.template operator()<true>();
    else
        run.template operator()<false>();
    for (int g = 0; g < kGroups; ++g) store(voices.phase + g * kWidth, lanes[g].phase);
}

void renderBaseline(const PeriodicVoices& voices, const ShapeConstants& shape, float* out, int32_t frames) {
    renderLanes<F4>(voices, shape, out, frames);
}

ZORVEK_TARGET_AVX2 void renderAvx2(const PeriodicVoices& voices, const ShapeConstants& shape, float* out,
                                   int32_t frames) {
    renderLanes<F8>(voices, shape, out, frames);
}

// Eight voices fill one AVX2 vector: the AVX-512 path renders with it too.
constexpr SimdKernels<void (*)(const PeriodicVoices&, const ShapeConstants&, float*, int32_t)> kRender{&renderBaseline,
                                                                                                       &renderAvx2,
                                                                                                       &renderAvx2};

}  // namespace

bool Oscillator::usePath(SimdPath wanted) {
    if (!simdSupported(wanted)) return false;
    path = wanted;
    return true;
}

void Oscillator::renderPeriodic(int32_t frames, const ShapeConstants& c) {
    const PeriodicVoices voices{state.increment, state.reciprocal, state.pulseWidth,
                                state.openWidth, state.openScale,  state.phase};
    kRender[path](voices, c, out.data, frames);
}
