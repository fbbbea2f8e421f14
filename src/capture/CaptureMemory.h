// The shared memory "ZorvekCap3" between ZorvekCapture (writer) and Zorvek2 (reader):
// four stereo channels of 4096-frame rings, coordinated only by index words.
// Everything in it is untrusted (any process of the same user can write it): every
// index is masked to 0..4095 before it addresses a sample.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

struct CaptureRing {
    std::atomic<int32_t> writeIndex;  // next sample to write
    std::atomic<int32_t> readIndex;   // next sample to read (left ring only)
    float samples[4096];
};

struct CaptureChannel {
    CaptureRing left;
    CaptureRing right;
};

struct CaptureLayout {
    CaptureChannel channels[4];
};

static_assert(sizeof(CaptureRing) == 16392, "ring layout");
static_assert(sizeof(CaptureChannel) == 32784, "channel layout");
static_assert(sizeof(CaptureLayout) == 131136, "shared memory layout");
static_assert(std::atomic<int32_t>::is_always_lock_free, "indices must be lock-free across processes");

class CaptureMemory {
public:
    static constexpr int kChannels = 4;
    static constexpr int kRingSize = 4096;
    static constexpr int32_t kMask = kRingSize - 1;
    // Largest sample magnitude a reader hands on (hot signals pass, garbage does not).
    static constexpr float kSampleLimit = 64.0f;
    static constexpr size_t kBytes = sizeof(CaptureLayout);
    static constexpr int kModulatorFrames = 256;
    // The object both plug-ins attach to. The environment variable ZORVEK_CAPTURE_SHM,
    // read at attach, replaces it (tests use private objects that way).
    static constexpr const char* kObjectName = "/ZorvekCap3";

    enum class Role { Writer, Reader };

    // Attaches to the shared memory, creating it when it does not exist yet, and
    // initialises the indices the role owns. A writer restarts all eight write indices
    // at 0. A reader leaves the writer's indices alone and starts channel 0's read
    // position at its left write index, so a running writer keeps its left and right
    // positions paired and the reader skips the frames written before it came.
    // A failed attach leaves the object detached: writes are dropped and every channel
    // reads as empty. Any thread but the audio thread (it maps memory).
    explicit CaptureMemory(Role role);
    // Reads and writes a private layout in this process (a zero-filled one, owned by the
    // caller and outliving this object) instead of the shared memory.
    explicit CaptureMemory(CaptureLayout& privateLayout) : layout(&privateLayout), shared(false) {}
    ~CaptureMemory();
    CaptureMemory(const CaptureMemory&) = delete;
    CaptureMemory& operator=(const CaptureMemory&) = delete;

    bool attached() const { return layout != nullptr; }
    CaptureLayout* view() const { return layout; }

    // Writer, audio thread: one frame into channel 0..3 (other channels are ignored).
    void writeFrame(int channel, float left, float right);

    // Reader, audio thread. Frames waiting on the channel (0 when detached).
    int32_t available(int channel) const;
    // Carrier: the frame at the read position when one is waiting, else 0.0 and false.
    bool peekFrame(int channel, float& left, float& right) const;
    // Carrier: consumes one frame when one is waiting.
    void advance(int channel);
    // Modulator: when at least 256 frames wait, consumes 256 of them averaged to mono
    // into out and answers true; otherwise writes 256 zeros and consumes nothing.
    bool readModulatorBlock(int channel, float* out);

private:
    // The channel's record, or null when detached or the channel is not 0..3.
    CaptureChannel* channelAt(int channel) const;

    CaptureLayout* layout = nullptr;
    bool shared = true;
};
