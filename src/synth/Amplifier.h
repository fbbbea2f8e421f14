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

    const VoiceBuffer* signal = &zeros::voiceBuffer;
    const VoiceVector* envelope = &zeros::voiceVector;
    const VoiceVector* lfo = &zeros::voiceVector;
    const ParamValue* amParam = &zeros::param;

private:
    alignas(16) float current[kVoices] = {};  // audio thread only
    VoiceBuffer out;
};
