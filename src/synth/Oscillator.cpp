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
    beginRender(frames, tick, false);
    endRender();
}

bool Oscillator::beginRender(int32_t frames, int32_t tick, bool leaveSmallPeriodic) {
    if (tick) updateVoices();
    renderForm = form.load(std::memory_order_relaxed);
    if (renderForm == kRandom) {
        renderRandom(frames);
        return false;
    }
    if (leaveSmallPeriodic && smallIncrements()) return true;
    renderPeriodic(frames);
    return false;
}

void Oscillator::endRender() {
    if (!dsp::allFinite(state.phase, kVoices) || !dsp::allFinite(state.held, kVoices)) {
        const VoiceState fresh;
        std::copy(std::begin(fresh.phase), std::end(fresh.phase), state.phase);
        std::copy(std::begin(fresh.held), std::end(fresh.held), state.held);
    }
}

voicelanes::PeriodicVoices Oscillator::periodicVoices() {
    return {state.increment, state.reciprocal, state.pulseWidth, state.openWidth, state.openScale, state.phase};
}

const ShapeConstants& Oscillator::shape() const { return kShapes[renderForm]; }

bool Oscillator::smallIncrements() const {
    bool small = true;
    for (float increment : state.increment) small = small && increment < 1.0f;
    return small;
}

// Control rate, active voices only: inactive voices keep their last increment and width.
// The division and the table lookup run only for a value that moved.
void Oscillator::updateVoices() {
    const int32_t* active = context.voiceActive;
    const float pwmAmount = readParam(pwmAmountParam);
    const float width = readParam(pulseWidthParam);
    const float depth = fmDepth.load(std::memory_order_relaxed);
    const float tune = readParam(tuneParam) * 0.4f - 0.2f;  // +-24 semitones, unquantized
    const float detune = detuneOffset.load(std::memory_order_relaxed);
    const auto sampleRate = static_cast<float>(rate());
    if (!dsp::sameBits(sampleRate, state.rateKey)) {
        state.rateKey = sampleRate;
        std::fill(std::begin(state.pitchKey), std::end(state.pitchKey), -1.0f);
    }
    for (int v = kVoices - 1; v >= 0; --v) {
        if (!active[v]) continue;
        float pw = pwmSource->v[v] * pwmAmount + width;
        if (pw >= 0.95f)
            pw = 0.95f;
        else if (pw <= 0.0f)
            pw = 0.0f;
        if (!dsp::sameBits(pw, state.widthKey[v])) {
            state.widthKey[v] = pw;
            state.pulseWidth[v] = pw;
            state.openWidth[v] = 1.0f - pw;
            state.openScale[v] = 1.0f / (1.0f - pw);
        }

        float p = fmSource->v[v] * depth + tune + pitch->v[v] + detune;
        if (p >= 1.0f)
            p = 1.0f;
        else if (p <= 0.0f)
            p = 0.0f;
        if (dsp::sameBits(p, state.pitchKey[v])) continue;
        state.pitchKey[v] = p;
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
using lanes::store;
using voicelanes::PeriodicLanes;
using voicelanes::PeriodicVoices;
using voicelanes::ShapeLanes;

// All eight voices, active or not, branch-free. The vectors of voices run in one loop:
// each frame's phase update is a dependent chain, and independent chains overlap in
// the pipeline.
template <class V>
[[gnu::always_inline]] inline void renderLanes(const PeriodicVoices& voices, const ShapeConstants& shape, bool small,
                                               float* out, int32_t frames) {
    constexpr int kWidth = sizeof(V) / sizeof(float);
    constexpr int kGroups = kVoices / kWidth;
    const ShapeLanes<V> c(shape);
    const voicelanes::Limits<V> limits;
    PeriodicLanes<V> lanes[kGroups];
    for (int g = 0; g < kGroups; ++g) lanes[g].load(voices, g * kWidth);
    auto run = [&]<bool Small>() __attribute__((always_inline)) {
        for (int32_t k = 0; k < frames; ++k, out += kVoices)
            for (int g = 0; g < kGroups; ++g) store(out + g * kWidth, lanes[g].template step<Small>(c, limits));
    };
    if (small)
        run.template operator()<true>();
    else
        run.template operator()<false>();
    for (int g = 0; g < kGroups; ++g) store(voices.phase + g * kWidth, lanes[g].phase);
}

void renderBaseline(const PeriodicVoices& voices, const ShapeConstants& shape, bool small, float* out, int32_t frames) {
    renderLanes<F4>(voices, shape, small, out, frames);
}

ZORVEK_TARGET_AVX2 void renderAvx2(const PeriodicVoices& voices, const ShapeConstants& shape, bool small, float* out,
                                   int32_t frames) {
    renderLanes<F8>(voices, shape, small, out, frames);
}

// Eight voices fill one AVX2 vector: the AVX-512 path renders with it too.
constexpr SimdKernels<void (*)(const PeriodicVoices&, const ShapeConstants&, bool, float*, int32_t)> kRender{
    &renderBaseline, &renderAvx2, &renderAvx2};

}  // namespace

bool Oscillator::usePath(SimdPath wanted) {
    if (!simdSupported(wanted)) return false;
    path = wanted;
    return true;
}

void Oscillator::renderPeriodic(int32_t frames) {
    kRender[path](periodicVoices(), shape(), smallIncrements(), out.data, frames);
}
