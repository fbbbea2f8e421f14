// Where the user's own configuration lives, and making its folders.
#pragma once

#include <string>

namespace platform {

// $XDG_CONFIG_HOME when it is set to an absolute path, else ~/.config; "" when the
// user has no home folder.
std::string userConfigDirectory();

// Creates the folder and its missing parents (mode 0700, as for configuration); answers
// whether it exists as a folder afterwards.
bool makeFolders(const std::string& path);

}  // namespace platform
