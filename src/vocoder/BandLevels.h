// The vocoder's levels as an editor shows them: the follower level of each active band
// of the filter bank and the spectral path's per-bin envelope. The audio thread copies
// them at the end of a sub-block once every kPublishFrames frames, far more often than a
// display's frame rate, and only while someone watches (an open editor); readers on
// other threads take each value whole, without locks.
#pragma once

#include <atomic>
#include <cstdint>

#include "vocoder/VocoderBands.h"
#include "vocoder/VocoderSpectral.h"

class VocoderFilterBank;

class BandLevels {
public:
    // Bins 0 (DC) to 256 (half the sample rate) of the 512-point spectrum.
    static constexpr int kBins = VocoderSpectral::kFrame / 2 + 1;

    // Any thread: the editor turns the copying on when it opens and off when it closes.
    void setWatched(bool on) { watchedFlag.store(on, std::memory_order_relaxed); }
    bool watched() const { return watchedFlag.load(std::memory_order_relaxed); }

    // Frames between two copies: about 12 ms at 44.1 kHz, still more than twice the
    // display's 30 frames a second.
    static constexpr int32_t kPublishFrames = 512;

    // Audio thread, after a sub-block of frames: true when a copy is due.
    bool due(int32_t frames) {
        framesSinceCopy += frames;
        if (framesSinceCopy < kPublishFrames) return false;
        framesSinceCopy = 0;
        return true;
    }
    // Audio thread: copies the levels of count bands (1..21) and every bin.
    void publish(const VocoderFilterBank& bank, int32_t count, const VocoderSpectral& spectral);

    // Any thread: the latest copies. The values of one read may come from neighbouring
    // sub-blocks, which a display cannot tell apart.
    int32_t bandCount() const { return count.load(std::memory_order_relaxed); }
    float band(int i) const { return bands[i].load(std::memory_order_relaxed); }
    float bin(int k) const { return bins[k].load(std::memory_order_relaxed); }

private:
    std::atomic<bool> watchedFlag{false};
    std::atomic<int32_t> count{0};
    std::atomic<float> bands[vocoder::kMaxBands] = {};
    std::atomic<float> bins[kBins] = {};
    int32_t framesSinceCopy = 0;  // audio thread only
};
