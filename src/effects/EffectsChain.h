// The instrument's last module: a tempo-synchronised feedback delay, a two-tap chorus
// and a comb reverb, run frame by frame in that order on the vocoder's stereo output.
#pragma once

#include <cstdint>
#include <memory>

#include "dsp/Buffers.h"
#include "dsp/DspModule.h"
#include "dsp/ParamValue.h"
#include "effects/CombReverb.h"

class EffectsChain : public DspModule {
public:
    static constexpr int32_t kDelayLength = 1 << 20;
    static constexpr int32_t kChorusLength = 4096;
    // The chorus lines follow a copy of their last frames, as many as the taps reach
    // back (1500 + 100 + 1), so that the taps read without wrapping.
    static constexpr int32_t kChorusCopy = 1601;

    // Allocates and clears every line (about 8.6 MB) and registers in the rack.
    EffectsChain(ModuleRack& rack, ModuleContext& context);

    // Any thread: recomputes the reverb settings from the current parameter values,
    // whichever parameter changed.
    void onParameter(int32_t index, float value) override;
    // Audio thread.
    void process(int32_t frames, int32_t tick) override;

    const StereoBuffer& output() const { return out; }
    const CombReverb& reverbStage() const { return reverb; }
    CombReverb& reverbStage() { return reverb; }

    // Before processing (tests): runs on the given instruction-set path from now on,
    // the reverb too; false (and no change) when the processor lacks it.
    bool usePath(SimdPath wanted);

    // Inputs, bound once by the plug-in before processing starts.
    const StereoBuffer* input = &zeros::stereoBuffer;
    const ParamValue* chorusRate = &zeros::param;     // ChrsRat
    const ParamValue* chorusLevel = &zeros::param;    // ChrsLv
    const ParamValue* delayTime = &zeros::param;      // DlyTime
    const ParamValue* delayFeedback = &zeros::param;  // DlyFbk
    const ParamValue* delayLevel = &zeros::param;     // DlyLv
    const ParamValue* reverbTime = &zeros::param;     // RevTime
    const ParamValue* reverbLevel = &zeros::param;    // RevLevel
    const ParamValue* reverbStereo = &zeros::param;   // RevStereo
    const ParamValue* carrierStereo = &zeros::param;  // CarSt

private:
    // Values of one sub-block.
    struct Block {
        int32_t frames;
        int32_t delay;  // samples, already wrapped into the line
        float feedback;
        float delayLevel;
        float chorusLevel;
        CombReverb::Settings reverb;
    };

    template <bool kMono, bool kReverb>
    void render(const Block& block);
    // After a sub-block: every line back to silence when its input or output was not
    // finite, so a NaN or infinity is not carried on for good.
    void clearIfNotFinite(int32_t frames);

    // Audio-thread state.
    // Both channels' lines side by side, frame after frame.
    std::unique_ptr<float[]> delayLines;
    std::unique_ptr<float[]> chorusLines;
    int32_t delayPos = 0;
    int32_t chorusPos = 0;
    int32_t mono = 0;
    // Chorus oscillator: a recursive sine, restarted at its positive peak whenever the
    // rate changes. The initial rate is what ChrsRat 0.2 gives.
    float sweep = 1.0f;
    float sweepStep = 0.0f;
    float sweepRate = 2e-8f;
    SimdPath path = activeSimdPath();

    CombReverb reverb;
    StereoBuffer out;
};
