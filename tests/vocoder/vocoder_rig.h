// A minimal rack around one Vocoder: its parameters, a carrier buffer the test fills,
// the gate vector, WAV files written on the fly and a capture writer on a private
// shared memory object.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/CaptureMemory.h"
#include "dsp/ModuleContext.h"
#include "dsp/ModuleRack.h"
#include "vocoder/Vocoder.h"

struct VocoderParams {
    ParamValue followA{0.5f}, followD{0.5f}, shiftA{0.5f}, shiftD{0.5f}, bands{1.0f}, mangle{0.0f};
    ParamValue modSrc{0.25f};  // file slot 1
    ParamValue eq[6] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
    ParamValue carCap{0.0f}, carCh{0.0f}, modCh{0.0f}, freeze{0.0f}, bufSize{0.0f}, carSt{0.0f};
    ParamValue mixCar{0.0f}, mixMod{0.0f}, mixVoc{1.0f}, anaDigi{0.5f};
};

struct VocoderRig {
    explicit VocoderRig(int32_t rate = 44100);

    // Stores a parameter value and tells the module, as the plug-in does.
    void set(ParamValue& parameter, float value);
    void holdKey(bool held) { gate.v[3] = held ? 0.8f : 0.0f; }
    // Runs frames sample frames in sub-blocks of up to block frames, each with a
    // control tick; carrier frames come from carrierLeft/Right from position carrierAt.
    // Answers the interleaved output.
    std::vector<float> run(int32_t frames, int32_t block = 256);

    ModuleRack rack;
    ModuleContext context;
    VocoderParams params;
    VoiceVector gate;
    StereoBuffer carrierBuffer;
    std::vector<float> carrierLeft, carrierRight;
    size_t carrierAt = 0;
    std::unique_ptr<Vocoder> vocoder;
};

// Writes a PCM WAV file of 16-bit samples (interleaved when channels > 1) into the
// test's temporary folder and answers its path.
std::string writeWav(const std::string& name, const std::vector<int16_t>& samples, int32_t rate, int channels = 1);

// A capture writer on the tests' private shared memory with the channel's indices at 0.
std::unique_ptr<CaptureMemory> captureWriter(int channel);

// Left (and right) outputs of an interleaved block.
std::vector<float> leftOf(const std::vector<float>& interleaved);
std::vector<float> rightOf(const std::vector<float>& interleaved);
