#include "render/PluginHost.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace render {

namespace {

// Before the entry point returns there is no record to find the host by: calls made
// during creation reach the host being created through this.
PluginHost* creating = nullptr;

// Plug-ins often write past the nominal 8 or 24 characters of a name; hosts hand
// them generous buffers.
constexpr size_t kTextBuffer = 256;

std::string trimmed(const std::string& s) {
    auto begin = std::find_if_not(s.begin(), s.end(), [](unsigned char c) { return std::isspace(c); });
    auto end = std::find_if_not(s.rbegin(), s.rend(), [](unsigned char c) { return std::isspace(c); }).base();
    return begin < end ? std::string(begin, end) : std::string();
}

bool equalIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

void copyText(void* ptr, const char* text, size_t capacity) {
    if (!ptr) return;
    std::strncpy(static_cast<char*>(ptr), text, capacity - 1);
    static_cast<char*>(ptr)[capacity - 1] = 0;
}

}  // namespace

PluginHost::~PluginHost() { close(); }

bool PluginHost::load(const std::string& path, std::string& error) {
    close();
    // RTLD_NODELETE: the library stays mapped after dlclose, as in most hosts. Unloading
    // a plug-in takes away the globals of the libraries it pulled in (toolkit caches,
    // exit handlers, threads), which then crash or orphan memory at process exit.
    library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library) {
        const char* why = dlerror();
        error = "cannot load " + path + ": " + (why ? why : "unknown error");
        return false;
    }
    auto entry = reinterpret_cast<Entry>(dlsym(library, "main"));
    if (!entry) entry = reinterpret_cast<Entry>(dlsym(library, "VSTPluginMain"));
    if (!entry) {
        error = path + " is not a VST 2 plug-in (no main or VSTPluginMain entry point)";
        close();
        return false;
    }
    if (!create(entry, error)) {
        error = path + ": " + error;
        close();
        return false;
    }
    return true;
}

bool PluginHost::create(Entry entry, std::string& error) {
    time = {};
    time.sampleRate = sampleRate;
    time.tempo = 120.0;
    creating = this;
    AEffect* created = entry(&PluginHost::callback);
    creating = nullptr;
    if (!created) {
        error = "the plug-in declined to start (its entry point returned no plug-in)";
        return false;
    }
    if (created->magic != kEffectMagic) {
        error = "the entry point returned something that is not a plug-in record";
        return false;
    }
    aeffect = created;
    aeffect->user = this;
    if (numInputs() < 0 || numInputs() > kMaxChannels || numOutputs() < 0 || numOutputs() > kMaxChannels) {
        error = "the plug-in declares " + std::to_string(numInputs()) + " inputs and " + std::to_string(numOutputs()) +
                " outputs";
    } else if (numOutputs() == 0) {
        error = "the plug-in has no audio outputs";
    } else if (!(canReplacing() || aeffect->process)) {
        error = "the plug-in has no processing function";
    } else {
        dispatch(effOpen);
        return true;
    }
    dispatch(effClose);
    aeffect = nullptr;
    return false;
}

void PluginHost::close() {
    if (aeffect) {
        suspend();
        dispatch(effClose);
        aeffect = nullptr;
    }
    if (library) {
        dlclose(library);
        library = nullptr;
    }
}

void PluginHost::configure(double rate, int32_t frames) {
    sampleRate = rate;
    blockSize = frames;
    time.sampleRate = rate;
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    dispatch(effSetBlockSize, 0, frames);
}

void PluginHost::resume() {
    if (resumed) return;
    dispatch(effMainsChanged, 0, 1);
    dispatch(effStartProcess);
    resumed = true;
}

void PluginHost::suspend() {
    if (!resumed) return;
    dispatch(effStopProcess);
    dispatch(effMainsChanged, 0, 0);
    resumed = false;
}

intptr_t PluginHost::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    return aeffect->dispatcher(aeffect, opcode, index, value, ptr, opt);
}

bool PluginHost::canReplacing() const { return (aeffect->flags & effFlagsCanReplacing) && aeffect->processReplacing; }

std::string PluginHost::text(int32_t opcode, int32_t index) {
    char buffer[kTextBuffer] = {};
    dispatch(opcode, index, 0, buffer);
    buffer[kTextBuffer - 1] = 0;
    return trimmed(buffer);
}

std::string PluginHost::parameterName(int32_t index) { return text(effGetParamName, index); }
std::string PluginHost::parameterDisplay(int32_t index) { return text(effGetParamDisplay, index); }
std::string PluginHost::parameterLabel(int32_t index) { return text(effGetParamLabel, index); }

int32_t PluginHost::findParameter(const std::string& name) {
    for (int32_t i = 0; i < numParams(); ++i)
        if (equalIgnoringCase(parameterName(i), trimmed(name))) return i;
    return -1;
}

std::string PluginHost::programName(int32_t index) {
    char buffer[kTextBuffer] = {};
    if (dispatch(effGetProgramNameIndexed, index, -1, buffer) == 0) {
        // Plug-ins without indexed names: select the program and ask for its name.
        int32_t current = static_cast<int32_t>(dispatch(effGetProgram));
        setProgram(index);
        dispatch(effGetProgramName, 0, 0, buffer);
        setProgram(current);
    }
    buffer[kTextBuffer - 1] = 0;
    return trimmed(buffer);
}

intptr_t PluginHost::setChunk(std::vector<char>& data, bool singleProgram) {
    return dispatch(effSetChunk, singleProgram ? 1 : 0, static_cast<intptr_t>(data.size()), data.data());
}

void PluginHost::setTime(double samplePosition, double quarters, double bpm) {
    time.samplePos = samplePosition;
    time.sampleRate = sampleRate;
    time.ppqPos = quarters;
    time.tempo = bpm;
    time.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid;
}

void PluginHost::process(float** inputs, float** outputs, int32_t frames) {
    if (canReplacing()) {
        aeffect->processReplacing(aeffect, inputs, outputs, frames);
        return;
    }
    // The accumulating call adds to what the buffers hold.
    for (int32_t i = 0; i < numOutputs(); ++i) std::fill(outputs[i], outputs[i] + frames, 0.0f);
    aeffect->process(aeffect, inputs, outputs, frames);
}

intptr_t PluginHost::callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    PluginHost* host = effect && effect->user ? static_cast<PluginHost*>(effect->user) : creating;
    if (host) return host->answer(opcode, index, value, ptr, opt);
    return opcode == audioMasterVersion ? kHostVersion : 0;
}

intptr_t PluginHost::answer(int32_t opcode, int32_t, intptr_t value, void* ptr, float) {
    switch (opcode) {
        case audioMasterVersion:
            return kHostVersion;
        case audioMasterAutomate:
            ++automations;
            return 0;
        case audioMasterWantMidi:
            wantMidiRequested = value != 0;
            return 1;
        case audioMasterGetTime:
            return reinterpret_cast<intptr_t>(&time);
        case audioMasterGetSampleRate:
            return static_cast<intptr_t>(sampleRate);
        case audioMasterGetBlockSize:
            return blockSize;
        case audioMasterGetVendorString:
            copyText(ptr, "Zorvek", kVstMaxVendorStrLen);
            return 1;
        case audioMasterGetProductString:
            copyText(ptr, "zorvek-render", kVstMaxProductStrLen);
            return 1;
        case audioMasterGetVendorVersion:
            return 1000;
        case audioMasterCanDo: {
            if (!ptr) return 0;
            const char* feature = static_cast<const char*>(ptr);
            for (const char* can : {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo"})
                if (std::strcmp(feature, can) == 0) return 1;
            return -1;
        }
        default:
            return 0;
    }
}

}  // namespace render
