// Reader for Standard MIDI Files of format 0 and 1. The input is untrusted: every
// length is checked against the data, and the number of kept events is capped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "render/MidiSequence.h"

namespace render {

class MidiFile {
public:
    static constexpr size_t kMaxFileBytes = 64u << 20;
    static constexpr size_t kMaxEvents = 1u << 22;  // channel messages plus tempo changes

    struct Result {
        bool ok = false;
        MidiSequence sequence;
        std::string error;  // one line, set when ok is false
    };

    static Result parse(const uint8_t* data, size_t size, size_t maxEvents = kMaxEvents);
    static Result load(const std::string& path);
};

}  // namespace render
