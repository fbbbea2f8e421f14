// Adapter between the LV2 plug-in interface and a plug-in object written against the
// VST 2 adapter classes: control ports become parameters, the atom input becomes the
// driver's MIDI events and host time, the state interface carries the bank chunk.
// The plug-in object is driven through its VST 2 record exactly as a VST 2 host drives
// it, so both formats run the same code on the same calls and give the same output, and
// nothing the plug-in throws reaches the LV2 host.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <atomic>
#include <cstdint>

#include "host/AudioEffectX.h"

// Port order of every description: parameter controls, the event input, audio inputs,
// audio outputs, then the plug-in's own control inputs beyond its parameters.
struct Lv2PortLayout {
    int32_t controls;
    bool events;
    int32_t audioInputs;
    int32_t audioOutputs;
    int32_t extraControls;

    constexpr int32_t eventPort() const { return controls; }
    constexpr int32_t firstInput() const { return controls + (events ? 1 : 0); }
    constexpr int32_t firstOutput() const { return firstInput() + audioInputs; }
    constexpr int32_t firstExtra() const { return firstOutput() + audioOutputs; }
    constexpr int32_t count() const { return firstExtra() + extraControls; }
};

class Lv2Plugin {
public:
    static constexpr int32_t kMaxControls = 64;
    static constexpr int32_t kMaxAudio = 2;
    static constexpr int32_t kMaxExtras = 4;
    static constexpr int32_t kMaxEvents = 512;

    // Instantiation thread.
    // State keys are the plug-in's URI followed by "#" and a name.
    Lv2Plugin(const Lv2PortLayout& layout, double rate, const char* pluginUri, const LV2_Feature* const* features);
    virtual ~Lv2Plugin();
    Lv2Plugin(const Lv2Plugin&) = delete;
    Lv2Plugin& operator=(const Lv2Plugin&) = delete;

    using Make = AudioEffectX* (*)(audioMasterCallback host);
    // Instantiation: the instance takes the plug-in object make builds with the adapter's
    // host callback. Answers the instance, or null (deleting it) when the instance is null
    // or not ready() or the plug-in could not be made.
    static LV2_Handle start(Lv2Plugin* instance, Make make);
    // Whether the instance has what it needs: urid:map from the host, and whatever a
    // derived instance adds.
    virtual bool ready() const { return map != nullptr; }
    AudioEffectX* plugin() const { return record ? static_cast<AudioEffectX*>(record->object) : nullptr; }
    static intptr_t hostCallback(AEffect* record, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

    using Instantiate = LV2_Handle (*)(const LV2_Descriptor*, double, const char*, const LV2_Feature* const*);
    // The descriptor of a plug-in whose instantiate makes a valid Lv2Plugin (or null).
    static LV2_Descriptor descriptor(const char* uri, Instantiate instantiate);

    // Host calls of the LV2 descriptor: connect on any thread but never during run;
    // activate and deactivate on the instantiation thread; run on the audio thread; save
    // and restore on a non-real-time thread, possibly while run goes on.
    void connect(uint32_t port, void* data);
    void activate();
    void deactivate();
    void run(uint32_t frames);
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle, const LV2_Feature* const* features);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                             const LV2_Feature* const* features);

    // User-interface thread: calls report(index, value) for every parameter the plug-in
    // reported as automated (its editor, MIDI controllers) since the last call.
    template <class Report>
    void takeAutomation(Report report) {
        uint64_t bits = automated.exchange(0, std::memory_order_acquire);
        for (int32_t i = 0; bits; ++i, bits >>= 1)
            if (bits & 1) report(i, automatedValues[i].load(std::memory_order_relaxed));
    }

protected:
    // Audio thread, before the plug-in processes frames (at most the block limit below):
    // the extra control values and the audio inputs of those frames.
    virtual void beforeProcess(const float* const* extras, float* const* inputs, int32_t frames) {
        (void)extras;
        (void)inputs;
        (void)frames;
    }
    // Audio thread: the largest number of frames one processing call may take with these
    // extra control values (the host's block is cut when it is longer).
    virtual int32_t blockLimit(const float* const* extras) const {
        (void)extras;
        return INT32_MAX;
    }

    // State of a chunk-saving plug-in: the bank chunk as read for saving, and the
    // chunk that restoring hands the plug-in. Non-real-time threads.
    virtual LV2_State_Status saveExtra(LV2_State_Store_Function store, LV2_State_Handle handle,
                                       const LV2_State_Map_Path* mapPath) {
        (void)store;
        (void)handle;
        (void)mapPath;
        return LV2_STATE_SUCCESS;
    }
    // Called with the saved chunk; restores it (a plug-in may first rewrite it).
    virtual void restoreChunk(const void* data, uint32_t size, LV2_State_Retrieve_Function retrieve,
                              LV2_State_Handle handle, const LV2_State_Map_Path* mapPath);

    LV2_URID mapUri(const char* uri) const { return map->map(map->handle, uri); }
    LV2_URID stateKey(const char* suffix) const;

    // The plug-in's VST 2 record: every call goes through it, inside the same exception
    // boundary as a VST 2 host's calls. Owned (closed with effClose).
    AEffect* record = nullptr;
    LV2_URID_Map* map = nullptr;
    char keyPrefix[96] = {};

private:
    struct Uris {
        LV2_URID atomChunk, atomBlank, atomObject, atomInt, atomLong, atomFloat, atomDouble;
        LV2_URID midiEvent, timePosition, timeBar, timeBarBeat, timeBeat, timeBeatUnit, timeBeatsPerBar,
            timeBeatsPerMinute, timeSpeed, timeFrame;
    };

    void readEvents(uint32_t frames);
    void readPosition(const LV2_Atom_Object* position);
    void advanceTime(uint32_t frames);
    void processPiece(int32_t offset, int32_t frames, int32_t& nextEvent);

    Lv2PortLayout layout;
    Uris uris{};
    double rate;
    const float* controls[kMaxControls] = {};
    uint32_t appliedBits[kMaxControls] = {};
    bool applied[kMaxControls] = {};
    const float* extras[kMaxExtras] = {};
    const LV2_Atom_Sequence* eventPort = nullptr;
    float* inputs[kMaxAudio] = {};
    float* outputs[kMaxAudio] = {};

    // The driver's event list, built without allocating: pointer array and events.
    struct EventStorage {
        int32_t numEvents;
        intptr_t reserved;
        VstEvent* events[kMaxEvents];
    } eventList{};
    VstMidiEvent midiEvents[kMaxEvents] = {};
    int32_t midiCount = 0;

    // Host time as a VST 2 host reports it; none until the host sends a position.
    VstTimeInfo timeInfo{};
    bool haveTime = false;
    double beatUnit = 4.0;

    std::atomic<uint64_t> automated{0};
    std::atomic<float> automatedValues[kMaxControls] = {};
};
