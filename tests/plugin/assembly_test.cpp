// The assembled instrument in process: the rack's order, the bindings that two modules
// share, the sample rate reaching every module, and the editor's file choice.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "effects/EffectsChain.h"
#include "framework/VocoderPlugin.h"
#include "plugin/ModulatorPlayback.h"
#include "synth/Amplifier.h"
#include "synth/Envelope.h"
#include "synth/LadderFilter.h"
#include "synth/Lfo.h"
#include "synth/Oscillator.h"
#include "synth/OscillatorMixer.h"
#include "synth/VoiceSummer.h"
#include "vocoder/Vocoder.h"
#include "support/ParamIndex.h"

namespace {

using namespace param;

template <class Module>
Module* moduleAt(VocoderPlugin& plugin, int index) {
    return dynamic_cast<Module*>(plugin.rack().module(index));
}

void noteOn(VocoderPlugin& plugin, int key) {
    VstMidiEvent event{};
    event.type = kVstMidiType;
    event.byteSize = sizeof event;
    event.midiData[0] = static_cast<char>(0x90);
    event.midiData[1] = static_cast<char>(key);
    event.midiData[2] = 100;
    VstEvents list{};
    list.numEvents = 1;
    list.events[0] = reinterpret_cast<VstEvent*>(&event);
    plugin.processEvents(&list);
}

std::vector<float> renderLeft(VocoderPlugin& plugin, int32_t frames) {
    std::vector<float> left(frames), right(frames);
    for (int32_t done = 0; done < frames; done += 512) {
        float* outputs[2] = {left.data() + done, right.data() + done};
        plugin.processReplacing(nullptr, outputs, std::min(512, frames - done));
    }
    return left;
}

TEST(Assembly, RackRunsTheTenModulesInConstructionOrder) {
    auto plugin = std::make_unique<VocoderPlugin>(nullptr);
    ModuleRack& rack = plugin->rack();
    ASSERT_EQ(rack.count(), 10);
    EXPECT_NE(moduleAt<Oscillator>(*plugin, 0), nullptr);
    EXPECT_NE(moduleAt<Oscillator>(*plugin, 1), nullptr);
    EXPECT_NE(moduleAt<OscillatorMixer>(*plugin, 2), nullptr);
    EXPECT_NE(moduleAt<Envelope>(*plugin, 3), nullptr);
    EXPECT_NE(moduleAt<Amplifier>(*plugin, 4), nullptr);
    EXPECT_NE(moduleAt<LadderFilter>(*plugin, 5), nullptr);
    EXPECT_NE(moduleAt<VoiceSummer>(*plugin, 6), nullptr);
    EXPECT_NE(moduleAt<Vocoder>(*plugin, 7), nullptr);
    EXPECT_NE(moduleAt<EffectsChain>(*plugin, 8), nullptr);
    EXPECT_NE(moduleAt<Lfo>(*plugin, 9), nullptr);
    EXPECT_EQ(rack.module(10), nullptr);

    // Each module reads the one before it; the master output reads the effects chain.
    auto* mixer = moduleAt<OscillatorMixer>(*plugin, 2);
    auto* amplifier = moduleAt<Amplifier>(*plugin, 4);
    auto* vocoder = moduleAt<Vocoder>(*plugin, 7);
    auto* effects = moduleAt<EffectsChain>(*plugin, 8);
    auto* lfo = moduleAt<Lfo>(*plugin, 9);
    ASSERT_TRUE(mixer && amplifier && vocoder && effects && lfo);
    EXPECT_EQ(mixer->inputA, &moduleAt<Oscillator>(*plugin, 0)->output());
    EXPECT_EQ(mixer->inputB, &moduleAt<Oscillator>(*plugin, 1)->output());
    EXPECT_EQ(amplifier->signal, &mixer->output());
    EXPECT_EQ(amplifier->envelope, &moduleAt<Envelope>(*plugin, 3)->output());
    EXPECT_EQ(amplifier->lfo, &lfo->output());
    EXPECT_EQ(moduleAt<LadderFilter>(*plugin, 5)->signal, &amplifier->output());
    EXPECT_EQ(vocoder->carrier, &moduleAt<VoiceSummer>(*plugin, 6)->output());
    EXPECT_EQ(effects->input, &vocoder->output());
    EXPECT_EQ(rack.output(), &effects->output());
}

// The amplifier runs after the envelope and before the LFO: at the end of each sub-block
// its gain is (LFO before the sub-block x LfoAM + 1) x envelope level after it.
TEST(Assembly, AmplifierSeesThisTicksEnvelopeAndThePreviousSubBlocksLfo) {
    auto plugin = std::make_unique<VocoderPlugin>(nullptr);
    plugin->setParameter(kLfoAM, 1.0f);
    plugin->setParameter(kLfoForm, 0.2f);  // sine
    plugin->setParameter(kLfoFreq, 1.0f);
    plugin->setParameter(kAttack, 0.65f);  // a level that moves at every tick
    auto* envelope = moduleAt<Envelope>(*plugin, 3);
    auto* amplifier = moduleAt<Amplifier>(*plugin, 4);
    auto* lfo = moduleAt<Lfo>(*plugin, 9);
    ASSERT_TRUE(envelope && amplifier && lfo);

    noteOn(*plugin, 60);
    const int32_t frames = plugin->subBlockLimit();
    std::vector<float> left(frames), right(frames);
    float* outputs[2] = {left.data(), right.data()};
    plugin->processReplacing(nullptr, outputs, frames);  // the note starts after this sub-block
    int voice = -1;
    for (int v = 0; v < kVoices; ++v)
        if (plugin->keyboard().gateVelocities.v[v] > 0.0f) voice = v;
    ASSERT_GE(voice, 0);

    int lfoMoved = 0, envelopeMoved = 0;
    for (int block = 0; block < 200; ++block) {
        const float lfoBefore = lfo->output().v[voice];
        const float levelBefore = envelope->output().v[voice];
        plugin->processReplacing(nullptr, outputs, frames);
        const float lfoAfter = lfo->output().v[voice];
        const float level = envelope->output().v[voice];
        const float gain = amplifier->gain(voice);
        // The gain ramps to its target in frames equal steps: float rounding only.
        EXPECT_NEAR(gain, (lfoBefore + 1.0f) * level, 2e-5f) << "sub-block " << block;
        // Count the sub-blocks where the wrong order would have been seen.
        if (std::fabs((lfoAfter + 1.0f) * level - gain) > 1e-3f) ++lfoMoved;
        if (std::fabs((lfoBefore + 1.0f) * levelBefore - gain) > 1e-3f) ++envelopeMoved;
    }
    EXPECT_GT(lfoMoved, 50);
    EXPECT_GT(envelopeMoved, 50);
}

TEST(Assembly, CarrierStereoSwitchIsOneValueForVocoderAndEffects) {
    auto plugin = std::make_unique<VocoderPlugin>(nullptr);
    auto* vocoder = moduleAt<Vocoder>(*plugin, 7);
    auto* effects = moduleAt<EffectsChain>(*plugin, 8);
    ASSERT_TRUE(vocoder && effects);
    EXPECT_EQ(vocoder->carSt, effects->carrierStereo);
    EXPECT_EQ(vocoder->carSt, &plugin->parameter(kCarSt).value);
    plugin->setParameter(kCarSt, 1.0f);
    EXPECT_EQ(vocoder->carSt->load(), 1.0f);
    EXPECT_EQ(effects->carrierStereo->load(), 1.0f);
    plugin->setProgram(1);  // every factory program is mono
    EXPECT_EQ(effects->carrierStereo->load(), 0.0f);
}

TEST(Assembly, SampleRateReachesEveryModule) {
    auto plugin = std::make_unique<VocoderPlugin>(nullptr);
    ModuleRack& rack = plugin->rack();
    EXPECT_EQ(plugin->subBlockLimit(), 88);
    for (int i = 0; i < rack.count(); ++i) EXPECT_EQ(rack.module(i)->rate(), 44100) << i;

    plugin->dispatcher(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    EXPECT_EQ(plugin->subBlockLimit(), 192);
    EXPECT_EQ(plugin->controlPeriod(), 49152);
    EXPECT_EQ(plugin->integerSampleRate(), 96000);
    for (int i = 0; i < rack.count(); ++i) EXPECT_EQ(rack.module(i)->rate(), 96000) << i;

    // A rate that is not a whole number is rounded for the modules.
    plugin->dispatcher(effSetSampleRate, 0, 0, nullptr, 22049.6f);
    EXPECT_EQ(plugin->subBlockLimit(), 44);
    for (int i = 0; i < rack.count(); ++i) EXPECT_EQ(rack.module(i)->rate(), 22050) << i;
}

// The editor's fourth file entry loads slot 3, which ModSrc 1.0 plays; a later rate
// change reads the file again at the new rate.
TEST(Assembly, FileChosenForTheFourthEntryPlaysFromSlotThree) {
    auto plugin = std::make_unique<VocoderPlugin>(nullptr);
    auto* vocoder = moduleAt<Vocoder>(*plugin, 7);
    ASSERT_NE(vocoder, nullptr);
    const std::string path = std::string(ZORVEK_PLUGIN_DIR) + "/someone.wav";
    plugin->fileSelected(63, path.c_str());
    EXPECT_EQ(vocoder->fileName(3), path);
    EXPECT_EQ(vocoder->fileName(0), ".\\drumloop.wav");
    EXPECT_STREQ(plugin->fileSlotPath(3), path.c_str());

    for (int index : {kMixVoc, kMixCar, kDlyLv, kChrsLv, kRevLevel}) plugin->setParameter(index, 0.0f);
    plugin->setParameter(kMixMod, 1.0f);
    EXPECT_EQ(plugin->getParameter(kModSrc), 1.0f);
    const float gain = leftChannelGain(0.8f, 0.5f);

    noteOn(*plugin, 60);
    std::vector<float> left = renderLeft(*plugin, 2 * 44100);
    WavBuffer file = defaultWav("someone.wav", 44100);
    int64_t start = playbackStart(left, file, gain, 4096);
    ASSERT_GE(start, 0) << "the chosen file never appears in the output";
    expectPlayback(left, file, gain, start);

    plugin->dispatcher(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    noteOn(*plugin, 62);  // a new key press starts the file again
    left = renderLeft(*plugin, 2 * 48000);
    file = defaultWav("someone.wav", 48000);
    start = playbackStart(left, file, gain, 4096);
    ASSERT_GE(start, 0) << "the file was not read again at 48000 Hz";
    expectPlayback(left, file, gain, start);
}

}  // namespace
