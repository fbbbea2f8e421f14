// The Zorvek2 plug-in object: the framework plus the instrument's modules, wired once.
#pragma once

#include <memory>

#include "framework/PluginBase.h"

class Oscillator;
class Lfo;
class OscillatorMixer;
class LadderFilter;
class Amplifier;
class Envelope;
class VoiceSummer;
class VoiceChain;
class Vocoder;
class BandLevels;
class EffectsChain;
class CaptureMemory;

class VocoderPlugin : public PluginBase {
public:
    explicit VocoderPlugin(audioMasterCallback host);
    ~VocoderPlugin() override;

    // Editor: the user chose a WAV file for File1..File4 (entry index 60..63).
    void fileSelected(int32_t entryIndex, const char* path);
    // Loads the WAV file into the vocoder's slot; the base mirrors the path it stored.
    void loadFileSlot(int slot, const char* path) override;
    // The value parameter index 0..55 has in the factory program "Default" (the table's
    // default without one): what a double click on a control restores.
    float defaultProgramValue(int32_t index) const;
    // Any thread: whether file slot 0..3 plays its file.
    bool fileSlotLoaded(int slot) const;
    // The vocoder's levels for an editor; null without a vocoder.
    BandLevels* bandLevels();
    // Any thread: the vocoder reads its capture channels from source (null: the shared
    // memory); a format with its own audio input feeds that input in this way.
    void setCaptureSource(CaptureMemory* source);

private:
    void createModules();
    void bindSynthesizer();
    void bindVocoderAndEffects();
    void chainVoices();

    // A module whose allocation failed stays null and is not in the rack.
    std::unique_ptr<Oscillator> oscillator1;
    std::unique_ptr<Oscillator> oscillator2;
    std::unique_ptr<Lfo> lfo;
    std::unique_ptr<OscillatorMixer> mixer;
    std::unique_ptr<LadderFilter> filter;
    std::unique_ptr<Amplifier> amplifier;
    std::unique_ptr<Envelope> envelope;
    std::unique_ptr<VoiceSummer> summer;
    // Runs the oscillators to the summer in one loop (null: they run one by one).
    std::unique_ptr<VoiceChain> voices;
    std::unique_ptr<Vocoder> vocoder;
    std::unique_ptr<EffectsChain> effects;
    float defaultProgram[kNumAutomatable];
};
