// Where the plug-in's own library file lives.
#pragma once

#include <string>

namespace platform {

// Full path of the shared library that contains this code ("" when unknown).
std::string moduleFileName();

// The library's directory, without a trailing separator.
std::string moduleDirectory();

}  // namespace platform
