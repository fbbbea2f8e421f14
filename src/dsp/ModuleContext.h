// The few plug-in values that modules read, owned and filled by the plug-in's
// processing driver. Host-time values are refreshed before every sub-block.
#pragma once

#include <atomic>
#include <cstdint>

#include "dsp/Buffers.h"
#include "dsp/RandomGenerator.h"

struct ModuleContext {
    // The Keyboard's voice active flags (audio thread only).
    const int32_t* voiceActive = zeros::voiceFlags;
    // Host tempo in beats per minute x 1/30000 (0.004 without host time).
    std::atomic<float> tempoFactor{0.004f};
    // trunc(rate x tempo / 60) samples: one beat.
    std::atomic<int32_t> tempoLength{88200};
    // Host position in quarter notes (0 without host time).
    std::atomic<float> quarterNotePosition{0.0f};
    // Integer sample rate of the plug-in.
    std::atomic<int32_t> sampleRate{44100};
    // Shared random generator, drawn on the audio thread only.
    RandomGenerator random;
};
