// Audio fed to an effect plug-in's inputs: a sound file read block by block, then
// silence. Channels are spread over the inputs in turn (a mono file feeds every input).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sf_private_tag;

namespace render {

class InputAudio {
public:
    InputAudio() = default;
    ~InputAudio();
    InputAudio(const InputAudio&) = delete;
    InputAudio& operator=(const InputAudio&) = delete;

    bool open(const std::string& path, std::string& error);
    int sampleRate() const { return rate; }
    int64_t frames() const { return length; }

    // Prepares for blocks of at most maxFrames.
    void reserve(int32_t maxFrames);
    // Fills `count` input buffers with the next `frames` frames (silence after the end
    // of the file, or when no file is open).
    void read(float** inputs, int32_t count, int32_t frames);

private:
    sf_private_tag* file = nullptr;
    int rate = 0;
    int channels = 0;
    int64_t length = 0;
    std::vector<float> interleaved;
};

}  // namespace render
