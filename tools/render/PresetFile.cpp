#include "render/PresetFile.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "render/PluginHost.h"

namespace render {

namespace {

std::string trimmed(const std::string& s) {
    size_t begin = s.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    return s.substr(begin, s.find_last_not_of(" \t") + 1 - begin);
}

}  // namespace

bool PresetFile::parse(const std::string& text, std::vector<ParameterSetting>& settings, std::string& error) {
    size_t position = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;  // a byte order mark some editors add
    for (int number = 1; position < text.size(); ++number) {
        size_t end = text.find_first_of("\r\n", position);
        if (end == std::string::npos) end = text.size();
        std::string line = trimmed(text.substr(position, end - position));
        position = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        std::string problem;
        ParameterSetting setting{};
        if (!parseParameterSetting(line, setting, problem)) {
            error = "line " + std::to_string(number) + ": " + problem;
            return false;
        }
        settings.push_back(setting);
    }
    return true;
}

bool PresetFile::load(const std::string& path, std::vector<ParameterSetting>& settings, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open preset file " + path;
        return false;
    }
    std::string text;
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        text.append(buffer, static_cast<size_t>(file.gcount()));
        if (text.size() > kMaxBytes) {
            error = "preset file " + path + " is larger than 1 MiB";
            return false;
        }
    }
    if (text.find('\0') != std::string::npos) {
        error = path + " is not a preset text (it holds binary data; a raw chunk goes to --chunk or --preset-chunk)";
        return false;
    }
    if (!parse(text, settings, error)) {
        error = path + " " + error;
        return false;
    }
    return true;
}

std::string PresetFile::write(PluginHost& host, const std::string& pluginName) {
    std::string text = "# " + pluginName + " settings written by zorvek-render; read them with --preset\n";
    for (int32_t i = 0; i < host.numParams(); ++i) {
        std::string name = host.parameterName(i);
        bool byName = !name.empty() && name[0] != '#' && name[0] != ';' && host.findParameter(name) == i;
        char value[32];
        std::snprintf(value, sizeof value, "%.9g", host.getParameter(i));
        text += (byName ? name : std::to_string(i)) + "=" + value + "\n";
    }
    return text;
}

}  // namespace render
