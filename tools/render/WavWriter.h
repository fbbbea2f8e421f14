// Writes the rendered stereo output to a WAV file, block by block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sf_private_tag;

namespace render {

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // bits: 16 or 24 (integer PCM, clipped at full scale) or 32 (float).
    bool open(const std::string& path, int sampleRate, int bits, int32_t maxFrames, std::string& error);
    // Interleaves one block. Samples that are not finite are written as 0 and counted.
    bool write(const float* left, const float* right, int32_t frames, std::string& error);
    bool close(std::string& error);

    float peak() const { return peakLevel; }
    int64_t nonFiniteSamples() const { return nonFinite; }

private:
    sf_private_tag* file = nullptr;
    std::string path;
    std::vector<float> interleaved;
    float peakLevel = 0.0f;
    int64_t nonFinite = 0;
};

}  // namespace render
