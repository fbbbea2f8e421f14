// Parameter changes handed from any thread to the editor's idle: one slot per
// parameter index with the latest value, a pending flag and a flag that a value other
// than 0 was posted since the last pick-up (so a momentary 1.0 followed by 0.0 is not
// lost). Posting is lock-free and allocation-free, safe on the audio thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

class ParameterMailbox {
public:
    explicit ParameterMailbox(int32_t count);

    // Any thread. Indices outside 0..count-1 are ignored.
    void post(int32_t index, float value);

    // One thread (the user-interface thread): calls handler(index, value, sawNonZero)
    // for every slot posted since the last call, in index order, and clears them.
    template <typename Handler>
    void collect(Handler&& handler);
    // Forgets everything posted so far.
    void clear() {
        collect([](int32_t, float, bool) {});
    }

    int32_t size() const { return count; }

private:
    enum : uint32_t { kPending = 1, kNonZero = 2 };
    struct Slot {
        std::atomic<float> value{0.0f};
        std::atomic<uint32_t> flags{0};
    };

    int32_t count;
    std::unique_ptr<Slot[]> slots;
    std::atomic<bool> anyPending{false};
};

template <typename Handler>
void ParameterMailbox::collect(Handler&& handler) {
    // Clearing the summary flag first means a post that races with this pass raises it
    // again and is seen at the next call.
    if (!anyPending.exchange(false, std::memory_order_acquire)) return;
    for (int32_t i = 0; i < count; ++i) {
        uint32_t flags = slots[i].flags.exchange(0, std::memory_order_acquire);
        if (flags & kPending) handler(i, slots[i].value.load(std::memory_order_relaxed), (flags & kNonZero) != 0);
    }
}
