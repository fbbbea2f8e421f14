// The MIDI messages of a sequence placed on sample frames at one sample rate, ready to
// be handed to the plug-in block by block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/MidiSequence.h"
#include "render/TempoMap.h"

namespace render {

struct ScheduledEvent {
    int64_t frame;
    uint8_t bytes[3];
    uint8_t size;
};

class EventSchedule {
public:
    EventSchedule() = default;
    EventSchedule(const MidiSequence& sequence, const TempoMap& tempo, double sampleRate);

    // Plays the phrase again and again (every endFrame(), at least once a second) and
    // keeps only events before `frames`; used to fill a benchmark of a given length.
    void repeatUntil(int64_t frames, double sampleRate);

    const std::vector<ScheduledEvent>& events() const { return list; }
    // Where the sequence ends: its longest track's end, or its last event.
    int64_t endFrame() const { return end; }
    // The most events that fall into one block when blocks start at multiples of blockSize.
    size_t maxEventsPerBlock(int32_t blockSize) const;

private:
    std::vector<ScheduledEvent> list;  // ascending frame
    int64_t end = 0;
};

}  // namespace render
