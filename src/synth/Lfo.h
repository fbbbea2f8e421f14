// The one LFO of the instrument: six forms at a free rate or at a rate tied to the
// host tempo, one step per control tick, the same value for every voice.
#pragma once

#include <atomic>
#include <cstdint>

#include "dsp/Buffers.h"
#include "dsp/DspModule.h"
#include "dsp/ParamValue.h"

class Lfo final : public DspModule {
public:
    enum Form { kRandom = 0, kSine, kTriangle, kSquare, kRamp, kSaw };

    Lfo(ModuleRack& rack, ModuleContext& context);

    // Reads the tempo factor: a tempo change alone takes effect at the next parameter change.
    void onParameter(int32_t index, float value) override;
    void process(int32_t frames, int32_t tick) override;

    const VoiceVector& output() const { return out; }
    // Cycles per control tick.
    float increment() const { return step.load(std::memory_order_relaxed); }

    const ParamValue* rateParam = &zeros::param;
    const ParamValue* formParam = &zeros::param;
    const ParamValue* syncParam = &zeros::param;

private:
    // Derived in onParameter (any thread), read by process.
    std::atomic<float> step{0.0f};
    std::atomic<int32_t> form{kRandom};
    std::atomic<int32_t> sync{0};

    // Audio thread only.
    float phase = 0.0f;  // cycles
    float held = 0.0f;
    float lastPosition = 0.0f;  // quarter notes
    VoiceVector out;
};
