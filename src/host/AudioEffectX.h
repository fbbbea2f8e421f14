// Adapter between the VST 2 plug-in record and the plug-in's own classes: fills the
// record, turns dispatcher opcodes into virtual operations and makes the host calls.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/AEffEditor.h"
#include "host/Vst2.h"

class AudioEffectX {
public:
    AudioEffectX(audioMasterCallback host, int32_t numPrograms, int32_t numParams);
    virtual ~AudioEffectX();

    AudioEffectX(const AudioEffectX&) = delete;
    AudioEffectX& operator=(const AudioEffectX&) = delete;

    AEffect* getAeffect() { return &cEffect; }

    // Opcode handling; any thread except where a host call documents otherwise.
    virtual intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

    // Audio thread.
    virtual void process(float** inputs, float** outputs, int32_t frames);
    virtual void processReplacing(float** inputs, float** outputs, int32_t frames);
    virtual int32_t processEvents(VstEvents* events);

    // Any thread (host automation, editor, MIDI controllers on the audio thread).
    virtual void setParameter(int32_t index, float value);
    virtual float getParameter(int32_t index);
    // Sets a parameter and reports the change to the host.
    virtual void setParameterAutomated(int32_t index, float value);

    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume();

    virtual void setProgram(int32_t program);
    virtual void setProgramName(char* name);
    virtual void getProgramName(char* name);
    virtual bool getProgramNameIndexed(int32_t category, int32_t index, char* text);
    virtual bool copyProgram(int32_t destination);
    virtual int32_t getProgram() { return curProgram; }

    virtual void getParameterLabel(int32_t index, char* label);
    virtual void getParameterDisplay(int32_t index, char* text);
    virtual void getParameterName(int32_t index, char* text);

    virtual int32_t getChunk(void** data, bool isPreset);
    virtual int32_t setChunk(void* data, int32_t byteSize, bool isPreset);

    virtual void setSampleRate(float rate) { sampleRate = rate; }
    virtual void setBlockSize(int32_t size) { blockSize = size; }
    float getSampleRate() const { return sampleRate; }
    int32_t getBlockSize() const { return blockSize; }

    virtual bool getOutputProperties(int32_t index, VstPinProperties* properties);
    virtual int32_t getPlugCategory();
    virtual bool getEffectName(char* name);
    virtual bool getProductString(char* text);
    virtual bool getVendorString(char* text);
    virtual int32_t getVendorVersion() { return 1000; }
    virtual int32_t canDo(const char* text);
    virtual float getVu() { return 0.0f; }

    virtual int32_t getMidiProgramName(int32_t channel, MidiProgramName* name);
    virtual int32_t getCurrentMidiProgram(int32_t channel, MidiProgramName* name);
    virtual int32_t getMidiProgramCategory(int32_t channel, MidiProgramCategory* category);
    virtual bool hasMidiProgramsChanged(int32_t channel);
    virtual bool getMidiKeyName(int32_t channel, MidiKeyName* keyName);

    // Host calls; each answers 0 when there is no host callback.
    intptr_t callHost(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f);
    void wantEvents(int32_t filter = 1);
    VstTimeInfo* getTimeInfo(int32_t filter);
    // Asks the host to read parameter values, program names and displays again.
    bool updateDisplay();

    AEffEditor* getEditor() const { return editor; }
    // Takes ownership; marks the record as having an editor.
    void setEditor(AEffEditor* newEditor);

protected:
    void setNumInputs(int32_t n) { cEffect.numInputs = n; }
    void setNumOutputs(int32_t n) { cEffect.numOutputs = n; }
    void setUniqueID(int32_t id) { cEffect.uniqueID = id; }
    void setFlag(int32_t flag, bool on);
    bool hasFlag(int32_t flag) const { return (cEffect.flags & flag) != 0; }

    float sampleRate = 44100.0f;
    int32_t blockSize = 1024;
    AEffEditor* editor = nullptr;
    audioMasterCallback hostCallback;
    int32_t numPrograms;
    int32_t numParams;
    // Written by program changes on any thread, read by the audio thread when a MIDI
    // controller writes a parameter through to the current program.
    std::atomic<int32_t> curProgram{0};
    AEffect cEffect{};
};

// Writes value as digits with truncated fraction, 8 characters in all ("0.500000").
void float2string(float value, char* text);

// Copies at most size - 1 characters and always terminates.
void copyString(char* destination, const char* source, int size);
