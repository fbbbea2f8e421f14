// The audio thread never allocates, while another thread changes parameters, programs,
// chunks and the sample rate; under ThreadSanitizer the same run must be free of data
// races.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "framework/VocoderPlugin.h"
#include "realtime/allocation_counter.h"
#include "support/HostCallback.h"

namespace {

struct MidiList {
    VstEvents header{};
    VstEvent* more[63] = {};  // header.events holds the first two pointers
    VstMidiEvent events[65] = {};
    void fill(std::mt19937& random) {
        header.numEvents = 1 + static_cast<int32_t>(random() % 64);
        VstEvent** slots = header.events;
        for (int i = 0; i < header.numEvents; ++i) {
            VstMidiEvent& e = events[i];
            e = VstMidiEvent{};
            e.type = kVstMidiType;
            e.byteSize = sizeof e;
            e.deltaFrames = static_cast<int32_t>(random() % 512);
            static const int statuses[] = {0x90, 0x80, 0xB0, 0xE0, 0x90};
            e.midiData[0] = static_cast<char>(statuses[random() % 5]);
            e.midiData[1] = static_cast<char>(random() % 128);
            e.midiData[2] = static_cast<char>(random() % 128);
            slots[i] = reinterpret_cast<VstEvent*>(&e);
        }
    }
};
static_assert(offsetof(MidiList, more) == offsetof(VstEvents, events) + 2 * sizeof(VstEvent*),
              "the pointer array continues after the header");

TEST(RealtimeSafety, AudioThreadNeitherAllocatesNorRacesWhileTheHostChangesState) {
    testhost::host().recording = false;  // the host's own allocations and two threads
    auto plugin = std::make_unique<VocoderPlugin>(testhost::callback);
    plugin->setSampleRate(44100.0f);
    plugin->resume();
    std::atomic<bool> running{true};
    std::atomic<long> audioAllocations{-1};
    std::atomic<bool> finite{true};

    std::thread audio([&] {
        std::vector<float> left(512), right(512);
        float* outputs[2] = {left.data(), right.data()};
        MidiList midi;
        std::mt19937 random(7);
        AllocationCounter::start();
        for (int block = 0; block < 400 || running.load(); ++block) {
            midi.fill(random);
            plugin->processEvents(&midi.header);
            plugin->processReplacing(nullptr, outputs, 512);
            for (int k = 0; k < 512; ++k)
                if (!std::isfinite(left[k]) || !std::isfinite(right[k])) finite.store(false);
            if (block > 100000) break;
        }
        AllocationCounter::stop();
        audioAllocations.store(AllocationCounter::allocationCount() + AllocationCounter::deallocationCount());
    });

    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int round = 0; round < 300; ++round) {
        for (int i = 0; i < 56; ++i) plugin->setParameter(i, unit(random));
        plugin->setProgram(static_cast<int32_t>(random() % 16));
        // Hosts may set the rate while audio runs; the files are resampled on this thread.
        if (round % 10 == 0) plugin->setSampleRate(round % 20 == 0 ? 48000.0f : 44100.0f);
        void* chunk = nullptr;
        int32_t size = plugin->getChunk(&chunk, round % 2 == 0);
        if (size > 0 && chunk) {
            std::vector<char> copy(static_cast<const char*>(chunk), static_cast<const char*>(chunk) + size);
            plugin->setChunk(copy.data(), size, round % 2 == 0);
        }
    }
    running.store(false);
    audio.join();
    EXPECT_EQ(audioAllocations.load(), 0);
    EXPECT_TRUE(finite.load());
}

}  // namespace

namespace {

TEST(RealtimeSafety, TheCounterSeesAllocationsOfItsThreadOnly) {
    std::atomic<bool> go{false};
    std::thread other([&] {
        while (!go.load()) std::this_thread::yield();
        delete new int(4);
    });
    AllocationCounter::start();
    auto* p = new int(3);
    go.store(true);
    other.join();
    delete p;
    AllocationCounter::stop();
    EXPECT_EQ(AllocationCounter::allocationCount(), 1);
    EXPECT_EQ(AllocationCounter::deallocationCount(), 1);
}

}  // namespace
