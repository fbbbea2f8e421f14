// The reverb stage of the effects chain: 12 parallel feedback combs per channel (no
// all-pass, no damping), added to the frames in place with a stereo width control.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "dsp/SimdPath.h"

class CombReverb {
public:
    static constexpr int kCombs = 12;
    static constexpr int kLineLength = 2048;  // power of two: positions wrap by masking
    // Each line is followed by a copy of its first samples, enough for the reads of a
    // whole sub-block to run on past the end without wrapping.
    static constexpr int kReadSlack = 256;
    static constexpr int kLineStride = kLineLength + kReadSlack + 16;

    // Comb lengths in samples, the same at every sample rate; left bank, right bank.
    static constexpr int32_t kLengths[2][kCombs] = {
        {601, 647, 701, 757, 797, 857, 907, 957, 997, 1049, 1103, 1151},
        {613, 653, 691, 751, 809, 853, 911, 953, 1009, 1051, 1109, 1153},
    };

    // What one sub-block runs with, copied from the shared settings at its start.
    struct Settings {
        float gains[2][kCombs];
        float wetLevel;
        float width;
    };

    // Lines zero-filled; switched off (wet level 0) until the first recompute.
    CombReverb();

    // Any thread (after any parameter change): wet level, width and the comb gains that
    // make every comb fall by 60 dB in the decay time at the given rate.
    void recompute(int32_t sampleRate, float time, float level, float stereo);

    // Audio thread, once per sub-block. False when the reverb is switched off (wet
    // level or time control exactly 0): frames then pass unchanged and the lines freeze.
    bool load(float time, Settings& settings) const;

    // Audio thread: adds the reverb to count frames (up to 256, interleaved left and
    // right) of dry and writes them into frames.
    void process(const Settings& settings, const float* dry, float* frames, int32_t count);

    // Audio thread: every line back to silence.
    void clear();

    float gain(int bank, int comb) const { return gains[bank][comb].load(std::memory_order_relaxed); }

    // Before processing (tests): runs on the given instruction-set path from now on;
    // false (and no change) when the processor lacks it.
    bool usePath(SimdPath wanted);

private:
    // Shared with the audio thread; a sub-block may mix old and new values of a change
    // that lands while it loads them, which is harmless.
    std::atomic<float> gains[2][kCombs];
    std::atomic<float> wetLevel{0.0f};
    std::atomic<float> width{0.0f};

    // Two banks of kCombs lines, kLineStride apart, of kLineLength samples and the copy.
    // Every comb is longer than a sub-block, so within one the reads trail the writes:
    // the combs run several frames per vector, all combs of a bank for each vector.
    static constexpr size_t kStorage = 2 * kCombs * kLineStride + 16;
    std::unique_ptr<float[]> storage;
    float* lines;
    int32_t position = 0;
    SimdPath path = activeSimdPath();
};
