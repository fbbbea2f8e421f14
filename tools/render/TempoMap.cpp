#include "render/TempoMap.h"

#include <algorithm>

namespace render {

namespace {
double bpmOf(uint32_t microsPerQuarter) { return 60e6 / microsPerQuarter; }
}  // namespace

TempoMap::TempoMap(const MidiSequence& sequence, std::optional<double> fixedBpm)
    : ticksPerQuarter(sequence.ticksPerQuarter), ticksPerSecond(sequence.framesPerSecond * sequence.ticksPerFrame) {
    segments.push_back({0, 0.0, 0.0, fixedBpm.value_or(kDefaultBpm)});
    if (fixedBpm) return;
    for (const TempoChange& change : sequence.tempoChanges) {
        const Segment& last = segments.back();
        double seconds = secondsAtTick(change.tick);
        double quarters = last.quarters + (seconds - last.seconds) * last.bpm / 60.0;
        double bpm = bpmOf(change.microsPerQuarter);
        if (change.tick == last.tick)
            segments.back().bpm = bpm;  // the later of two changes at one tick holds
        else
            segments.push_back({change.tick, seconds, quarters, bpm});
    }
}

double TempoMap::secondsAtTick(uint64_t tick) const {
    if (ticksPerSecond > 0.0) return tick / ticksPerSecond;
    auto after = std::upper_bound(segments.begin(), segments.end(), tick,
                                  [](uint64_t t, const Segment& s) { return t < s.tick; });
    const Segment& s = *(after - 1);
    return s.seconds + (tick - s.tick) * 60.0 / (s.bpm * ticksPerQuarter);
}

const TempoMap::Segment& TempoMap::segmentAtSeconds(double seconds) const {
    auto after = std::upper_bound(segments.begin(), segments.end(), seconds,
                                  [](double t, const Segment& s) { return t < s.seconds; });
    return after == segments.begin() ? segments.front() : *(after - 1);
}

double TempoMap::quartersAt(double seconds) const {
    const Segment& s = segmentAtSeconds(seconds);
    return s.quarters + (seconds - s.seconds) * s.bpm / 60.0;
}

double TempoMap::bpmAt(double seconds) const { return segmentAtSeconds(seconds).bpm; }

}  // namespace render
