// Zorvek2.so loaded as a host loads it, playing its default modulator files: the
// vocoded chord follows the speech, and the dry modulator path passes the file's samples
// through the output mix exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/ModulatorPlayback.h"
#include "support/LoadedPlugin.h"
#include "support/ParamIndex.h"

namespace {

using namespace param;

constexpr int32_t kRate = 44100;
constexpr int32_t kFrame = kRate / 50;  // 20 ms

void holdChord(LoadedPlugin& plugin) {
    for (int key : {48, 55, 60, 64}) plugin.sendMidi(0x90, key, 100);
}

// Modulator straight through: vocoded and carrier paths off, effects dry.
void dryModulator(LoadedPlugin& plugin) {
    plugin.setParameter(kMixMod, 1.0f);
    plugin.setParameter(kMixVoc, 0.0f);
    plugin.setParameter(kMixCar, 0.0f);
    plugin.setParameter(kDlyLv, 0.0f);
    plugin.setParameter(kChrsLv, 0.0f);
    plugin.setParameter(kRevLevel, 0.0f);
}

std::vector<double> frameEnergies(const std::vector<float>& signal, size_t from, size_t frames) {
    std::vector<double> energies;
    for (size_t f = 0; f < frames; ++f) {
        double sum = 0.0;
        for (size_t k = 0; k < kFrame; ++k) {
            const size_t n = from + f * kFrame + k;
            const double s = n < signal.size() ? signal[n] : 0.0;
            sum += s * s;
        }
        energies.push_back(10.0 * std::log10(sum / kFrame + 1e-9));
    }
    return energies;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const size_t n = std::min(a.size(), b.size());
    double ma = 0.0, mb = 0.0;
    for (size_t i = 0; i < n; ++i) ma += a[i], mb += b[i];
    ma /= n;
    mb /= n;
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (size_t i = 0; i < n; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return ab / std::sqrt(aa * bb);
}

TEST(VocoderEndToEnd, VocodedChordFollowsTheLoudnessOfTheSpeech) {
    LoadedPlugin plugin("Zorvek2.so");
    ASSERT_NE(plugin.effect(), nullptr);
    plugin.start(kRate);
    WavBuffer speech = defaultWav("speech.wav");
    ASSERT_GT(speech.count, 4 * kRate);

    // The factory program plays slot 4; the chord starts the file.
    holdChord(plugin);
    std::vector<float> left, right;
    plugin.render(left, right, speech.count);
    std::vector<float> modulator(speech.samples.get(), speech.samples.get() + speech.count);

    const size_t frames = speech.count / kFrame - 4;
    const std::vector<double> input = frameEnergies(modulator, 0, frames);
    // The output lags by the modulator buffer and the spectral path's 512 frames.
    double best = -1.0;
    for (size_t lag = 0; lag <= 2; ++lag)
        best = std::max(best, correlation(input, frameEnergies(left, lag * kFrame, frames)));
    EXPECT_GT(best, 0.65);  // 0.76 with the factory program's reverb filling the pauses

    // The same output against the speech played backwards: the match above is the
    // speech's own loudness contour, not any signal with pauses.
    std::vector<double> reversed(input.rbegin(), input.rend());
    EXPECT_LT(correlation(reversed, frameEnergies(left, 0, frames)), best - 0.4);

    float peak = 0.0f;
    for (float s : left) peak = std::max(peak, std::fabs(s));
    EXPECT_GT(peak, 0.05f);
    EXPECT_LT(peak, 1.0f);
}

TEST(VocoderEndToEnd, ModulatorAloneIsTheFileThroughTheSoftClipAndTheMasterGain) {
    LoadedPlugin plugin("Zorvek2.so");
    ASSERT_NE(plugin.effect(), nullptr);
    plugin.start(kRate);
    dryModulator(plugin);
    WavBuffer speech = defaultWav("speech.wav");
    ASSERT_GT(speech.count, kRate);

    holdChord(plugin);
    std::vector<float> left, right;
    plugin.render(left, right, 3 * kRate);
    const float gain = leftChannelGain(plugin.getParameter(kVolume), plugin.getParameter(kPan));
    EXPECT_EQ(gain, 0.8f);
    const int64_t start = playbackStart(left, speech, gain, 4096);
    ASSERT_GE(start, 0) << "the speech file never appears in the output";
    expectPlayback(left, speech, gain, start);
    EXPECT_EQ(left, right);  // centre pan, mono carrier

    // Pan moves the two channel gains apart, ramping over one sub-block (88 frames at
    // this rate); the file plays on where it was.
    plugin.setParameter(kPan, 0.25f);
    plugin.render(left, right, 88);
    plugin.render(left, right, kRate / 2);
    expectPlayback(left, speech, leftChannelGain(0.8f, 0.25f), start - 3 * kRate - 88);
    expectPlayback(right, speech, rightChannelGain(0.8f, 0.25f), start - 3 * kRate - 88);
}

TEST(VocoderEndToEnd, FileLoadedThroughAProgramChunkPlays) {
    LoadedPlugin plugin("Zorvek2.so");
    ASSERT_NE(plugin.effect(), nullptr);
    plugin.start(kRate);
    // A single-program chunk: slot 1 gets the second default file, and the program
    // plays slot 1 (ModSrc 0.25) with only the modulator in the mix.
    std::string text("4221", 4);
    auto line = [&text](const std::string& content) { text += content + '\0'; };
    line("File1=./someone.wav");
    char value[32];
    std::snprintf(value, sizeof value, "ModSrc=%08x", std::bit_cast<uint32_t>(0.25f));
    line(value);
    text += '\0';
    ASSERT_EQ(plugin.dispatch(effSetChunk, 1, static_cast<intptr_t>(text.size()), text.data()), 1);
    dryModulator(plugin);

    void* saved = nullptr;
    const intptr_t size = plugin.dispatch(effGetChunk, 1, 0, &saved);
    ASSERT_EQ(size, 1972);
    const char* chunk = static_cast<const char*>(saved);
    bool found = false;
    for (intptr_t at = 4; at < size && chunk[at]; at += static_cast<intptr_t>(std::strlen(chunk + at)) + 1)
        found = found || std::string(chunk + at) == "File1=./someone.wav";
    EXPECT_TRUE(found);

    WavBuffer someone = defaultWav("someone.wav");
    WavBuffer drums = defaultWav("drumloop.wav");
    holdChord(plugin);
    std::vector<float> left, right;
    plugin.render(left, right, someone.count + kRate);  // past the end: the file loops
    const float gain = leftChannelGain(0.8f, 0.5f);
    EXPECT_EQ(playbackStart(left, drums, gain, 4096), -1);
    const int64_t start = playbackStart(left, someone, gain, 4096);
    ASSERT_GE(start, 0) << "the chunk's file never appears in the output";
    expectPlayback(left, someone, gain, start);
}

}  // namespace
