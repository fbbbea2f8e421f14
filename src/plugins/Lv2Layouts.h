// The LV2 identity and port order of both plug-ins, shared by their LV2 entries and the
// generator of their descriptions.
#pragma once

#include "capture/CapturePlugin.h"
#include "framework/ParamDesc.h"
#include "lv2/Lv2Plugin.h"

namespace lv2layout {

inline constexpr const char* kVocoderUri = "urn:drennak:zorvek2";
inline constexpr const char* kVocoderUiUri = "urn:drennak:zorvek2#ui";
inline constexpr const char* kCaptureUri = "urn:drennak:zorvek-capture";
inline constexpr const char* kCaptureUiUri = "urn:drennak:zorvek-capture#ui";

// Zorvek2: its parameters, MIDI and host time, the side-chain pair, two outputs, and the
// switch that makes the side-chain the capture source.
inline constexpr Lv2PortLayout kVocoder{kNumAutomatable, true, 2, 2, 1};
// ZorvekCapture: its parameters, stereo in and out.
inline constexpr Lv2PortLayout kCapture{CapturePlugin::kNumParameters, false, 2, 2, 0};

}  // namespace lv2layout
