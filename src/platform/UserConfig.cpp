#include "platform/UserConfig.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace platform {

std::string userConfigDirectory() {
    // Relative values are ignored, as the base directory convention asks.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/Zorvek";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.config/Zorvek";
    return "";
}

bool makeUserConfigDirectory() {
    std::string folder = userConfigDirectory();
    if (folder.empty()) return false;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
}

}  // namespace platform
