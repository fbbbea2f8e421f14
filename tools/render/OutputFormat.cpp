#include "render/OutputFormat.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace render {

namespace {

struct Container {
    const char* extension;
    int major;
    const char* name;
    int defaultBits;  // 0: the codec has no sample format to choose
    bool takesFloat;
};

// Float WAV goes out as WAVE_FORMAT_EXTENSIBLE, which tools expect for anything but
// 8- and 16-bit integer data; plain headers stay for integer files, which every tool reads.
constexpr Container kContainers[] = {
    {".wav", SF_FORMAT_WAV, "WAV", 32, true},        {".flac", SF_FORMAT_FLAC, "FLAC", 24, false},
    {".ogg", SF_FORMAT_OGG, "Ogg Vorbis", 0, false}, {".aiff", SF_FORMAT_AIFF, "AIFF", 24, true},
    {".aif", SF_FORMAT_AIFF, "AIFF", 24, true},
};

}  // namespace

bool OutputFormat::forPath(const std::string& path, int bits, OutputFormat& format, std::string& error) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const Container* container = nullptr;
    for (const Container& c : kContainers)
        if (extension == c.extension) container = &c;
    if (!container) {
        error = "cannot tell the format of " + path + " (its name must end in .wav, .flac, .ogg or .aiff)";
        return false;
    }
    if (container->defaultBits == 0) {
        if (bits != 0) {
            error = std::string(container->name) + " has no bit depth to choose (leave out --bits)";
            return false;
        }
        format = {container->major | SF_FORMAT_VORBIS, false, container->name};
        return true;
    }
    if (bits == 0) bits = container->defaultBits;
    if (bits == 32 && !container->takesFloat) {
        error = std::string(container->name) + " holds 16- or 24-bit samples, not 32-bit float";
        return false;
    }
    int major = container->major == SF_FORMAT_WAV && bits == 32 ? SF_FORMAT_WAVEX : container->major;
    int subtype = bits == 16 ? SF_FORMAT_PCM_16 : bits == 24 ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT;
    format = {major | subtype, bits != 32,
              (bits == 32 ? std::string("32-bit float ") : std::to_string(bits) + "-bit ") + container->name};
    return true;
}

}  // namespace render
