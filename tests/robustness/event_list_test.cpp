// Event lists as hosts hand them over: longer than the two entries the structure
// declares, longer than the queue, with other event types and odd deltas mixed in.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "robustness/PluginRig.h"

namespace robustness {
namespace {

int activeVoices(VocoderPlugin& plugin) {
    int count = 0;
    for (int v = 0; v < 8; ++v) count += plugin.keyboard().active[v] != 0;
    return count;
}

// Found by the event fuzzer: the list was indexed as the two-entry array it is declared
// as. Every entry of a long list must arrive.
TEST(EventList, EveryEntryOfALongListArrives) {
    PluginRig rig(44100.0f, 512, 1);
    EventList list(8);
    for (int i = 0; i < 8; ++i) list.events[static_cast<size_t>(i)] = EventList::midi(0x90, 60 + i, 100, 0);
    rig.instrument().processEvents(list.build(8));
    rig.instrument().processEvents(list.build(0));  // hands over what is still queued
    EXPECT_EQ(activeVoices(rig.instrument()), 8);
}

TEST(EventList, SurplusBeyondTheQueueAndForeignTypesAreDroppedSafely) {
    PluginRig rig(44100.0f, 512, 2);
    constexpr size_t kCount = 2000;
    EventList list(kCount);
    for (size_t i = 0; i < kCount; ++i) {
        // Releases first, then one note-on past the queue's capacity that must not arrive.
        list.events[i] = EventList::midi(0x80, static_cast<int>(i % 128), 0, static_cast<int32_t>(i));
        if (i % 7 == 3) list.events[i].type = kVstSysExType;
    }
    list.events[kCount - 1] = EventList::midi(0x90, 64, 100, 0);
    rig.instrument().processEvents(list.build(kCount));
    rig.instrument().processEvents(list.build(0));
    EXPECT_EQ(activeVoices(rig.instrument()), 0);
    Peak peak = rig.play(4096);
    EXPECT_TRUE(peak.ok()) << peak.value;
}

TEST(EventList, NegativeAndHugeDeltasAreAppliedWithoutHarm) {
    PluginRig rig(48000.0f, 64, 3);
    EventList list(4);
    list.events[0] = EventList::midi(0x90, 60, 100, -1000000);
    list.events[1] = EventList::midi(0x90, 62, 100, INT32_MIN);
    list.events[2] = EventList::midi(0x90, 64, 100, 63);
    list.events[3] = EventList::midi(0x90, 65, 100, INT32_MAX);
    rig.instrument().processEvents(list.build(4));
    std::vector<float> left(64), right(64);
    float* outputs[2] = {left.data(), right.data()};
    rig.instrument().processReplacing(nullptr, outputs, 64);
    // Everything due by the end of the block is applied; the INT32_MAX one waits.
    EXPECT_EQ(activeVoices(rig.instrument()), 3);
    rig.instrument().processEvents(list.build(0));
    EXPECT_EQ(activeVoices(rig.instrument()), 4);
}

}  // namespace
}  // namespace robustness
