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
    // Why nothing is usable, for the user ("" when loaded, or when there was no path):
    // kFormatError for an encoding the reader does not decode, else a short
    // capitalised reason ("No such file or directory", "No audio data").
    std::string problem;
};

inline constexpr const char* kFormatError = "Wav Format Error";

// Stored paths may use `\` or `/` as separators (factory paths read `.\drumloop.wav`);
// a relative one is taken relative to baseDirectory (the plug-in's own directory), so
// the process's current directory never matters and is never changed.
std::string resolveWavPath(const char* path, const std::string& baseDirectory);

// Integer PCM of 8, 16, 24 and 32 bits (other widths are read as 16-bit) and IEEE float
// of 32 and 64 bits, in plain or extensible format chunks, all on the 16-bit scale
// (full scale 1.0). Channels are averaged and the rate converted by sample-and-hold.
// Only regular files are opened, without blocking; every read stays inside the file.
WavBuffer loadWav(const char* path, const std::string& baseDirectory, int32_t hostRate);
