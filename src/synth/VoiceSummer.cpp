#include "synth/VoiceSummer.h"

#include "dsp/VectorLanes.h"

VoiceSummer::VoiceSummer(ModuleRack& rack, ModuleContext& moduleContext) : DspModule(rack, moduleContext) {}

void VoiceSummer::process(int32_t frames, int32_t) {
    if (frames <= 0) return;
    if (frames > kMaxFrames) frames = kMaxFrames;
    using lanes::F4;
    const float* in = signal->data;
    for (int32_t k = 0; k < frames; ++k, in += kVoices) {
        // Pairs (x0+x4, x1+x5, x2+x6, x3+x7), then ((x0+x4)+(x1+x5)) + ((x2+x6)+(x3+x7)).
        const F4 pairs = lanes::load<F4>(in) + lanes::load<F4>(in + 4);
        const float sum = ((pairs[0] + pairs[1]) + (pairs[2] + pairs[3])) * 0.5f;
        out.data[2 * k] = sum;
        out.data[2 * k + 1] = sum;
    }
}
