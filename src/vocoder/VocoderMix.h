// The vocoder's output mix: the filter bank's and the spectral path's signals
// crossfaded by AnaDigi, scaled by MixVoc, mixed with the dry modulator (MixMod) and
// carrier (MixCar), soft-clipped and interleaved into a stereo buffer.
#pragma once

#include <cstdint>

#include "dsp/SimdPath.h"

namespace vocoder {

// One sub-block's signals, frame by frame; the right ones are read only in stereo.
struct MixInputs {
    const float *modulator, *ringLeft, *ringRight, *sumLeft, *sumRight, *left, *right;
};

// dry = 1 - x weighs the spectral path, x the filter bank.
struct MixLevels {
    float dry, x, vocoded, direct, carried;
};

// Per frame: softClip((dry x ring + x x sum) x vocoded + direct x modulator + carried x
// carrier) on the left, in stereo the same of the right signals (carrier term before the
// modulator's), in mono the left value twice. Every path gives the same bits.
void mix(SimdPath path, bool stereo, const MixInputs& in, const MixLevels& levels, float* out, int32_t frames);

}  // namespace vocoder
