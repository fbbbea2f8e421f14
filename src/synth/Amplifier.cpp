#include "synth/Amplifier.h"

#include "dsp/ModuleContext.h"
#include "dsp/VectorLanes.h"

Amplifier::Amplifier(ModuleRack& rack, ModuleContext& moduleContext) : DspModule(rack, moduleContext) {}

void Amplifier::beginRamp(int32_t frames) {
    const int32_t* active = context.voiceActive;
    const float am = readParam(amParam);
    const float n = static_cast<float>(frames);
    for (int v = kVoices - 1; v >= 0; --v) {
        if (active[v]) {
            float target = (lfo->v[v] * am + 1.0f) * envelope->v[v];
            step[v] = (target - current[v]) / n;
        } else {
            step[v] = 0.0f;  // an inactive voice keeps its gain
        }
    }
}

void Amplifier::process(int32_t frames, int32_t) {
    if (frames <= 0) return;
    if (frames > kMaxFrames) frames = kMaxFrames;
    beginRamp(frames);
    // Both groups in one loop, so their gain ramps overlap in the pipeline.
    using lanes::F4;
    using lanes::load;
    using lanes::store;
    const F4 stepLow = load<F4>(step), stepHigh = load<F4>(step + 4);
    F4 low = load<F4>(current), high = load<F4>(current + 4);
    const float* in = signal->data;
    float* o = out.data;
    for (int32_t k = 0; k < frames; ++k, in += kVoices, o += kVoices) {
        store(o, load<F4>(in) * low);
        store(o + 4, load<F4>(in + 4) * high);
        low = low + stepLow;
        high = high + stepHigh;
    }
    store(current, low);
    store(current + 4, high);
}
