#include "framework/VocoderPlugin.h"

#include <new>

#include "synth/Amplifier.h"
#include "synth/Envelope.h"
#include "synth/LadderFilter.h"
#include "synth/Lfo.h"
#include "synth/Oscillator.h"
#include "synth/OscillatorMixer.h"
#include "synth/VoiceSummer.h"

namespace {

template <class Module>
std::unique_ptr<Module> create(PluginBase& plugin) {
    return std::unique_ptr<Module>(new (std::nothrow) Module(plugin.rack(), plugin.context()));
}

// An input whose source module is missing reads silence.
template <class Module, class Output>
const Output* outputOf(const std::unique_ptr<Module>& module, const Output& silence) {
    return module ? &module->output() : &silence;
}

}  // namespace

VocoderPlugin::VocoderPlugin(audioMasterCallback host)
    : PluginBase(host, kNumAutomatable, kVocoderParams, "Zorvek2", "Zorvek2", "Drennak") {
    setUniqueID(0x31323234);  // '1224'
    createSynthesizer();
    setProgram(0);
    setSampleRate(44100.0f);
}

// Creation order is processing order; the LFO runs last, so every module reads the
// LFO value of the previous sub-block.
void VocoderPlugin::createSynthesizer() {
    oscillator1 = create<Oscillator>(*this);
    oscillator2 = create<Oscillator>(*this);
    mixer = create<OscillatorMixer>(*this);
    envelope = create<Envelope>(*this);
    amplifier = create<Amplifier>(*this);
    filter = create<LadderFilter>(*this);
    summer = create<VoiceSummer>(*this);
    lfo = create<Lfo>(*this);

    Keyboard& keys = keyboard();
    const VoiceVector* lfoOut = outputOf(lfo, zeros::voiceVector);
    struct OscillatorNames {
        const char *form, *tune, *width, *detune;
    };
    const OscillatorNames names[2] = {{"Osc1Frm", "Osc1Tun", "Osc1PW", "Detun1"},
                                      {"Osc2Frm", "Osc2Tun", "Osc2PW", "Detun2"}};
    Oscillator* oscillators[2] = {oscillator1.get(), oscillator2.get()};
    for (int i = 0; i < 2; ++i) {
        Oscillator* osc = oscillators[i];
        if (!osc) continue;
        osc->pitch = &keys.pitchValues;
        osc->formParam = bindParameter(names[i].form);
        osc->tuneParam = bindParameter(names[i].tune);
        osc->pulseWidthParam = bindParameter(names[i].width);
        osc->fmSource = lfoOut;
        osc->fmAmountParam = bindParameter("LfoFM");
        osc->pwmSource = lfoOut;
        osc->pwmAmountParam = bindParameter("LfoPWM");
        osc->detuneParam = bindParameter(names[i].detune);
    }
    if (mixer) {
        mixer->inputB = outputOf(oscillator2, zeros::voiceBuffer);
        mixer->inputA = outputOf(oscillator1, zeros::voiceBuffer);
        mixer->mixParam = bindParameter("OscMix");
    }
    if (envelope) {
        envelope->gate = &keys.gateVelocities;
        envelope->attackParam = bindParameter("Attack");
        envelope->releaseParam = bindParameter("Release");
    }
    if (amplifier) {
        amplifier->signal = outputOf(mixer, zeros::voiceBuffer);
        amplifier->envelope = outputOf(envelope, zeros::voiceVector);
        amplifier->lfo = lfoOut;
        amplifier->amParam = bindParameter("LfoAM");
    }
    if (filter) {
        filter->signal = outputOf(amplifier, zeros::voiceBuffer);
        filter->pitch = &keys.pitchValues;
        filter->cutoffParam = bindParameter("Cutoff");
        filter->resoParam = bindParameter("Reso");
        filter->lfo = lfoOut;
        filter->lfoAmountParam = bindParameter("LfoFiltMod");
    }
    if (summer) summer->signal = outputOf(filter, zeros::voiceBuffer);
    // The master output reads the synthesizer directly until the vocoder and the
    // effects chain sit between them.
    rack().setFinalOutput(outputOf(summer, zeros::stereoBuffer));
    if (lfo) {
        lfo->rateParam = bindParameter("LfoFreq");
        lfo->formParam = bindParameter("LfoForm");
        lfo->syncParam = bindParameter("LfoSync");
    }
    keys.glideParam = bindParameter("Glide");
    keys.monoParam = bindParameter("Mono");
    keys.bendRangeParam = bindParameter("BndRng");
    keys.envelopeLevel = outputOf(envelope, zeros::voiceVector);
}

VocoderPlugin::~VocoderPlugin() {
    oscillator1.reset();
    oscillator2.reset();
    mixer.reset();
    amplifier.reset();
    filter.reset();
    envelope.reset();
    summer.reset();
    lfo.reset();
}
