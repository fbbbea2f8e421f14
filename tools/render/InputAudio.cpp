#include "render/InputAudio.h"

#include <sndfile.h>

#include <algorithm>

namespace render {

InputAudio::~InputAudio() {
    if (file) sf_close(file);
}

bool InputAudio::open(const std::string& path, std::string& error) {
    SF_INFO info{};
    file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        error = "cannot read " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        error = path + " holds no audio";
        return false;
    }
    rate = info.samplerate;
    channels = info.channels;
    length = info.frames;
    return true;
}

void InputAudio::reserve(int32_t maxFrames) {
    interleaved.assign(static_cast<size_t>(maxFrames) * std::max(channels, 1), 0.0f);
}

void InputAudio::read(float** inputs, int32_t count, int32_t frames) {
    sf_count_t got = file ? sf_readf_float(file, interleaved.data(), frames) : 0;
    for (int32_t input = 0; input < count; ++input) {
        int channel = channels > 0 ? input % channels : 0;
        for (sf_count_t i = 0; i < got; ++i) inputs[input][i] = interleaved[i * channels + channel];
        std::fill(inputs[input] + got, inputs[input] + frames, 0.0f);
    }
}

}  // namespace render
