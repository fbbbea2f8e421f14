// The plug-in's ordered list of modules: registration order is processing order.
#pragma once

#include <cstdint>

#include "dsp/Buffers.h"

class DspModule;

class ModuleRack {
public:
    static constexpr int kMaxModules = 20;

    // Called from a module's constructor; ignored once the rack is full.
    void registerModule(DspModule* module);

    void setSampleRate(int32_t rate);
    void onParameter(int32_t index, float value);
    // Audio thread: every module's process in order.
    void run(int32_t frames, int32_t tick);

    int count() const { return moduleCount; }
    DspModule* module(int i) const { return i >= 0 && i < moduleCount ? modules[i] : nullptr; }

    // What the master output reads.
    void setFinalOutput(const StereoBuffer* buffer) { finalOutput = buffer ? buffer : &zeros::stereoBuffer; }
    const StereoBuffer* output() const { return finalOutput; }

private:
    DspModule* modules[kMaxModules] = {};
    int32_t tags[kMaxModules] = {};
    int moduleCount = 0;
    const StereoBuffer* finalOutput = &zeros::stereoBuffer;
};
