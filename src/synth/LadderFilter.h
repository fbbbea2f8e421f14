// Resonant four-pole low-pass per voice: four identical one-pole sections with global
// feedback from a soft-saturated output. The cutoff tracks each voice's pitch, shifted
// by Cutoff and modulated by the LFO; Reso 1 reaches self-oscillation.
#pragma once

#include <atomic>
#include <cstdint>

#include "dsp/Buffers.h"
#include "dsp/DspModule.h"
#include "dsp/ParamValue.h"
#include "synth/VoiceLanes.h"

class LadderFilter final : public DspModule {
public:
    // One voice's coefficients for a cutoff w given as a fraction of the sample rate.
    struct Coefficients {
        double W;  // cutoff relative to the Nyquist frequency
        double k;  // a1 of each section
        double p;  // b0 = b1 of each section
        float K;   // exponent of the feedback factor
        float feedback;
    };
    // Highest cutoff as a fraction of the sample rate (reached only below about 19.6 kHz).
    static constexpr float kMaxCutoff = 0.42f;
    static Coefficients coefficients(float w, float reso);

    LadderFilter(ModuleRack& rack, ModuleContext& context);

    void onParameter(int32_t index, float value) override;
    void process(int32_t frames, int32_t tick) override;

    const VoiceBuffer& output() const { return out; }

    // Audio thread, for a kernel that runs this filter inside its own frame loop
    // (VoiceChain): process in three steps. begin does the control-rate update, the
    // caller steps the frames from voices() with voicelanes::LadderLanes and stores the
    // state back, end clears a state gone non-finite.
    void beginRender(int32_t tick);
    voicelanes::LadderVoices& voices() { return state; }
    void endRender();

    const VoiceBuffer* signal = &zeros::voiceBuffer;
    const VoiceVector* pitch = &zeros::voiceVector;
    const VoiceVector* lfo = &zeros::voiceVector;
    const ParamValue* lfoAmountParam = &zeros::param;
    const ParamValue* cutoffParam;  // fully open until bound
    const ParamValue* resoParam = &zeros::param;

private:
    void updateVoices();

    // Derived in onParameter (any thread): pitch-value units per unit of LFO.
    std::atomic<float> lfoDepth{0.0f};

    // Per-voice coefficients and state, one lane per voice; audio thread only.
    voicelanes::LadderVoices state;
    // The clamped pitch value each voice's coefficients were last derived from (never -1),
    // and the Reso and rate of all of them: the same bits derive the same coefficients.
    float pitchKey[kVoices] = {-1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f};
    float resoKey = -1.0f, rateKey = 0.0f;

    VoiceBuffer out;
};
