// The WAV reader on arbitrary files: no crash, no read past the data, no allocation
// beyond the reader's own cap, and every decoded sample within -1..1 followed by the
// promised spare zeros.
#include <cstdio>
#include <cstdlib>

#include "FuzzHost.h"
#include "vocoder/WavReader.h"

namespace {

constexpr int kSpareSamples = 16;

void check(const WavBuffer& buffer, int32_t hostRate) {
    if (buffer.count < 0 || (buffer.count > 0) != static_cast<bool>(buffer.samples)) std::abort();
    if (buffer.count > 600 * hostRate) std::abort();
    for (int32_t i = 0; i < buffer.count; ++i)
        if (!(buffer.samples[i] >= -1.0f && buffer.samples[i] <= 1.0f)) std::abort();
    for (int32_t i = 0; i < (buffer.count ? kSpareSamples : 0); ++i)
        if (buffer.samples[buffer.count + i] != 0.0f) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::silenceMessages();
    static fuzz::ScratchFile file(".wav");
    const std::string& path = file.write(data, size);
    // A low host rate keeps the largest buffer a corrupt rate field can ask for small
    // enough for thousands of runs; the rate ratio itself is what the file controls.
    for (int32_t hostRate : {11025, 44100}) check(loadWav(path.c_str(), "", hostRate), hostRate);
    return 0;
}
