#include "support/LoadedPlugin.h"

#include "support/EventList.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {
// The callback has no user pointer before the record exists; the plug-in under
// construction reaches the instance being loaded through this.
LoadedPlugin* loading = nullptr;
std::mutex loadingMutex;
}  // namespace

LoadedPlugin::LoadedPlugin(const std::string& fileName, int32_t hostVersion) : version(hostVersion) {
    std::string path =
        fileName.find('/') == std::string::npos ? std::string(ZORVEK_PLUGIN_DIR) + "/" + fileName : fileName;
    // Kept mapped after dlclose: unloading a sanitizer-built library makes the leak
    // checker report its runtime's own bookkeeping as leaked.
    library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library) {
        ADD_FAILURE() << "dlopen " << path << ": " << dlerror();
        return;
    }
    using Entry = AEffect* (*)(audioMasterCallback);
    auto entry = reinterpret_cast<Entry>(dlsym(library, "main"));
    if (!entry) {
        ADD_FAILURE() << "no main in " << path;
        return;
    }
    std::lock_guard<std::mutex> lock(loadingMutex);
    loading = this;
    aeffect = entry(&LoadedPlugin::hostCallback);
    loading = nullptr;
    if (aeffect) aeffect->user = this;
}

LoadedPlugin::~LoadedPlugin() {
    if (aeffect) aeffect->dispatcher(aeffect, effClose, 0, 0, nullptr, 0.0f);
    if (library) dlclose(library);
}

intptr_t LoadedPlugin::hostCallback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void*, float opt) {
    LoadedPlugin* self = effect && effect->user ? static_cast<LoadedPlugin*>(effect->user) : loading;
    if (!self) return opcode == audioMasterVersion ? 2400 : 0;
    switch (opcode) {
        case audioMasterVersion:
            return self->version;
        case audioMasterWantMidi:
            ++self->wantMidiCalls;
            return 1;
        case audioMasterGetTime:
            return self->provideTime ? reinterpret_cast<intptr_t>(&self->timeInfo) : 0;
        case audioMasterUpdateDisplay:
            ++self->updateDisplayCalls;
            self->displayedValues.clear();
            for (int32_t i = 0; i < effect->numParams; ++i)
                self->displayedValues.push_back(effect->getParameter(effect, i));
            return 1;
        case audioMasterAutomate:
            self->automations.push_back({index, opt});
            return 0;
        case audioMasterSizeWindow:
            self->sizeRequests.push_back({index, static_cast<int32_t>(value)});
            return 1;
        default:
            return 0;
    }
}

intptr_t LoadedPlugin::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    return aeffect->dispatcher(aeffect, opcode, index, value, ptr, opt);
}

std::string LoadedPlugin::parameterName(int32_t index) {
    char text[64] = {};
    dispatch(effGetParamName, index, 0, text);
    return text;
}

std::string LoadedPlugin::parameterDisplay(int32_t index) {
    char text[64] = {};
    dispatch(effGetParamDisplay, index, 0, text);
    return text;
}

void LoadedPlugin::start(float rate, int32_t blockSize) {
    dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    dispatch(effSetBlockSize, 0, blockSize);
    dispatch(effMainsChanged, 0, 1);
}

void LoadedPlugin::sendMidi(int status, int data1, int data2, int32_t deltaFrames) {
    pending.push_back(EventList::midi(status, data1, data2, deltaFrames));
}

void LoadedPlugin::flushEvents() {
    EventList list(pending.size());
    list.events = pending;
    dispatch(effProcessEvents, 0, 0, list.build(pending.size()));
    pending.clear();
}

void LoadedPlugin::render(std::vector<float>& left, std::vector<float>& right, int32_t frames, int32_t blockSize) {
    left.assign(frames, 0.0f);
    right.assign(frames, 0.0f);
    for (int32_t done = 0; done < frames; done += blockSize) {
        int32_t n = std::min(blockSize, frames - done);
        if (!pending.empty()) flushEvents();  // the plug-in copies them into its queue
        float* outputs[2] = {left.data() + done, right.data() + done};
        aeffect->processReplacing(aeffect, nullptr, outputs, n);
    }
}
