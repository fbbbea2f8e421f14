// Converts between the ticks of a MIDI sequence, seconds and quarter notes, following
// the sequence's tempo changes (or one fixed tempo chosen by the user).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "render/MidiSequence.h"

namespace render {

class TempoMap {
public:
    static constexpr double kDefaultBpm = 120.0;  // a MIDI file without tempo events plays at 120

    // fixedBpm, when given, replaces every tempo event of the sequence.
    explicit TempoMap(const MidiSequence& sequence, std::optional<double> fixedBpm = std::nullopt);

    double secondsAtTick(uint64_t tick) const;
    double quartersAt(double seconds) const;
    double bpmAt(double seconds) const;

private:
    struct Segment {
        uint64_t tick;
        double seconds;
        double quarters;
        double bpm;
    };
    const Segment& segmentAtSeconds(double seconds) const;

    std::vector<Segment> segments;  // the first starts at tick 0
    uint32_t ticksPerQuarter;
    double ticksPerSecond;  // non-zero for SMPTE time bases, where ticks are absolute time
};

}  // namespace render
