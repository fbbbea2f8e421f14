// The vocoder plug-in's framework: parameters, programs, keyboard, module rack and the
// processing driver that cuts host blocks into sub-blocks with a 500 Hz control tick.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "dsp/ModuleContext.h"
#include "dsp/ModuleRack.h"
#include "framework/EventQueue.h"
#include "framework/Keyboard.h"
#include "framework/MidiCcMap.h"
#include "framework/ParamDesc.h"
#include "framework/Parameter.h"
#include "framework/Program.h"
#include "host/AudioEffectX.h"
#include "platform/ModulePath.h"

class PluginBase : public AudioEffectX {
public:
    static constexpr int kNumPrograms = 16;
    static constexpr int kBankChunkSize = 18100;
    static constexpr int kProgramChunkSize = 1972;

    // iniPath: the controller map's only file; empty for the user's file, read from the
    // one beside the plug-in library while the user has none.
    PluginBase(audioMasterCallback host, int32_t numParams, const ParamDesc* table, const char* effectName,
               const char* productString, const char* vendorString, std::string iniPath = {});
    ~PluginBase() override;

    // Parameters.
    void setParameter(int32_t index, float value) override;
    float getParameter(int32_t index) override;
    void getParameterName(int32_t index, char* text) override;
    void getParameterLabel(int32_t index, char* text) override;
    void getParameterDisplay(int32_t index, char* text) override;
    // Case-insensitive lookup; shows "NotFound" and answers null / -1 when absent.
    Parameter* findParameter(const char* name);
    int32_t findParameterIndex(const char* name);
    // The value a module binds to.
    const ParamValue* bindParameter(ParamId id) { return &parameters[id.index].value; }
    Parameter& parameter(int index) { return parameters[index]; }
    int32_t entryCount() const { return kNumEntries; }

    // Programs.
    void setProgram(int32_t index) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(int32_t category, int32_t index, char* text) override;
    bool copyProgram(int32_t destination) override;
    Program& program(int index) { return programs[index]; }

    // Chunks (user-interface thread): text lines "key=value", values as float bit patterns.
    int32_t getChunk(void** data, bool isPreset) override;
    int32_t setChunk(void* data, int32_t byteSize, bool isPreset) override;

    // WAV file slots 0..3 (user-interface thread). The base keeps the path, which chunks
    // save and the File1..File4 entries show; a plug-in with a vocoder loads the file
    // and keeps the path the vocoder stored.
    virtual void loadFileSlot(int slot, const char* path);
    const char* fileSlotPath(int slot) const;

    int32_t getMidiProgramName(int32_t channel, MidiProgramName* name) override;
    int32_t getCurrentMidiProgram(int32_t channel, MidiProgramName* name) override;
    int32_t getMidiProgramCategory(int32_t channel, MidiProgramCategory* category) override;
    bool hasMidiProgramsChanged(int32_t channel) override;
    bool getMidiKeyName(int32_t channel, MidiKeyName* keyName) override;

    bool getEffectName(char* name) override;
    bool getProductString(char* text) override;
    bool getVendorString(char* text) override;

    // Processing driver (audio thread).
    void process(float** inputs, float** outputs, int32_t frames) override;
    void processReplacing(float** inputs, float** outputs, int32_t frames) override;
    int32_t processEvents(VstEvents* events) override;

    // Any thread, also while the audio thread processes: the driver takes the new rate at
    // the start of its next block; modules get it at once.
    void setSampleRate(float rate) override;
    // User-interface thread: the next sub-block plays at the current volume and pan
    // instead of ramping from gains nobody heard.
    void resume() override;

    Keyboard& keyboard() { return keys; }
    ModuleRack& rack() { return modules; }
    ModuleContext& context() { return moduleContext; }
    // The driver's timing at the latest rate set.
    int32_t subBlockLimit() const { return DriverTiming::at(latestRate()).blockLimit; }
    int32_t controlPeriod() const { return DriverTiming::at(latestRate()).period; }
    int32_t integerSampleRate() const { return moduleContext.sampleRate.load(std::memory_order_relaxed); }

protected:
    // A control change: the controller map first, then sustain and pitch reset.
    virtual void dispatchController(int controller, int value);
    // setChunk on data whose readable size is known: nothing past size is read.
    int32_t loadChunk(const unsigned char* data, size_t size, bool isPreset);

private:
    // The control period (samples x 256 per tick) and sub-block limit at one rate.
    struct DriverTiming {
        int32_t period;
        int32_t blockLimit;
        static DriverTiming at(int32_t rate);
    };
    int32_t latestRate() const { return static_cast<int32_t>(rateRecord.load(std::memory_order_relaxed)); }

    void runDriver(float** outputs, int32_t frames, bool replacing);
    void readHostTime();
    void masterOutput(float* left, float* right, int32_t frames, bool replacing);
    void rampOutput(const float* source, float* left, float* right, int32_t frames, bool replacing, float leftGain,
                    float rightGain);
    void dispatchEvent(const VstMidiEvent& event);
    void applyCurrentProgram();
    int32_t loadTextChunk(const unsigned char* data, size_t size, bool isPreset);
    int32_t loadLegacyChunk(const unsigned char* data, size_t size, bool isPreset);
    void setFileEntry(int slot, const char* path);

    char effectName[32] = {};
    char productString[32] = {};
    char vendorString[32] = {};
    const ParamDesc* descriptors;
    Parameter parameters[kNumEntries];
    Program programs[kNumPrograms];
    Keyboard keys;
    ModuleRack modules;
    ModuleContext moduleContext;
    MidiCcMap ccMap;
    EventQueue queue;
    int32_t midiPrograms[16] = {};
    // The integer rate in the low half, a count of setSampleRate calls in the high half:
    // written whole by any thread, compared with the one taken by the audio thread.
    std::atomic<uint64_t> rateRecord{48000};
    // Audio thread: the record the driver runs at, its timing and the control counter.
    uint64_t takenRecord = ~uint64_t{0};
    DriverTiming timing = DriverTiming::at(48000);
    int32_t counter = 0;
    // Audio thread: the volume and pan gains of the last sub-block, where a change ramps
    // from; a fresh start (construction, resume) plays at the current gains.
    float heardLeftGain = 0.0f;
    float heardRightGain = 0.0f;
    std::atomic<bool> gainsFresh{true};
    int32_t eventPosition = 0;
    char slotPaths[kNumFileSlots][platform::kPathSize] = {};
    // Per instance: two instances saving at once must not share the text.
    char chunk[kBankChunkSize] = {};
};
