// A MIDI performance in musical time: channel messages and tempo changes merged from
// all tracks, in playing order. Produced by the file reader and by the demo phrase.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace render {

struct MidiMessage {
    uint64_t tick = 0;
    uint8_t bytes[3] = {};
    uint8_t size = 0;    // 2 or 3
    uint16_t track = 0;  // index of the track chunk it came from, counting from 0
};

struct TempoChange {
    uint64_t tick = 0;
    uint32_t microsPerQuarter = 500000;
};

struct MidiSequence {
    // Time base: ticks per quarter note, or (when framesPerSecond is non-zero) SMPTE
    // frames per second times ticks per frame.
    uint32_t ticksPerQuarter = 480;
    double framesPerSecond = 0.0;
    uint32_t ticksPerFrame = 0;

    std::vector<MidiMessage> messages;      // ascending tick; file order within a tick
    std::vector<TempoChange> tempoChanges;  // ascending tick
    uint64_t endTick = 0;                   // end of the longest track

    uint16_t format = 0;                  // 0 or 1
    std::vector<std::string> trackNames;  // one per track, empty when it has no name
};

}  // namespace render
