// Loads a built plug-in library through dlopen and its `main` entry, as a host does,
// and plays the host's side of the callback.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/Vst2.h"

class LoadedPlugin {
public:
    struct Automation {
        int32_t index;
        float value;
    };

    // Path relative to the build's plug-in folder, e.g. "Zorvek2.so".
    explicit LoadedPlugin(const std::string& fileName, int32_t hostVersion = 2400);
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    AEffect* effect() const { return aeffect; }
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f);
    void setParameter(int32_t index, float value) { aeffect->setParameter(aeffect, index, value); }
    float getParameter(int32_t index) { return aeffect->getParameter(aeffect, index); }
    std::string parameterName(int32_t index);
    std::string parameterDisplay(int32_t index);

    void start(float rate = 44100.0f, int32_t blockSize = 512);
    // Sends MIDI bytes at the given frame with the next block.
    void sendMidi(int status, int data1, int data2, int32_t deltaFrames = 0);
    void flushEvents();
    // Renders frames (replacing) into left and right, in host blocks of blockSize.
    void render(std::vector<float>& left, std::vector<float>& right, int32_t frames, int32_t blockSize = 512);

    // Host state the callback answers with.
    bool provideTime = false;
    VstTimeInfo timeInfo{};
    std::vector<Automation> automations;
    int wantMidiCalls = 0;
    // Editor sizes the plug-in asked for (audioMasterSizeWindow), width and height.
    struct Size {
        int32_t width;
        int32_t height;
    };
    std::vector<Size> sizeRequests;
    int updateDisplayCalls = 0;
    // The parameter values as the host re-read them at the last audioMasterUpdateDisplay.
    std::vector<float> displayedValues;

private:
    static intptr_t hostCallback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

    void* library = nullptr;
    AEffect* aeffect = nullptr;
    int32_t version;
    std::vector<VstMidiEvent> pending;
};
