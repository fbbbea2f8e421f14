#include "plugin/ModulatorPlayback.h"

#include <gtest/gtest.h>

namespace {

// The output clipper, written out independently of the vocoder's own: a cubic up to
// +-1.5, a hard limit of +-1.0 beyond.
float clipped(float x) {
    if (x > 1.5f) return 1.0f;
    if (x < -1.5f) return -1.0f;
    return x - x * x * x * 0.15f;
}

float expected(const WavBuffer& file, int64_t position, float gain) {
    return clipped(file.samples[position % file.count]) * gain;
}

}  // namespace

WavBuffer defaultWav(const std::string& name, int32_t rate) {
    const std::string path = std::string(ZORVEK_PLUGIN_DIR) + "/" + name;
    return loadWav(path.c_str(), ZORVEK_PLUGIN_DIR, rate);
}

float leftChannelGain(float volume, float pan) { return (1.0f - pan) * (volume * 2.0f); }

float rightChannelGain(float volume, float pan) { return pan * (volume * 2.0f); }

int64_t playbackStart(const std::vector<float>& output, const WavBuffer& file, float gain, int64_t searchLimit) {
    const int64_t span = 44100;
    const auto frames = static_cast<int64_t>(output.size());
    for (int64_t start = 0; start < searchLimit && start + span <= frames; ++start) {
        int64_t k = 0;
        while (k < span && output[start + k] == expected(file, k, gain)) ++k;
        if (k == span) return start;
    }
    return -1;
}

void expectPlayback(const std::vector<float>& output, const WavBuffer& file, float gain, int64_t start) {
    int mismatches = 0;
    for (int64_t n = start > 0 ? start : 0; n < static_cast<int64_t>(output.size()) && mismatches < 5; ++n) {
        const float want = expected(file, n - start, gain);
        if (output[n] != want) {
            ADD_FAILURE() << "frame " << n << ": " << output[n] << " instead of " << want;
            ++mismatches;
        }
    }
}
