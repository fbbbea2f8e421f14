#include "render/WavWriter.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

namespace render {

WavWriter::~WavWriter() {
    if (file) sf_close(file);
}

bool WavWriter::open(const std::string& target, int sampleRate, int bits, int32_t maxFrames, std::string& error) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | (bits == 16 ? SF_FORMAT_PCM_16 : bits == 24 ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT);
    file = sf_open(target.c_str(), SFM_WRITE, &info);
    if (!file) {
        error = "cannot write " + target + ": " + sf_strerror(nullptr);
        return false;
    }
    // Integer formats clip at full scale instead of wrapping around.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    path = target;
    interleaved.assign(static_cast<size_t>(maxFrames) * 2, 0.0f);
    return true;
}

bool WavWriter::write(const float* left, const float* right, int32_t frames, std::string& error) {
    for (int32_t i = 0; i < frames; ++i) {
        for (int c = 0; c < 2; ++c) {
            float sample = (c == 0 ? left : right)[i];
            if (!std::isfinite(sample)) {
                sample = 0.0f;
                ++nonFinite;
            }
            peakLevel = std::max(peakLevel, std::fabs(sample));
            interleaved[2 * i + c] = sample;
        }
    }
    if (sf_writef_float(file, interleaved.data(), frames) != frames) {
        error = "writing " + path + " failed: " + sf_strerror(file);
        return false;
    }
    return true;
}

bool WavWriter::close(std::string& error) {
    if (!file) return true;
    int status = sf_close(file);
    file = nullptr;
    if (status != 0) {
        error = "finishing " + path + " failed: " + sf_error_number(status);
        return false;
    }
    return true;
}

}  // namespace render
