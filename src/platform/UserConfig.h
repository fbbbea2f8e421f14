// Where the user's own settings live: $XDG_CONFIG_HOME/Zorvek, or ~/.config/Zorvek.
#pragma once

#include <string>

namespace platform {

// The folder's path without a trailing separator; "" when neither variable names a
// usable absolute folder. The folder itself may not exist yet.
std::string userConfigDirectory();

// Creates the folder (and its parents) when missing; false when it cannot.
bool makeUserConfigDirectory();

}  // namespace platform
