// The module contract: every signal-processing block of the instrument is a DspModule
// with these four operations, wired once at construction and run in rack order.
#pragma once

#include <atomic>
#include <cstdint>

struct ModuleContext;
class ModuleRack;

class DspModule {
public:
    // Appends the module to the rack, which fixes its place in processing order.
    DspModule(ModuleRack& rack, ModuleContext& context);
    virtual ~DspModule() = default;

    DspModule(const DspModule&) = delete;
    DspModule& operator=(const DspModule&) = delete;

    // Any thread; kept for the rack's bookkeeping.
    virtual int32_t moduleTag() { return 0; }
    // Any thread, between sub-blocks: the plug-in's integer sample rate.
    virtual void setSampleRate(int32_t rate) { sampleRate.store(rate, std::memory_order_relaxed); }
    // Thread that changed a parameter (host, editor, or the audio thread for MIDI
    // controllers): recompute what derives from the parameter values.
    virtual void onParameter(int32_t index, float value) {
        (void)index;
        (void)value;
    }
    // Audio thread: render frames (1..256) from the first frame of the output buffer.
    // tick is nonzero when the 500 Hz control clock fired for this sub-block.
    virtual void process(int32_t frames, int32_t tick) = 0;

    int32_t rate() const { return sampleRate.load(std::memory_order_relaxed); }

protected:
    // A module that runs at another's place in the rack (ModuleRack::runInstead): not
    // appended to a rack.
    explicit DspModule(ModuleContext& context) : context(context) {}

    int32_t flag = 1;
    std::atomic<int32_t> sampleRate{44100};
    ModuleContext& context;
};
