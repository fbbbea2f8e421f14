// Buffer types that flow between modules, and the shared read-only zero objects that
// unbound inputs point at.
#pragma once

#include <cstdint>

#include "dsp/ParamValue.h"

constexpr int kVoices = 8;
constexpr int kMaxFrames = 256;

// 256 frames x 8 voices, frame-major: voice v at frame n is element 8n + v.
struct alignas(16) VoiceBuffer {
    float data[kMaxFrames * kVoices] = {};
};

// 256 frames of interleaved left/right samples.
struct alignas(16) StereoBuffer {
    float data[kMaxFrames * 2] = {};
};

// One control-rate value per voice.
struct alignas(16) VoiceVector {
    float v[kVoices] = {};
};

namespace zeros {
extern const VoiceBuffer voiceBuffer;
extern const StereoBuffer stereoBuffer;
extern const VoiceVector voiceVector;
extern const ParamValue param;
extern const int32_t voiceFlags[kVoices];
}  // namespace zeros
