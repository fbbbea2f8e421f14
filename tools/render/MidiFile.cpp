#include "render/MidiFile.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

namespace render {

namespace {

// Longest track name kept for listings; longer names are cut.
constexpr size_t kMaxTrackName = 48;

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data(data), size(size) {}

    bool atEnd() const { return position >= size; }
    size_t remaining() const { return size - position; }
    size_t offset() const { return position; }

    bool byte(uint8_t& value) {
        if (atEnd()) return false;
        value = data[position++];
        return true;
    }
    bool peek(uint8_t& value) const {
        if (atEnd()) return false;
        value = data[position];
        return true;
    }
    bool bigEndian(int bytes, uint32_t& value) {
        if (remaining() < static_cast<size_t>(bytes)) return false;
        value = 0;
        for (int i = 0; i < bytes; ++i) value = (value << 8) | data[position++];
        return true;
    }
    // Variable-length quantity: at most four bytes of seven bits each.
    bool quantity(uint32_t& value) {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b;
            if (!byte(b)) return false;
            value = (value << 7) | (b & 0x7F);
            if (!(b & 0x80)) return true;
        }
        return false;
    }
    bool skip(size_t bytes) {
        if (remaining() < bytes) return false;
        position += bytes;
        return true;
    }
    const uint8_t* here() const { return data + position; }

private:
    const uint8_t* data;
    size_t size;
    size_t position = 0;
};

int dataBytesOf(uint8_t status) {
    uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

class TrackParser {
public:
    TrackParser(uint16_t track, std::vector<MidiMessage>& messages, std::vector<TempoChange>& tempos,
                size_t& eventCount, size_t maxEvents)
        : track(track), messages(messages), tempos(tempos), eventCount(eventCount), maxEvents(maxEvents) {}

    // The track's first name event, printable characters only.
    std::string name;

    // Reads one track chunk's body; on failure sets error and returns false.
    bool parse(const uint8_t* body, size_t length, uint64_t& endTick, std::string& error) {
        ByteReader in(body, length);
        uint64_t tick = 0;
        uint8_t runningStatus = 0;
        while (!in.atEnd()) {
            uint32_t delta;
            if (!in.quantity(delta)) return fail(in, "bad or truncated delta time", error);
            tick += delta;
            uint8_t lead;
            if (!in.peek(lead)) return fail(in, "truncated event", error);
            if (lead == 0xFF) {
                in.skip(1);
                uint8_t type;
                uint32_t bytes;
                if (!in.byte(type) || !in.quantity(bytes) || in.remaining() < bytes)
                    return fail(in, "truncated meta event", error);
                if (type == 0x2F) {
                    endTick = tick;
                    return true;
                }
                if (type == 0x51 && bytes == 3) {
                    const uint8_t* p = in.here();
                    uint32_t micros = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
                    // A zero tempo would make time stand still; such an event is ignored.
                    if (micros > 0) {
                        if (!count(error)) return false;
                        tempos.push_back({tick, micros});
                    }
                } else if (type == 0x03 && name.empty()) {
                    const uint8_t* p = in.here();
                    for (uint32_t i = 0; i < bytes && name.size() < kMaxTrackName; ++i)
                        name += p[i] >= 0x20 && p[i] < 0x7F ? static_cast<char>(p[i]) : '?';
                }
                in.skip(bytes);
            } else if (lead == 0xF0 || lead == 0xF7) {
                in.skip(1);
                uint32_t bytes;
                if (!in.quantity(bytes) || !in.skip(bytes)) return fail(in, "truncated system exclusive event", error);
            } else if (lead >= 0xF1) {
                return fail(in, "unexpected status byte", error);
            } else {
                uint8_t status = runningStatus;
                if (lead & 0x80) {
                    in.skip(1);
                    status = runningStatus = lead;
                } else if (status == 0) {
                    return fail(in, "data byte without a status byte", error);
                }
                MidiMessage message;
                message.tick = tick;
                message.track = track;
                message.bytes[0] = status;
                message.size = static_cast<uint8_t>(1 + dataBytesOf(status));
                for (int i = 1; i < message.size; ++i) {
                    if (!in.byte(message.bytes[i])) return fail(in, "truncated channel message", error);
                    if (message.bytes[i] & 0x80) return fail(in, "status byte inside a channel message", error);
                }
                if (!count(error)) return false;
                messages.push_back(message);
            }
        }
        // A track without its end marker ends with its last event.
        endTick = tick;
        return true;
    }

private:
    bool fail(const ByteReader& in, const char* what, std::string& error) {
        error = "track " + std::to_string(track + 1) + ": " + what + " at byte " + std::to_string(in.offset());
        return false;
    }
    bool count(std::string& error) {
        if (++eventCount <= maxEvents) return true;
        error = "more than " + std::to_string(maxEvents) + " events";
        return false;
    }

    uint16_t track;
    std::vector<MidiMessage>& messages;
    std::vector<TempoChange>& tempos;
    size_t& eventCount;
    size_t maxEvents;
};

MidiFile::Result failure(std::string text) {
    MidiFile::Result result;
    result.error = std::move(text);
    return result;
}

}  // namespace

MidiFile::Result MidiFile::parse(const uint8_t* data, size_t size, size_t maxEvents) {
    ByteReader in(data, size);
    uint32_t tag, headerLength, format, trackCount, division;
    if (!in.bigEndian(4, tag) || tag != 0x4D546864)  // "MThd"
        return failure("not a Standard MIDI File (no MThd header)");
    if (!in.bigEndian(4, headerLength) || headerLength < 6 || !in.bigEndian(2, format) ||
        !in.bigEndian(2, trackCount) || !in.bigEndian(2, division) || !in.skip(headerLength - 6))
        return failure("truncated MIDI file header");
    if (format > 1) return failure("MIDI file format " + std::to_string(format) + " is not supported (only 0 and 1)");
    if (trackCount == 0) return failure("MIDI file has no tracks");
    if (format == 0 && trackCount != 1) return failure("MIDI file of format 0 must hold exactly one track");

    Result result;
    MidiSequence& sequence = result.sequence;
    if (division & 0x8000) {
        int fps = -static_cast<int8_t>(division >> 8);
        uint32_t ticksPerFrame = division & 0xFF;
        if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || ticksPerFrame == 0)
            return failure("MIDI file has an invalid SMPTE time division");
        sequence.framesPerSecond = fps == 29 ? 30000.0 / 1001.0 : fps;
        sequence.ticksPerFrame = ticksPerFrame;
    } else {
        if (division == 0) return failure("MIDI file has zero ticks per quarter note");
        sequence.ticksPerQuarter = division;
    }

    sequence.format = static_cast<uint16_t>(format);
    std::vector<MidiMessage>& events = sequence.messages;
    size_t eventCount = 0;
    uint32_t tracksRead = 0;
    while (tracksRead < trackCount) {
        uint32_t chunkTag, chunkLength;
        if (!in.bigEndian(4, chunkTag) || !in.bigEndian(4, chunkLength))
            return failure("MIDI file ends after " + std::to_string(tracksRead) + " of " + std::to_string(trackCount) +
                           " tracks");
        if (in.remaining() < chunkLength) return failure("track " + std::to_string(tracksRead + 1) + " is truncated");
        const uint8_t* body = in.here();
        in.skip(chunkLength);
        if (chunkTag != 0x4D54726B) continue;  // "MTrk"; other chunks are skipped
        uint64_t endTick = 0;
        TrackParser parser(static_cast<uint16_t>(tracksRead), events, sequence.tempoChanges, eventCount, maxEvents);
        if (!parser.parse(body, chunkLength, endTick, result.error)) {
            result.sequence = {};
            return result;
        }
        sequence.trackNames.push_back(std::move(parser.name));
        sequence.endTick = std::max(sequence.endTick, endTick);
        ++tracksRead;
    }

    // Tracks were read one after another: a stable sort by tick keeps the file's order
    // among events that share one.
    std::stable_sort(events.begin(), events.end(), [](const MidiMessage& a, const MidiMessage& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.track < b.track;
    });
    std::stable_sort(sequence.tempoChanges.begin(), sequence.tempoChanges.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
    result.ok = true;
    return result;
}

MidiFile::Result MidiFile::load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return failure("cannot open MIDI file " + path);
    std::vector<uint8_t> bytes;
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        if (bytes.size() + static_cast<size_t>(file.gcount()) > kMaxFileBytes)
            return failure("MIDI file " + path + " is larger than 64 MiB");
        bytes.insert(bytes.end(), buffer, buffer + file.gcount());
    }
    if (file.bad()) return failure("cannot read MIDI file " + path);
    Result result = parse(bytes.data(), bytes.size());
    if (!result.ok) result.error = path + ": " + result.error;
    return result;
}

}  // namespace render
