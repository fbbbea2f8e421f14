#include "dsp/Buffers.h"

namespace zeros {
const VoiceBuffer voiceBuffer{};
const StereoBuffer stereoBuffer{};
const VoiceVector voiceVector{};
const ParamValue param{0.0f};
const int32_t voiceFlags[kVoices] = {};
}  // namespace zeros
