// Reads a WAV file into a mono float buffer at the host's sample rate, for the vocoder's
// file slots. Runs on whichever thread sets a file or the sample rate, never on the
// audio thread (it opens files and allocates).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct WavBuffer {
    // count samples in -1.0..+1.0, followed by 16 spare zeros.
    std::unique_ptr<float[]> samples;
    // 0: nothing usable, the slot falls back to its silence source.
    int32_t count = 0;
};

// Stored paths may use `\` or `/` as separators (factory paths read `.\drumloop.wav`);
// a relative one is taken relative to baseDirectory (the plug-in's own directory), so
// the process's current directory never matters and is never changed.
std::string resolveWavPath(const char* path, const std::string& baseDirectory);

// Integer PCM only (8-bit, and 16-bit for any other width); channels are averaged and
// the rate converted by sample-and-hold. A non-PCM format shows "Wav Format Error".
WavBuffer loadWav(const char* path, const std::string& baseDirectory, int32_t hostRate);
