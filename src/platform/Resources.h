// The plug-in's own resources (factory bank, bitmaps), embedded into the library at
// build time and looked up by type and id.
#pragma once

#include <cstddef>

namespace platform {

struct Resource {
    const unsigned char* data = nullptr;
    size_t size = 0;
};

// Empty resource when the library carries none of that type and id.
Resource findResource(const char* type, int id);

}  // namespace platform
