// Where the plug-in's own library file lives.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Size of every stored path field (chunks, file slots, the editor's file names), the
// terminating zero included: a stored path holds at most kPathSize - 1 characters.
constexpr size_t kPathSize = 260;

// Full path of the shared library that contains this code ("" when unknown).
std::string moduleFileName();

// The library's directory, without a trailing separator.
std::string moduleDirectory();

}  // namespace platform
