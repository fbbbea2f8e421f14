// Plug-in settings as plain text: one "Name=value" line per parameter, the value a
// decimal number from 0 to 1 as the host sees it. Lines starting with # or ; are
// comments; blank lines are skipped; lines may end in LF, CR LF or CR.
#pragma once

#include <string>
#include <vector>

#include "render/Options.h"

namespace render {

class PluginHost;

struct PresetFile {
    static constexpr size_t kMaxBytes = 1u << 20;

    // false with error ("FILE line N: ...") on a line that is not a setting.
    static bool parse(const std::string& text, std::vector<ParameterSetting>& settings, std::string& error);
    static bool load(const std::string& path, std::vector<ParameterSetting>& settings, std::string& error);
    // Every parameter of the plug-in, by name where the name finds it again, else by index,
    // with values written so that reading them back gives the same floats.
    static std::string write(PluginHost& host, const std::string& pluginName);
};

}  // namespace render
