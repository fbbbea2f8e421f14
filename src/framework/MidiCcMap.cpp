#include "framework/MidiCcMap.h"

#include <algorithm>

#include "host/AudioEffectX.h"
#include "platform/IniFile.h"
#include "platform/ModulePath.h"

namespace {
constexpr const char* kSection = "midicc";
}

MidiCcMap::MidiCcMap(int numParams, const ParamDesc* table, std::string path)
    : iniPath(std::move(path)), descriptors(table), count(std::clamp(numParams, 0, kNumAutomatable)) {
    std::fill(std::begin(controllers), std::end(controllers), kNoController);
    std::fill(std::begin(parameters), std::end(parameters), 0);
    platform::IniFile ini(iniPath);
    for (int i = 0; i < count; ++i) {
        unsigned controller = ini.getUnsigned(kSection, descriptors[i].name,
                                              static_cast<unsigned>(descriptors[i].defaultController));
        // Values of 255 and above leave the parameter without controller.
        insert(static_cast<int>(std::min(controller, static_cast<unsigned>(kNoController))), i);
    }
}

MidiCcMap::~MidiCcMap() {
    // A destructor that throws ends the host: without memory for the text the write is
    // skipped like a failed one.
    try {
        // Read again: another instance or the user may have changed the file meanwhile.
        platform::IniFile ini(iniPath);
        for (int i = 0; i < count; ++i) ini.set(kSection, descriptors[i].name, std::to_string(controllerOf(i)));
        ini.save();
    } catch (...) {
    }
}

void MidiCcMap::insert(int controller, int parameter) {
    int j = 0;
    while (j < count && controllers[j] <= controller) ++j;
    if (j == count) return;
    for (int k = count - 1; k > j; --k) {
        controllers[k] = controllers[k - 1];
        parameters[k] = parameters[k - 1];
    }
    controllers[j] = controller;
    parameters[j] = parameter;
}

void MidiCcMap::dispatch(int controller, float value, AudioEffectX& effect) const {
    // 255 marks the free slots at the end, not a controller.
    if (controller == 0 || controller >= kNoController) return;
    for (int k = 0; k < count && controllers[k] <= controller; ++k)
        if (controllers[k] == controller) effect.setParameterAutomated(parameters[k], value);
}

int MidiCcMap::controllerOf(int parameter) const {
    for (int k = 0; k < count; ++k)
        if (parameters[k] == parameter && controllers[k] != kNoController) return controllers[k];
    return 0;
}

std::string MidiCcMap::defaultIniPath() { return iniPathFor(platform::moduleFileName()); }

std::string MidiCcMap::iniPathFor(std::string path) {
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) path.erase(dot);
    return path + ".ini";
}
