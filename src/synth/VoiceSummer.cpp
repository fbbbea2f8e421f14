#include "synth/VoiceSummer.h"

#include "synth/VoiceLanes.h"

VoiceSummer::VoiceSummer(ModuleRack& rack, ModuleContext& moduleContext) : DspModule(rack, moduleContext) {}

void VoiceSummer::process(int32_t frames, int32_t) {
    if (frames <= 0) return;
    if (frames > kMaxFrames) frames = kMaxFrames;
    using lanes::F4;
    const float* in = signal->data;
    for (int32_t k = 0; k < frames; ++k, in += kVoices) {
        const float sum = voicelanes::voiceSum(lanes::load<F4>(in), lanes::load<F4>(in + 4));
        out.data[2 * k] = sum;
        out.data[2 * k + 1] = sum;
    }
}
