#include "platform/ModulePath.h"

#include <dlfcn.h>

namespace platform {

std::string moduleFileName() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&moduleFileName), &info) == 0 || !info.dli_fname) return {};
    return info.dli_fname;
}

std::string moduleDirectory() {
    std::string path = moduleFileName();
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash);
}

}  // namespace platform
