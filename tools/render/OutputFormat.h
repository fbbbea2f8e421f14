// The sound file format of the render, chosen by the output file's extension.
#pragma once

#include <string>

namespace render {

struct OutputFormat {
    int sndfileFormat = 0;  // libsndfile major format and sample subtype
    bool integer = false;   // integer samples: the file clips at full scale
    std::string name;       // as the summary line shows it, e.g. "24-bit FLAC"

    // .wav, .flac, .ogg, .aiff or .aif (any case) with bits 16, 24 or 32 (float), or 0 for
    // the format's default; false with error for other extensions and combinations.
    static bool forPath(const std::string& path, int bits, OutputFormat& format, std::string& error);
};

}  // namespace render
