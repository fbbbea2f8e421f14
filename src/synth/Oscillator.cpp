#include "synth/Oscillator.h"

#include <emmintrin.h>
#include <xmmintrin.h>

#include "dsp/ExpTables.h"
#include "dsp/ModuleContext.h"

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

// All eight voices, active or not, two groups of four lanes, branch-free.
void Oscillator::renderPeriodic(int32_t frames, const ShapeConstants& c) {
    const __m128 zero = _mm_setzero_ps();
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 minusOne = _mm_set1_ps(-1.0f);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 low = _mm_set1_ps(c.low);
    const __m128 high = _mm_set1_ps(c.high);
    const __m128 scale = _mm_set1_ps(c.scale);
    const __m128 cubic = _mm_set1_ps(c.cubic);
    for (int g = 0; g < kVoices; g += 4) {
        const __m128 increment = _mm_load_ps(state.increment + g);
        const __m128 reciprocal = _mm_load_ps(state.reciprocal + g);
        const __m128 pw = _mm_load_ps(state.pulseWidth + g);
        const __m128 openWidth = _mm_load_ps(state.openWidth + g);
        const __m128 openScale = _mm_load_ps(state.openScale + g);
        __m128 phase = _mm_load_ps(state.phase + g);
        float* o = out.data + g;
        for (int32_t k = 0; k < frames; ++k, o += kVoices) {
            phase = _mm_add_ps(phase, increment);
            // Subtracting the whole part equals subtracting 1 for phases below 2, and
            // keeps the phase in [0, 1) when an increment exceeds one cycle (rates below
            // 8192 Hz).
            phase = _mm_sub_ps(phase, _mm_cvtepi32_ps(_mm_cvttps_epi32(phase)));
            // The waveform occupies the last (1 - pw) of the period.
            __m128 x = _mm_mul_ps(_mm_max_ps(_mm_sub_ps(phase, pw), zero), openScale);
            __m128 shaped = _mm_min_ps(_mm_sub_ps(high, x), _mm_max_ps(_mm_sub_ps(low, x), x));
            __m128 u = _mm_mul_ps(_mm_sub_ps(shaped, half), scale);
            __m128 s = _mm_sub_ps(u, _mm_mul_ps(cubic, _mm_mul_ps(_mm_mul_ps(u, u), u)));
            s = _mm_min_ps(_mm_max_ps(s, minusOne), one);
            // Fade to 0 within one sample of x = 0, 0.5 and 1: removes the steps of
            // square and saw and silences the pw part of the period.
            __m128 d = _mm_min_ps(_mm_sub_ps(one, x), x);
            __m128 w = _mm_min_ps(d, _mm_sub_ps(half, d));
            __m128 fade = _mm_mul_ps(_mm_min_ps(_mm_mul_ps(w, openWidth), increment), reciprocal);
            _mm_store_ps(o, _mm_mul_ps(s, fade));
        }
        _mm_store_ps(state.phase + g, phase);
    }
}
