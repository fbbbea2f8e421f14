#include "capture/CaptureMemory.h"

#include <cmath>
#include <cstdlib>

#include "platform/SharedMemory.h"

namespace {

// Samples are relaxed atomics: a reader that lags a whole ring behind reads a slot
// while the writer refills it, and that must give an old or a new value, never a
// data race. On the targets this is a plain move.
// Samples are untrusted too: a NaN or an infinity would poison the reader's recursive
// filters for good, so they read as silence, and magnitudes are held within kSampleLimit.
float loadSample(float& sample) {
    float x = std::atomic_ref<float>(sample).load(std::memory_order_relaxed);
    if (!(x >= -CaptureMemory::kSampleLimit)) return x < 0.0f ? -CaptureMemory::kSampleLimit : 0.0f;
    return x > CaptureMemory::kSampleLimit ? CaptureMemory::kSampleLimit : x;
}
void storeSample(float& sample, float value) { std::atomic_ref<float>(sample).store(value, std::memory_order_relaxed); }

// Every index read from the memory is untrusted: masked before it addresses a sample.
int32_t loadIndex(const std::atomic<int32_t>& index, std::memory_order order) {
    return index.load(order) & CaptureMemory::kMask;
}

// Frames waiting on a channel, and the read position they start at.
int32_t waiting(const CaptureChannel& channel, int32_t& readPosition) {
    int32_t w = loadIndex(channel.left.writeIndex, std::memory_order_acquire);
    readPosition = loadIndex(channel.left.readIndex, std::memory_order_acquire);
    return (w - readPosition) & CaptureMemory::kMask;  // w - r, plus 4096 when negative
}

}  // namespace

CaptureMemory::CaptureMemory(Role role) {
    const char* name = std::getenv("ZORVEK_CAPTURE_SHM");
    if (!name || !*name) name = kObjectName;
    layout = static_cast<CaptureLayout*>(platform::mapSharedMemory(name, kBytes));
    if (!layout) return;
    if (role == Role::Writer) {
        for (CaptureChannel& channel : layout->channels) {
            channel.left.writeIndex.store(0, std::memory_order_release);
            channel.right.writeIndex.store(0, std::memory_order_release);
        }
    } else {
        CaptureRing& left = layout->channels[0].left;
        left.readIndex.store(loadIndex(left.writeIndex, std::memory_order_acquire), std::memory_order_release);
    }
}

CaptureMemory::~CaptureMemory() {
    if (shared) platform::unmapSharedMemory(layout, kBytes);
}

CaptureChannel* CaptureMemory::channelAt(int channel) const {
    if (!layout || channel < 0 || channel >= kChannels) return nullptr;
    return &layout->channels[channel];
}

void CaptureMemory::writeFrame(int channel, float left, float right) {
    CaptureChannel* c = channelAt(channel);
    if (!c) return;
    // Readers learn of a frame from the left write index alone, so both samples are
    // stored before it moves; the right index moves first so the pair stays in step.
    int32_t l = loadIndex(c->left.writeIndex, std::memory_order_relaxed);
    int32_t r = loadIndex(c->right.writeIndex, std::memory_order_relaxed);
    storeSample(c->left.samples[l], left);
    storeSample(c->right.samples[r], right);
    c->right.writeIndex.store((r + 1) & kMask, std::memory_order_release);
    c->left.writeIndex.store((l + 1) & kMask, std::memory_order_release);
}

int32_t CaptureMemory::available(int channel) const {
    CaptureChannel* c = channelAt(channel);
    int32_t r = 0;
    return c ? waiting(*c, r) : 0;
}

bool CaptureMemory::peekFrame(int channel, float& left, float& right) const {
    left = right = 0.0f;
    CaptureChannel* c = channelAt(channel);
    int32_t r = 0;
    if (!c || waiting(*c, r) == 0) return false;
    left = loadSample(c->left.samples[r]);
    right = loadSample(c->right.samples[r]);
    return true;
}

void CaptureMemory::advance(int channel) {
    CaptureChannel* c = channelAt(channel);
    int32_t r = 0;
    if (c && waiting(*c, r) > 0) c->left.readIndex.store((r + 1) & kMask, std::memory_order_release);
}

bool CaptureMemory::readModulatorBlock(int channel, float* out) {
    CaptureChannel* c = channelAt(channel);
    int32_t r = 0;
    if (!c || waiting(*c, r) < kModulatorFrames) {
        for (int i = 0; i < kModulatorFrames; ++i) out[i] = 0.0f;
        return false;
    }
    for (int i = 0; i < kModulatorFrames; ++i) {
        int32_t position = (r + i) & kMask;
        out[i] = (loadSample(c->left.samples[position]) + loadSample(c->right.samples[position])) * 0.5f;
    }
    c->left.readIndex.store((r + kModulatorFrames) & kMask, std::memory_order_release);
    return true;
}
