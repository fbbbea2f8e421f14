// Adds the eight voices into the stereo carrier (the same signal left and right).
#pragma once

#include <cstdint>

#include "dsp/Buffers.h"
#include "dsp/DspModule.h"

class VoiceSummer final : public DspModule {
public:
    VoiceSummer(ModuleRack& rack, ModuleContext& context);

    void process(int32_t frames, int32_t tick) override;

    const StereoBuffer& output() const { return out; }

    const VoiceBuffer* signal = &zeros::voiceBuffer;

private:
    friend class VoiceChain;  // writes the sums of its fused loop here
    StereoBuffer out;
};
