// Checks that rendered output is a modulator file played straight through the output
// mix: each sample soft-clipped, then scaled by the master output's channel gain.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vocoder/WavReader.h"

// One of the default WAV files beside the built plug-ins, read at the given rate with
// the instrument's own reader.
WavBuffer defaultWav(const std::string& name, int32_t rate = 44100);

// The master output's channel gains: Volume x 2 x (1 - Pan) and Volume x 2 x Pan.
float leftChannelGain(float volume, float pan);
float rightChannelGain(float volume, float pan);

// The frame at which the file's first sample appears in the output, found by matching
// one second of it (looping as the vocoder loops it); -1 when it never does.
int64_t playbackStart(const std::vector<float>& output, const WavBuffer& file, float gain, int64_t searchLimit);

// Expects output[n] = softClip(file[(n - start) mod count]) x gain exactly for every frame
// from start on (a negative start: the file began before this output); reports the
// first mismatches.
void expectPlayback(const std::vector<float>& output, const WavBuffer& file, float gain, int64_t start);
