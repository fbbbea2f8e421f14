// Drives one EffectsChain directly: its own rack, context, parameter values and input.
#pragma once

#include <algorithm>
#include <vector>

#include "dsp/ModuleContext.h"
#include "dsp/ModuleRack.h"
#include "effects/EffectsChain.h"

struct Stereo {
    std::vector<float> left, right;

    explicit Stereo(size_t frames = 0) : left(frames, 0.0f), right(frames, 0.0f) {}
    size_t size() const { return left.size(); }
};

struct EffectsHarness {
    ModuleRack rack;
    ModuleContext context;
    EffectsChain fx{rack, context};
    ParamValue chorusRate{0.0f}, chorusLevel{0.0f}, delayTime{0.0f}, delayFeedback{0.0f}, delayLevel{0.0f},
        reverbTime{0.0f}, reverbLevel{0.0f}, reverbStereo{0.0f}, carrierStereo{1.0f};
    StereoBuffer in;

    explicit EffectsHarness(int32_t sampleRate = 44100) {
        fx.input = &in;
        fx.chorusRate = &chorusRate;
        fx.chorusLevel = &chorusLevel;
        fx.delayTime = &delayTime;
        fx.delayFeedback = &delayFeedback;
        fx.delayLevel = &delayLevel;
        fx.reverbTime = &reverbTime;
        fx.reverbLevel = &reverbLevel;
        fx.reverbStereo = &reverbStereo;
        fx.carrierStereo = &carrierStereo;
        rack.setSampleRate(sampleRate);
        context.sampleRate.store(sampleRate);
        context.tempoLength.store(sampleRate * 2);
        rack.onParameter(0, 0.0f);
    }

    // Stores a value and notifies the rack, as the plug-in does for any parameter change.
    void set(ParamValue& param, float value) {
        param.store(value);
        rack.onParameter(0, value);
    }

    // Renders the input in sub-blocks of at most `block` frames; the control tick fires
    // on every sub-block unless `tick` is false.
    Stereo render(const Stereo& input, int block = 88, bool tick = true) {
        Stereo output(input.size());
        for (size_t start = 0; start < input.size(); start += block) {
            int n = static_cast<int>(std::min<size_t>(block, input.size() - start));
            for (int i = 0; i < n; ++i) {
                in.data[2 * i] = input.left[start + i];
                in.data[2 * i + 1] = input.right[start + i];
            }
            rack.run(n, tick ? 1 : 0);
            const float* out = fx.output().data;
            for (int i = 0; i < n; ++i) {
                output.left[start + i] = out[2 * i];
                output.right[start + i] = out[2 * i + 1];
            }
        }
        return output;
    }

    Stereo silence(size_t frames) { return render(Stereo(frames)); }
};

// A unit impulse on both channels at frame 0 (or only on the left when leftOnly).
inline Stereo impulse(size_t frames, bool leftOnly = false) {
    Stereo s(frames);
    s.left[0] = 1.0f;
    if (!leftOnly) s.right[0] = 1.0f;
    return s;
}
