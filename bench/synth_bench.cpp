// Cost of the carrier synthesizer per sample frame with eight voices sounding: two
// oscillators, mixer, envelope, amplifier, ladder filter, voice summer and LFO, with
// every LFO modulation in use; chained 1 runs the voice modules in the voice chain, as the
// plug-in does, chained 0 one by one.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <initializer_list>

#include "dsp/ExpTables.h"
#include "dsp/FloatingPointGuard.h"
#include "dsp/ModuleContext.h"
#include "dsp/ModuleRack.h"
#include "framework/Keyboard.h"
#include "synth/Amplifier.h"
#include "synth/Envelope.h"
#include "synth/LadderFilter.h"
#include "synth/Lfo.h"
#include "synth/Oscillator.h"
#include "synth/OscillatorMixer.h"
#include "synth/VoiceChain.h"
#include "synth/VoiceSummer.h"
#include "PerFrame.h"

namespace {

// form: the oscillator form parameter of both oscillators (0 random, 0.25 sine ... 1 saw).
void synthesizer(benchmark::State& state) {
    const float form = static_cast<float>(state.range(0)) * 0.25f;
    const auto frames = static_cast<int32_t>(state.range(1));
    const bool chained = state.range(2) != 0;
    ExpTables::fill();
    ModuleRack rack;
    ModuleContext context;
    Keyboard keys;
    context.voiceActive = keys.active;
    context.random.seed(5);

    ParamValue oscForm{form}, tune{0.5f}, detune1{0.45f}, detune2{0.55f}, width{0.3f}, fm{0.3f}, pwm{0.4f}, mix{0.5f},
        attack{0.3f}, release{0.5f}, am{0.3f}, cutoff{0.6f}, reso{0.6f}, filterMod{0.4f}, lfoRate{0.5f}, lfoForm{0.2f},
        lfoSync{0.0f};
    Oscillator osc1(rack, context), osc2(rack, context);
    OscillatorMixer mixer(rack, context);
    Envelope envelope(rack, context);
    Amplifier amplifier(rack, context);
    LadderFilter filter(rack, context);
    VoiceSummer summer(rack, context);
    Lfo lfo(rack, context);
    for (Oscillator* osc : {&osc1, &osc2}) {
        osc->pitch = &keys.pitchValues;
        osc->formParam = &oscForm;
        osc->tuneParam = &tune;
        osc->pulseWidthParam = &width;
        osc->fmSource = osc->pwmSource = &lfo.output();
        osc->fmAmountParam = &fm;
        osc->pwmAmountParam = &pwm;
    }
    osc1.detuneParam = &detune1;
    osc2.detuneParam = &detune2;
    mixer.inputA = &osc1.output();
    mixer.inputB = &osc2.output();
    mixer.mixParam = &mix;
    envelope.gate = &keys.gateVelocities;
    envelope.attackParam = &attack;
    envelope.releaseParam = &release;
    amplifier.signal = &mixer.output();
    amplifier.envelope = &envelope.output();
    amplifier.lfo = &lfo.output();
    amplifier.amParam = &am;
    filter.signal = &amplifier.output();
    filter.pitch = &keys.pitchValues;
    filter.lfo = &lfo.output();
    filter.cutoffParam = &cutoff;
    filter.resoParam = &reso;
    filter.lfoAmountParam = &filterMod;
    summer.signal = &filter.output();
    lfo.rateParam = &lfoRate;
    lfo.formParam = &lfoForm;
    lfo.syncParam = &lfoSync;
    keys.envelopeLevel = &envelope.output();
    rack.onParameter(0, 0.0f);
    VoiceChain chain(context, osc1, osc2, mixer, amplifier, filter, summer);
    if (chained) {
        for (const DspModule* m : std::initializer_list<const DspModule*>{&osc1, &osc2, &mixer, &filter, &summer})
            rack.runInstead(m, nullptr);
        rack.runInstead(&amplifier, &chain);
    }

    for (int note : {48, 52, 55, 59, 62, 65, 69, 72}) keys.noteOn(note, 100);

    // The driver's control clock at 44.1 kHz, in 1/256 samples.
    const int32_t period = 44100 * 256 / 500;
    int32_t counter = period;
    FloatingPointGuard guard;
    for (auto _ : state) {
        int32_t tick = counter <= 0 ? 1 : 0;
        rack.run(frames, tick);
        keys.controlUpdate(tick);
        if (tick) counter += period;
        counter -= frames * 256;
        benchmark::DoNotOptimize(summer.output().data[0]);
    }
    setPerFrame(state, state.iterations() * frames);
}

}  // namespace

BENCHMARK(synthesizer)
    ->ArgNames({"form", "frames", "chained"})
    ->ArgsProduct({{4, 1, 0}, {88}, {0, 1}})
    ->Args({4, 256, 0})
    ->Args({4, 256, 1});
