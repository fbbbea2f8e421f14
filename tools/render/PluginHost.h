// Hosts one VST 2 plug-in: loads its library by path, creates it through its entry
// point, answers its calls to the host and forwards our requests to its dispatcher.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/Vst2.h"

namespace render {

class PluginHost {
public:
    using Entry = AEffect* (*)(audioMasterCallback);
    static constexpr int32_t kHostVersion = 2400;
    static constexpr int32_t kMaxChannels = 64;

    PluginHost() = default;
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Loads the library and creates the plug-in; on failure error holds one line.
    bool load(const std::string& path, std::string& error);
    // Creates the plug-in through an entry point already in memory.
    bool create(Entry entry, std::string& error);
    // Suspends and closes the plug-in and unloads its library.
    void close();

    // Sets rate and block size; the host answers them from now on.
    void configure(double sampleRate, int32_t blockSize);
    void resume();
    void suspend();

    AEffect* effect() const { return aeffect; }
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f);

    int32_t numInputs() const { return aeffect->numInputs; }
    int32_t numOutputs() const { return aeffect->numOutputs; }
    int32_t numParams() const { return aeffect->numParams; }
    int32_t numPrograms() const { return aeffect->numPrograms; }
    bool canReplacing() const;

    std::string parameterName(int32_t index);
    std::string parameterDisplay(int32_t index);
    std::string parameterLabel(int32_t index);
    // Index of the parameter whose name matches case-insensitively, or -1.
    int32_t findParameter(const std::string& name);
    void setParameter(int32_t index, float value) { aeffect->setParameter(aeffect, index, value); }
    float getParameter(int32_t index) { return aeffect->getParameter(aeffect, index); }
    std::string programName(int32_t index);
    void setProgram(int32_t index) { dispatch(effSetProgram, 0, index); }
    bool acceptsChunks() const { return aeffect->flags & effFlagsProgramChunks; }
    // The plug-in's answer: 0 when it did not take the data.
    intptr_t setChunk(std::vector<char>& data, bool singleProgram);

    // The transport the plug-in sees through audioMasterGetTime until the next call.
    void setTime(double samplePosition, double quarters, double bpm);
    const VstTimeInfo& timeInfo() const { return time; }

    // Audio thread of the render: events for the coming block, then the block itself.
    void sendEvents(VstEvents* events) { dispatch(effProcessEvents, 0, 0, events); }
    void process(float** inputs, float** outputs, int32_t frames);

    // What the plug-in asked of the host.
    bool wantsMidi() const { return wantMidiRequested; }
    int automationCount() const { return automations; }

private:
    static intptr_t callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
    intptr_t answer(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
    std::string text(int32_t opcode, int32_t index);

    void* library = nullptr;
    AEffect* aeffect = nullptr;
    bool resumed = false;
    double sampleRate = 44100.0;
    int32_t blockSize = 512;
    VstTimeInfo time{};
    bool wantMidiRequested = false;
    int automations = 0;
};

}  // namespace render
