#include "framework/VocoderPlugin.h"

#include <cstring>

#include <new>

#include "synth/Amplifier.h"
#include "synth/Envelope.h"
#include "synth/LadderFilter.h"
#include "synth/Lfo.h"
#include "synth/Oscillator.h"
#include "synth/OscillatorMixer.h"
#include "synth/VoiceChain.h"
#include "synth/VoiceSummer.h"
#include "vocoder/Vocoder.h"
#include "effects/EffectsChain.h"
#include "platform/ModulePath.h"
#include "platform/Resources.h"

namespace {

// The factory bank is a bank file whose chunk follows a 160-byte header.
constexpr size_t kBankFileHeaderSize = 160;

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
    createModules();
    bindSynthesizer();
    bindVocoderAndEffects();
    chainVoices();
    platform::Resource bank = platform::findResource("FXB", 218);
    if (bank.size > kBankFileHeaderSize)
        loadChunk(bank.data + kBankFileHeaderSize, bank.size - kBankFileHeaderSize, false);
    for (int32_t i = 0; i < kNumAutomatable; ++i) defaultProgram[i] = kVocoderParams[i].defaultValue;
    // Kept apart from the bank: the stored programs change as the user plays.
    for (int32_t p = 0; p < kNumPrograms; ++p) {
        if (std::strcmp(program(p).name, "Default") != 0) continue;
        for (int32_t i = 0; i < kNumAutomatable; ++i) defaultProgram[i] = program(p).values[i].load();
        break;
    }
    // Program 0 is current and the bank load applied it; setProgram would also call a
    // host that has not received the record yet.
    setSampleRate(44100.0f);
}

// Creation order is processing order; the LFO runs last, so every module reads the
// LFO value of the previous sub-block.
void VocoderPlugin::createModules() {
    oscillator1 = create<Oscillator>(*this);
    oscillator2 = create<Oscillator>(*this);
    mixer = create<OscillatorMixer>(*this);
    envelope = create<Envelope>(*this);
    amplifier = create<Amplifier>(*this);
    filter = create<LadderFilter>(*this);
    summer = create<VoiceSummer>(*this);
    vocoder = create<Vocoder>(*this);
    effects = create<EffectsChain>(*this);
    lfo = create<Lfo>(*this);
}

void VocoderPlugin::bindSynthesizer() {
    Keyboard& keys = keyboard();
    const VoiceVector* lfoOut = outputOf(lfo, zeros::voiceVector);
    struct OscillatorNames {
        ParamId form, tune, width, detune;
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

// The rack runs the voice chain at the amplifier's place and nothing at the places of
// the other modules it renders. Wired otherwise, the modules run in their own places.
void VocoderPlugin::chainVoices() {
    if (!oscillator1 || !oscillator2 || !mixer || !amplifier || !filter || !summer) return;
    voices.reset(new (std::nothrow)
                     VoiceChain(context(), *oscillator1, *oscillator2, *mixer, *amplifier, *filter, *summer));
    if (!voices || !voices->chained()) {
        voices.reset();
        return;
    }
    for (const DspModule* module : std::initializer_list<const DspModule*>{oscillator1.get(), oscillator2.get(),
                                                                           mixer.get(), filter.get(), summer.get()})
        rack().runInstead(module, nullptr);
    rack().runInstead(amplifier.get(), voices.get());
}

void VocoderPlugin::bindVocoderAndEffects() {
    if (vocoder) {
        vocoder->gate = &keyboard().gateVelocities;
        vocoder->carrier = outputOf(summer, zeros::stereoBuffer);
        vocoder->modSrc = bindParameter("ModSrc");
        vocoder->modCh = bindParameter("ModCh");
        vocoder->carCh = bindParameter("CarCh");
        vocoder->freezeSwitch = bindParameter("Freeze");
        vocoder->carCap = bindParameter("CarCap");
        vocoder->bufSize = bindParameter("BufSize");
        vocoder->carSt = bindParameter("CarSt");
        vocoder->followD = bindParameter("FollowD");
        vocoder->followA = bindParameter("FollowA");
        vocoder->shiftD = bindParameter("ShiftD");
        vocoder->shiftA = bindParameter("ShiftA");
        vocoder->bands = bindParameter("Bands");
        vocoder->mangle = bindParameter("Mangle");
        const ParamId eqNames[] = {"Eq1", "Eq2", "Eq3", "Eq4", "Eq5", "Eq6"};
        for (int i = 0; i < 6; ++i) vocoder->eq[i] = bindParameter(eqNames[i]);
        vocoder->mixVoc = bindParameter("MixVoc");
        vocoder->mixMod = bindParameter("MixMod");
        vocoder->mixCar = bindParameter("MixCar");
        vocoder->anaDigi = bindParameter("AnaDigi");
    }
    if (effects) {
        effects->input = outputOf(vocoder, zeros::stereoBuffer);
        effects->chorusRate = bindParameter("ChrsRat");
        effects->chorusLevel = bindParameter("ChrsLv");
        effects->delayTime = bindParameter("DlyTime");
        effects->delayFeedback = bindParameter("DlyFbk");
        effects->delayLevel = bindParameter("DlyLv");
        effects->carrierStereo = bindParameter("CarSt");
        effects->reverbTime = bindParameter("RevTime");
        effects->reverbLevel = bindParameter("RevLevel");
        effects->reverbStereo = bindParameter("RevStereo");
    }
    rack().setFinalOutput(outputOf(effects, zeros::stereoBuffer));
}

void VocoderPlugin::fileSelected(int32_t entryIndex, const char* path) {
    int32_t slot = entryIndex - kFirstFileEntry;
    if (!vocoder || !path || slot < 0 || slot >= kNumFileSlots) return;
    char text[platform::kPathSize];
    copyString(text, path, sizeof text);
    loadFileSlot(slot, text);
}

void VocoderPlugin::loadFileSlot(int slot, const char* path) {
    if (vocoder) {
        vocoder->setFile(slot, path);
        PluginBase::loadFileSlot(slot, vocoder->fileName(slot).c_str());
    } else {
        PluginBase::loadFileSlot(slot, path);
    }
}

float VocoderPlugin::defaultProgramValue(int32_t index) const {
    return index >= 0 && index < kNumAutomatable ? defaultProgram[index] : 0.0f;
}

bool VocoderPlugin::fileSlotLoaded(int slot) const { return vocoder && vocoder->fileLoaded(slot); }

BandLevels* VocoderPlugin::bandLevels() { return vocoder ? &vocoder->bandLevels() : nullptr; }

VocoderPlugin::~VocoderPlugin() {
    voices.reset();
    oscillator1.reset();
    oscillator2.reset();
    mixer.reset();
    amplifier.reset();
    filter.reset();
    envelope.reset();
    summer.reset();
    vocoder.reset();
    effects.reset();
    lfo.reset();
}

void VocoderPlugin::setCaptureSource(CaptureMemory* source) {
    if (vocoder) vocoder->setCaptureSource(source);
}
