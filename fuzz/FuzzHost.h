// What the fuzz targets share: a host that answers nothing but its version, silenced
// message boxes, a scratch file for readers that take a path, and the output check.
#pragma once

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/Vst2.h"
#include "platform/MessageBox.h"

namespace fuzz {

// Anything louder than this is a fault, whatever the settings: full-scale vocoder
// output times the master gain of 2, plus what delay feedback and the reverb's combs can
// add (about 16 at the loudest settings), with a wide margin.
constexpr float kOutputBound = 64.0f;

inline intptr_t quietHost(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Rejected input shows message boxes; thousands of runs a second must not print them.
inline void silenceMessages() {
    static const bool once = [] {
        platform::setMessageSink([](const char*, const char*) {});
        return true;
    }();
    (void)once;
}

// One file per process, rewritten for every input.
class ScratchFile {
public:
    explicit ScratchFile(const char* suffix) { path = "/tmp/zorvek-fuzz-" + std::to_string(getpid()) + suffix; }
    ~ScratchFile() { std::remove(path.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& write(const uint8_t* data, size_t size) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) std::abort();
        if (size && std::fwrite(data, 1, size, file) != size) std::abort();
        std::fclose(file);
        return path;
    }

    std::string path;
};

// Stops the run with a message when a sample is not finite or out of bounds.
inline void checkOutput(const float* samples, int32_t frames, const char* where) {
    for (int32_t k = 0; k < frames; ++k) {
        if (!std::isfinite(samples[k]) || std::fabs(samples[k]) >= kOutputBound) {
            std::fprintf(stderr, "%s: output %g at frame %d\n", where, static_cast<double>(samples[k]), k);
            std::abort();
        }
    }
}

}  // namespace fuzz
