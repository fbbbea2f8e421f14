#include "editor/EditorSettings.h"

#include <string>

#include "platform/IniFile.h"
#include "platform/UserConfig.h"

namespace editorsettings {

namespace {

std::string settingsFolder() {
    std::string folder = platform::userConfigDirectory();
    return folder.empty() ? "" : folder + "/Zorvek";
}

std::string settingsPath() {
    std::string folder = settingsFolder();
    return folder.empty() ? "" : folder + "/editor.ini";
}

}  // namespace

int32_t savedScale() {
    std::string path = settingsPath();
    if (path.empty()) return 0;
    unsigned percent = platform::IniFile(path).getUnsigned("editor", "scale", 0);
    return percent >= 100 && percent <= 200 && percent % 25 == 0 ? static_cast<int32_t>(percent) : 0;
}

void saveScale(int32_t percent) {
    std::string folder = settingsFolder();
    if (folder.empty() || !platform::makeFolders(folder)) return;
    platform::IniFile file(settingsPath());
    file.set("editor", "scale", std::to_string(percent));
    file.save();
}

}  // namespace editorsettings
