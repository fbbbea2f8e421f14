// Per-voice attack and release level at the control rate: rises linearly to the gate
// velocity over the attack, holds while the gate is open, decays exponentially after
// it closes, and reaches exactly 0, which frees the voice.
#pragma once

#include <atomic>
#include <cstdint>

#include "dsp/Buffers.h"
#include "dsp/DspModule.h"
#include "dsp/ParamValue.h"

class Envelope final : public DspModule {
public:
    Envelope(ModuleRack& rack, ModuleContext& context);

    void onParameter(int32_t index, float value) override;
    void process(int32_t frames, int32_t tick) override;

    // Read by the amplifier and by the keyboard's voice-activity test.
    const VoiceVector& output() const { return level; }
    // Attack length in control ticks.
    int32_t attackLength() const { return attackTicks.load(std::memory_order_relaxed); }
    float releaseFactor() const { return release.load(std::memory_order_relaxed); }

    const VoiceVector* gate = &zeros::voiceVector;
    const ParamValue* attackParam = &zeros::param;
    const ParamValue* releaseParam = &zeros::param;

private:
    enum Stage : int32_t { kIdle = 0, kAttack = 1, kHold = 2 };

    // Derived in onParameter (any thread); the attack step 1/N follows from N.
    std::atomic<int32_t> attackTicks{1};
    std::atomic<float> release{0.0f};

    // Audio thread only.
    int32_t counter[kVoices] = {};
    int32_t stage[kVoices] = {};
    VoiceVector level;
};
