#include "capture/CapturePlugin.h"

#include <cmath>

namespace {

constexpr const char* kName = "ZorvekCapture";
constexpr const char* kParameterNames[CapturePlugin::kNumParameters] = {"Mute", "Channel"};

// Host values are 0..1; anything else (NaN included) is clamped before use.
float clampUnit(float value) { return value >= 0.0f ? (value <= 1.0f ? value : 1.0f) : 0.0f; }

}  // namespace

CapturePlugin::CapturePlugin(audioMasterCallback host) : AudioEffectX(host, 1, kNumParameters) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID('Z' | 'K' << 8 | 'Z' << 16 | 'K' << 24);
    setFlag(effFlagsCanMono, true);
    setFlag(effFlagsCanReplacing, true);
}

template <bool Adding>
void CapturePlugin::run(float** inputs, float** outputs, int32_t frames) {
    if (frames <= 0 || !inputs || !outputs || !inputs[0] || !inputs[1] || !outputs[0] || !outputs[1]) return;
    const float* inL = inputs[0];
    const float* inR = inputs[1];
    float* outL = outputs[0];
    float* outR = outputs[1];
    // Mute is read once per block; the channel afresh for every frame.
    bool pass = mute.load(std::memory_order_relaxed) == 0.0f;
    for (int32_t i = 0; i < frames; ++i) {
        float left = inL[i];
        float right = inR[i];
        memory.writeFrame(channel.load(std::memory_order_relaxed), left, right);
        if constexpr (Adding) {
            if (pass) {
                outL[i] += left;
                outR[i] += right;
            }
        } else {
            outL[i] = pass ? left : 0.0f;
            outR[i] = pass ? right : 0.0f;
        }
    }
}

void CapturePlugin::process(float** inputs, float** outputs, int32_t frames) { run<true>(inputs, outputs, frames); }

void CapturePlugin::processReplacing(float** inputs, float** outputs, int32_t frames) {
    run<false>(inputs, outputs, frames);
}

void CapturePlugin::setParameter(int32_t index, float value) {
    value = clampUnit(value);
    if (index == kMute)
        mute.store(std::trunc(value + 0.5f), std::memory_order_relaxed);
    else if (index == kChannel)
        channel.store(static_cast<int32_t>(value * 3.0f + 0.5f), std::memory_order_relaxed);
    else
        return;
    // An open editor follows changes from the host as well as its own.
    if (AEffEditor* e = getEditor()) e->setParameter(index, getParameter(index));
}

float CapturePlugin::getParameter(int32_t index) {
    if (index == kMute) return mute.load(std::memory_order_relaxed);
    if (index == kChannel) return static_cast<float>(channel.load(std::memory_order_relaxed)) * 0.33333334f;
    return 0.0f;
}

void CapturePlugin::getParameterName(int32_t index, char* text) {
    copyString(text, index >= 0 && index < kNumParameters ? kParameterNames[index] : "", kVstMaxParamStrLen);
}

void CapturePlugin::getParameterDisplay(int32_t index, char* text) {
    if (index == kMute) {
        copyString(text, mute.load(std::memory_order_relaxed) == 0.0f ? "Off" : "On", kVstMaxParamStrLen);
    } else if (index == kChannel) {
        text[0] = static_cast<char>('1' + channel.load(std::memory_order_relaxed));
        text[1] = 0;
    }
}

void CapturePlugin::getParameterLabel(int32_t, char* label) { copyString(label, "", kVstMaxParamStrLen); }

void CapturePlugin::getProgramName(char* name) { copyString(name, "Default", kVstMaxProgNameLen); }

bool CapturePlugin::getProgramNameIndexed(int32_t, int32_t, char* text) {
    copyString(text, "Default", kVstMaxProgNameLen);
    return true;
}

void CapturePlugin::setProgramName(char*) {}

bool CapturePlugin::getEffectName(char* name) {
    copyString(name, kName, kVstMaxEffectNameLen);
    return true;
}

bool CapturePlugin::getProductString(char* text) {
    copyString(text, kName, kVstMaxProductStrLen);
    return true;
}

bool CapturePlugin::getVendorString(char* text) {
    copyString(text, "Drennak", kVstMaxVendorStrLen);
    return true;
}
