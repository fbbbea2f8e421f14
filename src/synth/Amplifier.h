// Multiplies each voice by its envelope level and the LFO tremolo, ramping the gain
// linearly across the sub-block from the previous target to the new one.
#pragma once

#include <cstdint>

#include "dsp/Buffers.h"
#include "dsp/DspModule.h"
#include "dsp/ParamValue.h"

class Amplifier final : public DspModule {
public:
    Amplifier(ModuleRack& rack, ModuleContext& context);

    void process(int32_t frames, int32_t tick) override;

    const VoiceBuffer& output() const { return out; }
    float gain(int voice) const { return current[voice]; }

    // Audio thread, for a kernel that ramps the gains inside its own frame loop
    // (VoiceChain): beginRamp sets each voice's step for a sub-block of frames; the caller
    // ramps rampGains() by rampSteps() frame by frame and stores the last gains back.
    void beginRamp(int32_t frames);
    float* rampGains() { return current; }
    const float* rampSteps() const { return step; }

    const VoiceBuffer* signal = &zeros::voiceBuffer;
    const VoiceVector* envelope = &zeros::voiceVector;
    const VoiceVector* lfo = &zeros::voiceVector;
    const ParamValue* amParam = &zeros::param;

private:
    // Audio thread only.
    alignas(16) float current[kVoices] = {};
    alignas(16) float step[kVoices] = {};
    VoiceBuffer out;
};
