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
    // Audio thread: at every module's place in order, the process of what runs there.
    void run(int32_t frames, int32_t tick);
    // Before processing: runner's process runs at module's place instead of module's own
    // (null: nothing runs there), for a runner that renders several modules together.
    // The modules keep their places for everything else.
    void runInstead(const DspModule* module, DspModule* runner);

    int count() const { return moduleCount; }
    DspModule* module(int i) const { return i >= 0 && i < moduleCount ? modules[i] : nullptr; }
    // What runs at place i (null: nothing).
    DspModule* runner(int i) const { return i >= 0 && i < moduleCount ? runners[i] : nullptr; }

    // What the master output reads.
    void setFinalOutput(const StereoBuffer* buffer) { finalOutput = buffer ? buffer : &zeros::stereoBuffer; }
    const StereoBuffer* output() const { return finalOutput; }

private:
    DspModule* modules[kMaxModules] = {};
    DspModule* runners[kMaxModules] = {};
    int32_t tags[kMaxModules] = {};
    int moduleCount = 0;
    const StereoBuffer* finalOutput = &zeros::stereoBuffer;
};
