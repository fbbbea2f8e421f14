// Fixed queue of MIDI events copied from the host's list; audio thread only.
#pragma once

#include <cstdint>

#include "host/Vst2.h"

class EventQueue {
public:
    static constexpr int kCapacity = 600;

    void clear() { readCursor = endCursor = 0; }
    bool empty() const { return readCursor >= endCursor; }
    // Drops the event when the queue is full.
    void push(const VstMidiEvent& event) {
        if (endCursor < kCapacity) events[endCursor++] = event;
    }
    const VstMidiEvent& front() const { return events[readCursor]; }
    void pop() { ++readCursor; }
    int size() const { return endCursor - readCursor; }

private:
    VstMidiEvent events[kCapacity] = {};
    int readCursor = 0;
    int endCursor = 0;
};
