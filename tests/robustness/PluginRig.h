// The complete instrument in-process, driven as a host would drive it, with random MIDI
// and a check of every output sample.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "framework/VocoderPlugin.h"
#include "support/EventList.h"
#include "support/HostCallback.h"

namespace robustness {

// No setting, note pattern or sample rate may take the output past this. The vocoder
// soft-clips to full scale and the master gain is at most 2, but the effects add gain on
// top: delay feedback up to 0.9 and twelve combs per side whose gains near 1 at high
// rates. With every parameter at 1 the output measures up to about 16; a fault (a
// filter or feedback loop that runs away) passes any bound, so this one is generous.
constexpr float kOutputBound = 64.0f;
// With the delay, chorus and reverb levels at 0 the output is the soft-clipped vocoder
// signal times the master gain: never beyond 2 x full scale.
constexpr float kDryBound = 2.0f;

// Sanitizer builds run the same cases on less audio.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kAudioDivisor = 8;
#else
constexpr int kAudioDivisor = 1;
#endif

// What a stretch of output looked like.
struct Peak {
    float value = 0.0f;
    bool finite = true;
    bool ok() const { return finite && value < kOutputBound; }
};

class PluginRig {
public:
    PluginRig(float rate, int32_t blockSize, uint32_t seed)
        : plugin(std::make_unique<VocoderPlugin>(testhost::callback)),
          block(blockSize),
          left(static_cast<size_t>(blockSize)),
          right(static_cast<size_t>(blockSize)),
          midi(64),
          random(seed) {
        testhost::host().recording = false;  // long runs of controller automation
        plugin->setSampleRate(rate);
        plugin->setBlockSize(blockSize);
        plugin->resume();
        // Real modulators in every slot, so the vocoder has something to follow.
        static const char* const kFiles[kNumFileSlots] = {"drumloop.wav", "someone.wav", "testing1-2-3.wav",
                                                          "speech.wav"};
        for (int s = 0; s < kNumFileSlots; ++s) {
            std::string path = std::string(ZORVEK_SOURCE_DIR) + "/resources/wav/" + kFiles[s];
            plugin->fileSelected(kFirstFileEntry + s, path.c_str());
        }
    }

    VocoderPlugin& instrument() { return *plugin; }

    // Hosts may change the block size between calls (construction is costly, so the
    // sweeps reuse one instance).
    void setBlockSize(int32_t blockSize) {
        block = blockSize;
        left.assign(static_cast<size_t>(blockSize), 0.0f);
        right.assign(static_cast<size_t>(blockSize), 0.0f);
        plugin->setBlockSize(blockSize);
    }

    void setAll(float value) {
        for (int i = 0; i < kNumAutomatable; ++i) plugin->setParameter(i, value);
    }
    void setAllRandom() {
        for (int i = 0; i < kNumAutomatable; ++i) plugin->setParameter(i, unit(random));
    }
    float randomValue() { return unit(random); }
    uint32_t randomNumber() { return random(); }
    int32_t blockSize() const { return block; }

    // Controllers the random MIDI leaves alone (the controller map moves parameters).
    std::vector<int> heldControllers;

    // Automation inside a stretch of audio: called before each block with the frame the
    // block starts at; it may set parameters and add events to the block's MIDI.
    using BlockHook = std::function<void(PluginRig&, int64_t start, std::vector<VstMidiEvent>& events)>;

    // Renders frames in host blocks; up to eight random MIDI events (notes, sustain, pitch
    // bend, controllers, all-notes resets) at random frames before each block, or before
    // the first block of every 64 frames when blocks are shorter. Notes keep coming, so
    // there is nearly always something sounding.
    Peak play(int64_t frames, const BlockHook& hook = {}) {
        Peak peak;
        float* outputs[2] = {left.data(), right.data()};
        std::vector<VstMidiEvent> events;
        for (int64_t done = 0; done < frames; done += block) {
            events.clear();
            if (block >= 64 || done % 64 < block) {
                size_t count = random() % 9;
                for (size_t i = 0; i < count; ++i) events.push_back(randomEvent());
            }
            if (hook) hook(*this, done, events);
            std::stable_sort(events.begin(), events.end(), [](const VstMidiEvent& a, const VstMidiEvent& b) {
                return a.deltaFrames < b.deltaFrames;
            });
            size_t count = std::min(events.size(), midi.events.size());
            std::copy_n(events.begin(), count, midi.events.begin());
            plugin->processEvents(midi.build(count));
            plugin->processReplacing(nullptr, outputs, block);
            for (int32_t k = 0; k < block; ++k) {
                for (float x : {left[static_cast<size_t>(k)], right[static_cast<size_t>(k)]}) {
                    if (!std::isfinite(x))
                        peak.finite = false;
                    else
                        peak.value = std::max(peak.value, std::fabs(x));
                }
            }
        }
        return peak;
    }

private:
    VstMidiEvent randomEvent() {
        int32_t delta = static_cast<int32_t>(random() % static_cast<uint32_t>(block));
        int data1 = static_cast<int>(random() % 128), data2 = static_cast<int>(random() % 128);
        switch (random() % 10) {
            case 0:
            case 1:
            case 2:
            case 3:
                return EventList::midi(0x90, data1, 1 + data2 % 127, delta);
            case 4:
            case 5:
                return EventList::midi(0x80, data1, 0, delta);
            case 6:
                return EventList::midi(0xE0, data1, data2, delta);
            case 7:
                return EventList::midi(0xB0, 64, data2, delta);
            case 8: {
                bool held = std::find(heldControllers.begin(), heldControllers.end(), data1) != heldControllers.end();
                return EventList::midi(0xB0, held ? 1 : data1, data2, delta);
            }
            default:
                return EventList::midi(0xB0, 123, 0, delta);
        }
    }

    std::unique_ptr<VocoderPlugin> plugin;
    int32_t block;
    std::vector<float> left, right;
    EventList midi;
    std::mt19937 random;
    std::uniform_real_distribution<float> unit{0.0f, 1.0f};
};

}  // namespace robustness
