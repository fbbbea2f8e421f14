#include "host/AudioEffectX.h"

#include <cstdio>
#include <cstring>

namespace {

// Every entry from the host catches what the plug-in throws (an allocation that failed
// while loading a file or a chunk): an exception unwinding into the host would end it.
// A failed request answers 0 and failed processing writes silence.

intptr_t dispatchEffect(AEffect* e, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    auto* plugin = static_cast<AudioEffectX*>(e->object);
    try {
        if (opcode == effClose) {
            plugin->close();
            delete plugin;
            return 1;
        }
        return plugin->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

void processEffect(AEffect* e, float** inputs, float** outputs, int32_t frames) {
    try {
        static_cast<AudioEffectX*>(e->object)->process(inputs, outputs, frames);
    } catch (...) {
        // The host's buffers already hold what silence adds up to.
    }
}

void processReplacingEffect(AEffect* e, float** inputs, float** outputs, int32_t frames) {
    try {
        static_cast<AudioEffectX*>(e->object)->processReplacing(inputs, outputs, frames);
    } catch (...) {
        if (!outputs || frames <= 0) return;
        for (int32_t c = 0; c < e->numOutputs; ++c)
            if (outputs[c]) std::memset(outputs[c], 0, static_cast<size_t>(frames) * sizeof(float));
    }
}

void setParameterEffect(AEffect* e, int32_t index, float value) {
    try {
        static_cast<AudioEffectX*>(e->object)->setParameter(index, value);
    } catch (...) {
    }
}

float getParameterEffect(AEffect* e, int32_t index) {
    try {
        return static_cast<AudioEffectX*>(e->object)->getParameter(index);
    } catch (...) {
        return 0.0f;
    }
}

}  // namespace

void copyString(char* destination, const char* source, int size) {
    if (!destination || size <= 0) return;
    if (!source) source = "";
    int i = 0;
    for (; i < size - 1 && source[i]; ++i) destination[i] = source[i];
    destination[i] = 0;
}

void float2string(float value, char* text) {
    // Digits of the integer part, then fraction digits truncated (never rounded)
    // until 8 characters are used, counting a leading "-" and the point.
    double v = value;
    int length = 0;
    if (v < 0) {
        text[length++] = '-';
        v = -v;
    }
    if (v > 99999999.0) v = 99999999.0;
    auto integer = static_cast<long long>(v);
    double fraction = v - static_cast<double>(integer);
    char digits[24];
    int count = std::snprintf(digits, sizeof digits, "%lld", integer);
    for (int i = 0; i < count && length < 8; ++i) text[length++] = digits[i];
    if (length < 8) text[length++] = '.';
    int places = 8 - length;
    if (places > 0) {
        double scale = 1.0;
        for (int i = 0; i < places; ++i) scale *= 10.0;
        auto frac = static_cast<long long>(fraction * scale);
        for (int i = places - 1; i >= 0; --i) {
            text[length + i] = static_cast<char>('0' + frac % 10);
            frac /= 10;
        }
        length += places;
    }
    text[length] = 0;
}

AudioEffectX::AudioEffectX(audioMasterCallback host, int32_t programs, int32_t params)
    : hostCallback(host), numPrograms(programs), numParams(params) {
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffect;
    cEffect.process = processEffect;
    cEffect.setParameter = setParameterEffect;
    cEffect.getParameter = getParameterEffect;
    cEffect.processReplacing = processReplacingEffect;
    cEffect.numPrograms = programs;
    cEffect.numParams = params;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = 0x4E6F4566;  // 'NoEf' until the plug-in sets its own
    cEffect.version = 1;
}

AudioEffectX::~AudioEffectX() { delete editor; }

void AudioEffectX::setFlag(int32_t flag, bool on) {
    if (on)
        cEffect.flags |= flag;
    else
        cEffect.flags &= ~flag;
}

void AudioEffectX::setEditor(AEffEditor* newEditor) {
    delete editor;
    editor = newEditor;
    setFlag(effFlagsHasEditor, editor != nullptr);
}

intptr_t AudioEffectX::callHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    if (!hostCallback) return 0;
    return hostCallback(&cEffect, opcode, index, value, ptr, opt);
}

void AudioEffectX::wantEvents(int32_t filter) { callHost(audioMasterWantMidi, 0, filter); }

VstTimeInfo* AudioEffectX::getTimeInfo(int32_t filter) {
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

bool AudioEffectX::updateDisplay() { return callHost(audioMasterUpdateDisplay) != 0; }

void AudioEffectX::resume() { wantEvents(1); }

void AudioEffectX::process(float**, float**, int32_t) {}
void AudioEffectX::processReplacing(float**, float**, int32_t) {}
int32_t AudioEffectX::processEvents(VstEvents*) { return 0; }
void AudioEffectX::setParameter(int32_t, float) {}
float AudioEffectX::getParameter(int32_t) { return 0.0f; }

void AudioEffectX::setParameterAutomated(int32_t index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffectX::setProgram(int32_t program) { curProgram = program; }
void AudioEffectX::setProgramName(char*) {}
void AudioEffectX::getProgramName(char* name) { copyString(name, "", kVstMaxProgNameLen); }
bool AudioEffectX::getProgramNameIndexed(int32_t, int32_t, char*) { return false; }
bool AudioEffectX::copyProgram(int32_t) { return false; }
void AudioEffectX::getParameterLabel(int32_t, char* label) { copyString(label, "", kVstMaxParamStrLen); }
void AudioEffectX::getParameterDisplay(int32_t, char* text) { copyString(text, "", kVstMaxParamStrLen); }
void AudioEffectX::getParameterName(int32_t, char* text) { copyString(text, "", kVstMaxParamStrLen); }
int32_t AudioEffectX::getChunk(void**, bool) { return 0; }
int32_t AudioEffectX::setChunk(void*, int32_t, bool) { return 0; }

bool AudioEffectX::getOutputProperties(int32_t index, VstPinProperties* properties) {
    if (index < 0 || index > 1 || !properties) return false;
    char name[kVstMaxEffectNameLen + 1] = {};
    getEffectName(name);
    std::snprintf(properties->label, sizeof properties->label, "%s%1d", name, index + 1);
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

int32_t AudioEffectX::getPlugCategory() { return hasFlag(effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown; }

bool AudioEffectX::getEffectName(char*) { return false; }
bool AudioEffectX::getProductString(char*) { return false; }
bool AudioEffectX::getVendorString(char*) { return false; }

int32_t AudioEffectX::canDo(const char* text) {
    if (!text) return -1;
    static const char* const answers[] = {"receiveVstEvents", "receiveVstMidiEvent", "midiProgramNames"};
    for (const char* answer : answers)
        if (std::strcmp(text, answer) == 0) return 1;
    return -1;
}

int32_t AudioEffectX::getMidiProgramName(int32_t, MidiProgramName*) { return 0; }
int32_t AudioEffectX::getCurrentMidiProgram(int32_t, MidiProgramName*) { return -1; }
int32_t AudioEffectX::getMidiProgramCategory(int32_t, MidiProgramCategory*) { return 0; }
bool AudioEffectX::hasMidiProgramsChanged(int32_t) { return false; }
bool AudioEffectX::getMidiKeyName(int32_t, MidiKeyName*) { return false; }

intptr_t AudioEffectX::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    auto* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effSetProgram:
            if (value >= 0 && value < numPrograms) setProgram(static_cast<int32_t>(value));
            return 0;
        case effGetProgram:
            return getProgram();
        case effSetProgramName:
            if (text) setProgramName(text);
            return 0;
        case effGetProgramName:
            if (text) getProgramName(text);
            return 0;
        case effGetParamLabel:
            if (text) getParameterLabel(index, text);
            return 0;
        case effGetParamDisplay:
            if (text) getParameterDisplay(index, text);
            return 0;
        case effGetParamName:
            if (text) getParameterName(index, text);
            return 0;
        case effGetVu:
            return static_cast<intptr_t>(getVu() * 32767.0f);
        case effSetSampleRate:
            setSampleRate(opt);
            return 0;
        case effSetBlockSize:
            setBlockSize(static_cast<int32_t>(value));
            return 0;
        case effMainsChanged:
            if (value == 0)
                suspend();
            else
                resume();
            return 0;
        case effEditGetRect:
            return editor && ptr ? editor->getRect(static_cast<ERect**>(ptr)) : 0;
        case effEditOpen:
            return editor ? editor->open(ptr) : 0;
        case effEditClose:
            if (editor) editor->close();
            return 0;
        case effEditIdle:
            if (editor) editor->idle();
            return 0;
        case effIdentify:
            return 0x4E764566;  // 'NvEf'
        case effGetChunk:
            return ptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
        case effSetChunk:
            return ptr ? setChunk(ptr, static_cast<int32_t>(value), index != 0) : 0;
        case effProcessEvents:
            if (!ptr) return 0;
            processEvents(static_cast<VstEvents*>(ptr));
            return 1;
        case effCanBeAutomated:
            return 1;
        case effGetNumProgramCategories:
            return 1;
        case effGetProgramNameIndexed:
            return text && getProgramNameIndexed(static_cast<int32_t>(value), index, text) ? 1 : 0;
        case effCopyProgram:
            return copyProgram(index) ? 1 : 0;
        case effConnectInput:
        case effConnectOutput:
            return 1;
        case effGetOutputProperties:
            return getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
        case effGetPlugCategory:
            return getPlugCategory();
        case effSetBlockSizeAndSampleRate:
            blockSize = static_cast<int32_t>(value);
            sampleRate = opt;
            return 1;
        case effGetEffectName:
            return text && getEffectName(text) ? 1 : 0;
        case effGetProductString:
            return text && getProductString(text) ? 1 : 0;
        case effGetVendorString:
            return text && getVendorString(text) ? 1 : 0;
        case effGetVendorVersion:
            return getVendorVersion();
        case effCanDo:
            return canDo(text);
        case effKeysRequired:
            return 1;
        case effGetVstVersion:
            return 2300;
        case effEditKeyDown:
            return editor ? editor->onKeyDown(index, static_cast<int32_t>(value), static_cast<int32_t>(opt)) : 0;
        case effEditKeyUp:
            return editor ? editor->onKeyUp(index, static_cast<int32_t>(value), static_cast<int32_t>(opt)) : 0;
        case effSetEditKnobMode:
            return editor ? editor->setKnobMode(static_cast<int32_t>(value)) : 0;
        case effGetMidiProgramName:
            return ptr ? getMidiProgramName(index, static_cast<MidiProgramName*>(ptr)) : 0;
        case effGetCurrentMidiProgram:
            return getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr));
        case effGetMidiProgramCategory:
            return ptr ? getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr)) : 0;
        case effHasMidiProgramsChanged:
            return hasMidiProgramsChanged(index) ? 1 : 0;
        case effGetMidiKeyName:
            return ptr && getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)) ? 1 : 0;
        case effSetTotalSampleToProcess:
            return value;
        case effGetSpeakerArrangement:
            if (value) *reinterpret_cast<void**>(value) = nullptr;
            if (ptr) *static_cast<void**>(ptr) = nullptr;
            return 0;
        default:
            return 0;
    }
}
