// Writes the rendered stereo output to a sound file, block by block, with an optional
// gain or a normalization of its peak, counting what clips.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "render/OutputFormat.h"

struct sf_private_tag;

namespace render {

class AudioWriter {
public:
    // Peaks below this (one step of a 24-bit file) are reported as silence.
    static constexpr float kSilentPeak = 1.0f / (1 << 23);

    AudioWriter() = default;
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    bool open(const std::string& path, int sampleRate, const OutputFormat& format, int32_t maxFrames,
              std::string& error);
    // Both before the first write. A gain scales every sample; a peak target holds the
    // output back in a temporary file and scales it on closing so that its peak lands
    // there (silence stays as it is).
    void setGain(float factor) { gain = factor; }
    bool normalizeTo(float targetPeak, std::string& error);

    // Interleaves one block. Samples that are not finite are written as 0 and counted.
    bool write(const float* left, const float* right, int32_t frames, std::string& error);
    bool close(std::string& error);

    // Of the samples as written, before an integer file's clipping; final after close.
    float peak() const { return peakLevel; }
    int64_t clippedSamples() const { return clipped; }  // beyond full scale
    int64_t nonFiniteSamples() const { return nonFinite; }
    float appliedGain() const { return gain; }

private:
    bool emit(float* samples, int32_t frames, std::string& error);

    sf_private_tag* file = nullptr;
    std::FILE* heldBack = nullptr;
    std::string path;
    std::vector<float> interleaved;
    float gain = 1.0f;
    float target = 0.0f;
    float heldPeak = 0.0f;
    float peakLevel = 0.0f;
    int64_t clipped = 0;
    int64_t nonFinite = 0;
};

}  // namespace render
