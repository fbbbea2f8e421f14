// WAV files for the render tests, and the scratch folder they write them into.
#pragma once

#include <sndfile.h>

#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace testaudio {

struct Wav {
    int sampleRate = 0;
    int channels = 0;
    int format = 0;
    std::vector<float> samples;  // interleaved
    sf_count_t frames() const { return channels ? static_cast<sf_count_t>(samples.size()) / channels : 0; }
};

inline Wav readWav(const std::string& path) {
    Wav wav;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return wav;
    }
    wav.sampleRate = info.samplerate;
    wav.channels = info.channels;
    wav.format = info.format;
    wav.samples.resize(static_cast<size_t>(info.frames * info.channels));
    EXPECT_EQ(sf_readf_float(file, wav.samples.data(), info.frames), info.frames);
    sf_close(file);
    return wav;
}

inline void writeMonoWav(const std::string& path, const std::vector<float>& samples, int sampleRate) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

// Largest magnitude among frames [first, last) of one channel.
inline float peak(const Wav& wav, int channel, sf_count_t first, sf_count_t last) {
    float most = 0.0f;
    for (sf_count_t i = first; i < last && i < wav.frames(); ++i)
        most = std::max(most, std::abs(wav.samples[static_cast<size_t>(i * wav.channels + channel)]));
    return most;
}

}  // namespace testaudio
