// One of the two carrier oscillators: five forms (random, sine, triangle, square, saw)
// for all eight voices at once, computed from a phase accumulator, with tune, detune,
// pulse width and LFO frequency and pulse-width modulation.
#pragma once

#include <atomic>
#include <cstdint>

#include "dsp/Buffers.h"
#include "dsp/DspModule.h"
#include "dsp/ParamValue.h"
#include "dsp/SimdPath.h"
#include "synth/ShapeConstants.h"
#include "synth/VoiceLanes.h"

class Oscillator final : public DspModule {
public:
    enum Form { kRandom = 0, kSine, kTriangle, kSquare, kSaw };

    Oscillator(ModuleRack& rack, ModuleContext& context);

    void onParameter(int32_t index, float value) override;
    void process(int32_t frames, int32_t tick) override;

    const VoiceBuffer& output() const { return out; }
    // Audio thread, or before processing (tests): renders on the given instruction-set
    // path from now on; false (and no change) when the processor lacks it.
    bool usePath(SimdPath wanted);
    int32_t currentForm() const { return form.load(std::memory_order_relaxed); }

    // Audio thread, for a kernel that renders this oscillator inside its own frame loop
    // (VoiceChain): process in three steps. begin does the control-rate update and
    // renders the forms it keeps (random, or any increment of a cycle or more); true when
    // it left the frames to the caller, who steps them from periodicVoices() and shape()
    // (every increment below one cycle). end follows the frames.
    bool beginRender(int32_t frames, int32_t tick, bool leaveSmallPeriodic);
    voicelanes::PeriodicVoices periodicVoices();
    const ShapeConstants& shape() const;
    void endRender();
    // Cycles per sample and pulse width of a voice, as set at the last control tick.
    float increment(int voice) const { return state.increment[voice]; }
    float pulseWidth(int voice) const { return state.pulseWidth[voice]; }

    // Bound once by the plug-in assembly; unbound inputs read the shared zeros.
    const VoiceVector* pitch = &zeros::voiceVector;
    const VoiceVector* fmSource = &zeros::voiceVector;
    const VoiceVector* pwmSource = &zeros::voiceVector;
    const ParamValue* formParam = &zeros::param;
    const ParamValue* tuneParam = &zeros::param;
    const ParamValue* detuneParam;  // centre (no detune) until bound
    const ParamValue* pulseWidthParam = &zeros::param;
    const ParamValue* fmAmountParam = &zeros::param;
    const ParamValue* pwmAmountParam = &zeros::param;

private:
    void updateVoices();
    void renderRandom(int32_t frames);
    void renderPeriodic(int32_t frames);
    bool smallIncrements() const;

    // Derived in onParameter (any thread), read by process.
    std::atomic<int32_t> form{kRandom};
    int32_t renderForm = kRandom;           // the form of the sub-block being rendered
    std::atomic<float> fmDepth{0.0f};       // pitch-value units per unit of LFO
    std::atomic<float> detuneOffset{0.0f};  // pitch-value units

    // Per-voice state, one lane per voice; audio thread only.
    struct alignas(16) VoiceState {
        float increment[kVoices] = {};   // cycles per sample
        float reciprocal[kVoices] = {};  // 1 / increment
        float pulseWidth[kVoices] = {};
        float openWidth[kVoices] = {};  // 1 - pulse width
        float openScale[kVoices] = {};  // 1 / (1 - pulse width)
        float held[kVoices] = {0.001f, 0.001f, 0.001f, 0.001f, 0.001f, 0.001f, 0.001f, 0.001f};
        float phase[kVoices] = {};  // cycles, [0, 1)
        // The clamped width and pitch value the voice's values were last derived from
        // (never -1), and the rate of the increments: the same bits derive the same values.
        float widthKey[kVoices] = {-1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f};
        float pitchKey[kVoices] = {-1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f};
        float rateKey = 0.0f;
    } state;

    SimdPath path = activeSimdPath();
    VoiceBuffer out;
};
