#include "framework/MidiCcMap.h"

#include <algorithm>

#include "host/AudioEffectX.h"
#include "platform/IniFile.h"
#include "platform/MessageBox.h"
#include "platform/ModulePath.h"
#include "platform/RegularFile.h"
#include "platform/UserConfig.h"

namespace {
constexpr const char* kSection = "midicc";

void say(const std::string& text) { platform::showMessage("Zorvek", text.c_str()); }
}  // namespace

MidiCcMap::MidiCcMap(int numParams, const ParamDesc* table, Files files)
    : userPath(std::move(files.user)), descriptors(table), count(std::clamp(numParams, 0, kNumAutomatable)) {
    std::fill(std::begin(controllers), std::end(controllers), kNoController);
    std::fill(std::begin(parameters), std::end(parameters), 0);
    const std::string& source = files.shipped.empty() || platform::pathExists(userPath) ? userPath : files.shipped;
    platform::IniFile ini(source);
    if (ini.unreadable())
        say("Controller map " + source + " could not be read (" + ini.whyUnreadable() + "): default controllers apply");
    for (int i = 0; i < count; ++i) {
        unsigned controller =
            ini.getUnsigned(kSection, descriptors[i].name, static_cast<unsigned>(descriptors[i].defaultController));
        // Values of 255 and above leave the parameter without controller.
        insert(static_cast<int>(std::min(controller, static_cast<unsigned>(kNoController))), i);
    }
}

MidiCcMap::~MidiCcMap() {
    // A destructor that throws ends the host: without memory for the text the write is
    // skipped like a failed one.
    try {
        // Read again: another instance or the user may have changed the file meanwhile.
        platform::IniFile ini(userPath);
        if (ini.unreadable()) {
            say("Controller map " + userPath + " left as it is: it could not be read (" + ini.whyUnreadable() + ")");
            return;
        }
        for (int i = 0; i < count; ++i) ini.set(kSection, descriptors[i].name, std::to_string(controllerOf(i)));
        const size_t slash = userPath.find_last_of('/');
        if (slash != std::string::npos && slash > 0) platform::makeFolders(userPath.substr(0, slash));
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

MidiCcMap::Files MidiCcMap::defaultFiles(const char* name) {
    std::string beside = iniPathFor(platform::moduleFileName());
    const std::string config = platform::userConfigDirectory();
    if (config.empty()) return {std::move(beside), {}};
    return {config + "/Zorvek/" + name + ".ini", std::move(beside)};
}

std::string MidiCcMap::iniPathFor(std::string path) {
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) path.erase(dot);
    return path + ".ini";
}
