#include "synth/OscillatorMixer.h"

#include "dsp/VectorLanes.h"

OscillatorMixer::OscillatorMixer(ModuleRack& rack, ModuleContext& moduleContext) : DspModule(rack, moduleContext) {}

OscillatorMixer::Gains OscillatorMixer::gains() const {
    const float mix = readParam(mixParam);
    return {mix * 0.5f, (1.0f - mix) * 0.5f};
}

void OscillatorMixer::process(int32_t frames, int32_t) {
    if (frames <= 0) return;
    if (frames > kMaxFrames) frames = kMaxFrames;
    const Gains gain = gains();
    using lanes::F4;
    using lanes::load;
    const F4 gainA = lanes::splat<F4>(gain.a);
    const F4 gainB = lanes::splat<F4>(gain.b);
    const float* a = inputA->data;
    const float* b = inputB->data;
    for (int32_t i = 0; i < frames * kVoices; i += 4)
        lanes::store(out.data + i, load<F4>(a + i) * gainA + load<F4>(b + i) * gainB);
}
