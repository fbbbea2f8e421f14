// Builds Standard MIDI File bytes by hand for the tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace midibytes {

using Bytes = std::vector<uint8_t>;

inline Bytes vlq(uint32_t value) {
    Bytes out{static_cast<uint8_t>(value & 0x7F)};
    while (value >>= 7) out.insert(out.begin(), static_cast<uint8_t>(0x80 | (value & 0x7F)));
    return out;
}

inline void append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

inline void be32(Bytes& to, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) to.push_back(static_cast<uint8_t>(v >> shift));
}

inline Bytes header(uint16_t format, uint16_t tracks, uint16_t division) {
    Bytes out{'M', 'T', 'h', 'd', 0, 0, 0, 6};
    for (uint16_t v : {format, tracks, division}) {
        out.push_back(static_cast<uint8_t>(v >> 8));
        out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

inline Bytes chunk(const char* tag, const Bytes& body) {
    Bytes out(tag, tag + 4);
    be32(out, static_cast<uint32_t>(body.size()));
    append(out, body);
    return out;
}

inline Bytes track(const Bytes& events) { return chunk("MTrk", events); }

// A delta time followed by raw event bytes.
inline Bytes event(uint32_t delta, std::initializer_list<uint8_t> bytes) {
    Bytes out = vlq(delta);
    for (uint8_t b : bytes) out.push_back(b);
    return out;
}

inline Bytes tempo(uint32_t delta, uint32_t microsPerQuarter) {
    return event(delta, {0xFF, 0x51, 0x03, static_cast<uint8_t>(microsPerQuarter >> 16),
                         static_cast<uint8_t>(microsPerQuarter >> 8), static_cast<uint8_t>(microsPerQuarter)});
}

inline Bytes endOfTrack(uint32_t delta = 0) { return event(delta, {0xFF, 0x2F, 0x00}); }

inline Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) append(out, p);
    return out;
}

}  // namespace midibytes
