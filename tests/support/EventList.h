// A host's VstEvents list of MIDI events with storage for its pointer array; building a
// list allocates nothing, so it can be used on an audio thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/Vst2.h"

struct EventList {
    explicit EventList(size_t capacity) : storage(sizeof(VstEvents) + capacity * sizeof(VstEvent*)), events(capacity) {}

    VstEvents* build(size_t count) {
        auto* list = reinterpret_cast<VstEvents*>(storage.data());
        list->numEvents = static_cast<int32_t>(count);
        VstEvent** slots = list->events;
        for (size_t i = 0; i < count; ++i) slots[i] = reinterpret_cast<VstEvent*>(&events[i]);
        return list;
    }

    static VstMidiEvent midi(int status, int data1, int data2, int32_t delta) {
        VstMidiEvent e{};
        e.type = kVstMidiType;
        e.byteSize = sizeof e;
        e.deltaFrames = delta;
        e.midiData[0] = static_cast<char>(status);
        e.midiData[1] = static_cast<char>(data1);
        e.midiData[2] = static_cast<char>(data2);
        return e;
    }

    std::vector<unsigned char> storage;
    std::vector<VstMidiEvent> events;
};
