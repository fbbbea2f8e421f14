// ZorvekCapture: a stereo effect that copies every frame passing through it into one
// of the four channels of the shared capture memory, and passes the audio on or mutes it.
#pragma once

#include <atomic>
#include <cstdint>

#include "capture/CaptureMemory.h"
#include "host/AudioEffectX.h"

class CapturePlugin : public AudioEffectX {
public:
    enum Parameter : int32_t { kMute, kChannel, kNumParameters };

    explicit CapturePlugin(audioMasterCallback host);

    // Audio thread. Both capture every frame into the selected channel, muted or not;
    // process adds the input to the outputs, processReplacing overwrites them.
    void process(float** inputs, float** outputs, int32_t frames) override;
    void processReplacing(float** inputs, float** outputs, int32_t frames) override;

    // Any thread: plain stores and loads of the two fields the audio thread reads.
    void setParameter(int32_t index, float value) override;
    float getParameter(int32_t index) override;
    void getParameterName(int32_t index, char* text) override;
    void getParameterDisplay(int32_t index, char* text) override;
    void getParameterLabel(int32_t index, char* label) override;

    void getProgramName(char* name) override;
    bool getProgramNameIndexed(int32_t category, int32_t index, char* text) override;
    void setProgramName(char* name) override;
    bool getEffectName(char* name) override;
    bool getProductString(char* text) override;
    bool getVendorString(char* text) override;

private:
    template <bool Adding>
    void run(float** inputs, float** outputs, int32_t frames);

    std::atomic<float> mute{1.0f};    // 0.0 passes the audio, 1.0 silences the outputs
    std::atomic<int32_t> channel{0};  // 0..3, shown as 1..4
    CaptureMemory memory{CaptureMemory::Role::Writer};
};
