#include "synth/VoiceChain.h"

#include "synth/Amplifier.h"
#include "synth/LadderFilter.h"
#include "synth/Oscillator.h"
#include "synth/OscillatorMixer.h"
#include "synth/VoiceLanes.h"
#include "synth/VoiceSummer.h"

VoiceChain::VoiceChain(ModuleContext& moduleContext, Oscillator& a, Oscillator& b, OscillatorMixer& mix, Amplifier& amp,
                       LadderFilter& ladder, VoiceSummer& sum)
    : DspModule(moduleContext),
      oscillatorA(a),
      oscillatorB(b),
      mixer(mix),
      amplifier(amp),
      filter(ladder),
      summer(sum) {
    usePath(activeSimdPath());
}

bool VoiceChain::chained() const {
    return mixer.inputA == &oscillatorA.output() && mixer.inputB == &oscillatorB.output() &&
           amplifier.signal == &mixer.output() && filter.signal == &amplifier.output() &&
           summer.signal == &filter.output();
}

namespace {

// Vectors of voice lanes: four on the SSE2 path, eight on the wider ones. The helpers
// are always inlined, so no call passes an eight-float vector (the warning about how such
// a call would pass it is off for this file; it is reported at the end of the file).
#pragma GCC diagnostic ignored "-Wpsabi"
using lanes::F4;
using lanes::F8;
using lanes::load;
using lanes::splat;
using lanes::store;

}  // namespace

struct VoiceChain::Block {
    voicelanes::PeriodicVoices voicesA, voicesB;
    ShapeConstants shapeA, shapeB;
    const float* renderedA;  // an oscillator's own output, when it rendered its frames
    const float* renderedB;
    OscillatorMixer::Gains mix;
    float* gains;  // the amplifier's, ramped by steps
    const float* steps;
    voicelanes::LadderVoices* ladder;
    float* out;  // the summer's
};

namespace {

using Chain = VoiceChain::Block;

// Both oscillators, the mixer, the amplifier and the ladder for all eight voices, then the
// sum of the voices, frame by frame. PeriodicA and PeriodicB: the oscillator's frames
// are stepped here (else read from its output). Each oscillator's phase wraps by a
// compare: the loop runs only while every increment is below one cycle.
template <class V, bool PeriodicA, bool PeriodicB>
[[gnu::always_inline]] inline void renderLanes(const Chain& c, int32_t frames) {
    constexpr int kWidth = lanes::kWidth<V>;
    constexpr int kGroups = kVoices / kWidth;
    const voicelanes::ShapeLanes<V> shapeA(c.shapeA), shapeB(c.shapeB);
    const voicelanes::Limits<V> limits;
    voicelanes::PeriodicLanes<V> a[kGroups], b[kGroups];
    voicelanes::LadderLanes<V> ladder[kGroups];
    V gain[kGroups], step[kGroups];
    for (int g = 0; g < kGroups; ++g) {
        if constexpr (PeriodicA) a[g].load(c.voicesA, g * kWidth);
        if constexpr (PeriodicB) b[g].load(c.voicesB, g * kWidth);
        ladder[g].load(*c.ladder, g * kWidth);
        gain[g] = load<V>(c.gains + g * kWidth);
        step[g] = load<V>(c.steps + g * kWidth);
    }
    const V gainA = splat<V>(c.mix.a), gainB = splat<V>(c.mix.b);
    for (int32_t k = 0; k < frames; ++k) {
        V y[kGroups];
        for (int g = 0; g < kGroups; ++g) {
            const int i = kVoices * k + g * kWidth;
            V xa, xb;
            if constexpr (PeriodicA)
                xa = a[g].template step<true>(shapeA, limits);
            else
                xa = load<V>(c.renderedA + i);
            if constexpr (PeriodicB)
                xb = b[g].template step<true>(shapeB, limits);
            else
                xb = load<V>(c.renderedB + i);
            const V amplified = (xa * gainA + xb * gainB) * gain[g];
            gain[g] = gain[g] + step[g];
            y[g] = ladder[g].step(amplified, limits);
        }
        float sum;
        if constexpr (kGroups == 2)
            sum = voicelanes::voiceSum(y[0], y[1]);
        else
            sum = voicelanes::voiceSum(__builtin_shufflevector(y[0], y[0], 0, 1, 2, 3),
                                       __builtin_shufflevector(y[0], y[0], 4, 5, 6, 7));
        c.out[2 * k] = sum;
        c.out[2 * k + 1] = sum;
    }
    for (int g = 0; g < kGroups; ++g) {
        if constexpr (PeriodicA) store(c.voicesA.phase + g * kWidth, a[g].phase);
        if constexpr (PeriodicB) store(c.voicesB.phase + g * kWidth, b[g].phase);
        ladder[g].store(*c.ladder, g * kWidth);
        store(c.gains + g * kWidth, gain[g]);
    }
}

// The four pairs of oscillator cases: the forms' differences are constants only.
template <class V>
[[gnu::always_inline]] inline void renderCases(const Chain& c, bool periodicA, bool periodicB, int32_t frames) {
    if (periodicA && periodicB)
        renderLanes<V, true, true>(c, frames);
    else if (periodicA)
        renderLanes<V, true, false>(c, frames);
    else if (periodicB)
        renderLanes<V, false, true>(c, frames);
    else
        renderLanes<V, false, false>(c, frames);
}

void renderBaseline(const Chain& c, bool periodicA, bool periodicB, int32_t frames) {
    renderCases<F4>(c, periodicA, periodicB, frames);
}

ZORVEK_TARGET_AVX2 void renderAvx2(const Chain& c, bool periodicA, bool periodicB, int32_t frames) {
    renderCases<F8>(c, periodicA, periodicB, frames);
}

// Eight voices fill one AVX2 vector; the AVX-512 path takes the same vectors with the
// 32 registers of AVX-512 (its forms for 256-bit vectors, AVX512VL), which hold the loop's
// constants and states that spill to memory on the AVX2 path.
#if defined(__x86_64__) || defined(__i386__)
#define ZORVEK_TARGET_AVX512VL __attribute__((target("avx512f,avx512vl")))
bool vectorLengthsSupported() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512vl");
}
#else
#define ZORVEK_TARGET_AVX512VL
bool vectorLengthsSupported() { return false; }
#endif

ZORVEK_TARGET_AVX512VL void renderAvx512(const Chain& c, bool periodicA, bool periodicB, int32_t frames) {
    renderCases<F8>(c, periodicA, periodicB, frames);
}

}  // namespace

// A processor with AVX-512 but without its 256-bit forms renders with the AVX2 kernel.
bool VoiceChain::usePath(SimdPath wanted) {
    if (!simdSupported(wanted)) return false;
    path = wanted;
    kernel = path == SimdPath::Sse2                                 ? &renderBaseline
             : path == SimdPath::Avx512 && vectorLengthsSupported() ? &renderAvx512
                                                                    : &renderAvx2;
    return true;
}

void VoiceChain::process(int32_t frames, int32_t tick) {
    if (frames <= 0) return;
    if (frames > kMaxFrames) frames = kMaxFrames;
    if (!chained()) {
        for (DspModule* m : {static_cast<DspModule*>(&oscillatorA), static_cast<DspModule*>(&oscillatorB),
                             static_cast<DspModule*>(&mixer), static_cast<DspModule*>(&amplifier),
                             static_cast<DspModule*>(&filter), static_cast<DspModule*>(&summer)})
            m->process(frames, tick);
        return;
    }
    // The sixteen SSE2 registers do not hold the oscillators beside the ladder: spilled,
    // the loop was slower than the oscillators rendering on their own before it.
    const bool fuseOscillators = path != SimdPath::Sse2;
    const bool periodicA = oscillatorA.beginRender(frames, tick, fuseOscillators);
    const bool periodicB = oscillatorB.beginRender(frames, tick, fuseOscillators);
    amplifier.beginRamp(frames);
    filter.beginRender(tick);
    const Chain chain{oscillatorA.periodicVoices(),
                      oscillatorB.periodicVoices(),
                      oscillatorA.shape(),
                      oscillatorB.shape(),
                      oscillatorA.output().data,
                      oscillatorB.output().data,
                      mixer.gains(),
                      amplifier.rampGains(),
                      amplifier.rampSteps(),
                      &filter.voices(),
                      summer.out.data};
    kernel(chain, periodicA, periodicB, frames);
    oscillatorA.endRender();
    oscillatorB.endRender();
    filter.endRender();
}
