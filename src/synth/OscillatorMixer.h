// Crossfades the two oscillators voice by voice under OscMix.
#pragma once

#include <cstdint>

#include "dsp/Buffers.h"
#include "dsp/DspModule.h"
#include "dsp/ParamValue.h"

class OscillatorMixer final : public DspModule {
public:
    OscillatorMixer(ModuleRack& rack, ModuleContext& context);

    void process(int32_t frames, int32_t tick) override;

    const VoiceBuffer& output() const { return out; }

    // The gains of inputs A and B for a sub-block: halved, so two full-scale oscillators
    // still sum within [-1, 1].
    struct Gains {
        float a, b;
    };
    Gains gains() const;

    const VoiceBuffer* inputB = &zeros::voiceBuffer;
    const VoiceBuffer* inputA = &zeros::voiceBuffer;
    const ParamValue* mixParam = &zeros::param;

private:
    VoiceBuffer out;
};
