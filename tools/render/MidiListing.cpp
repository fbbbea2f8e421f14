#include "render/MidiListing.h"

#include <cstdio>
#include <map>
#include <set>

namespace render {

namespace {

struct ChannelUse {
    size_t notes = 0;
    std::set<int> controllers;
};

std::string line(const char* format, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string controllerList(const std::set<int>& controllers) {
    if (controllers.empty()) return "-";
    std::string text;
    for (int c : controllers) {
        if (!text.empty()) text += ' ';
        text += std::to_string(c);
    }
    return text;
}

}  // namespace

std::string midiListing(const MidiSequence& sequence, double seconds, const MidiSelection& selection) {
    // Track index -> channel (from 0) -> use; every track gets an entry, used or not.
    std::map<int, std::map<int, ChannelUse>> tracks;
    for (size_t t = 0; t < sequence.trackNames.size(); ++t) tracks[static_cast<int>(t)];
    for (const MidiMessage& m : sequence.messages) {
        ChannelUse& use = tracks[m.track][m.bytes[0] & 0x0F];
        uint8_t kind = m.bytes[0] & 0xF0;
        if (kind == 0x90 && m.bytes[2] > 0) ++use.notes;
        if (kind == 0xB0) use.controllers.insert(m.bytes[1]);
    }

    std::string text = line("format %d, %zu track%s, %.1f s\n", sequence.format, sequence.trackNames.size(),
                            sequence.trackNames.size() == 1 ? "" : "s", seconds);
    text += "track  channel  notes  plays  controllers  \"name\"\n";
    for (const auto& [track, channels] : tracks) {
        std::string name;
        if (static_cast<size_t>(track) < sequence.trackNames.size() && !sequence.trackNames[track].empty())
            name = "  \"" + sequence.trackNames[track] + "\"";
        if (channels.empty()) text += line("%5d        -      0      -  -%s\n", track + 1, name.c_str());
        for (const auto& [channel, use] : channels) {
            bool plays = selection.plays(static_cast<uint16_t>(track), channel);
            const char* why = !plays && channel + 1 == MidiSelection::kDrumChannel && selection.leavesOutDrums() &&
                                      selection.plays(static_cast<uint16_t>(track), 0)
                                  ? " (drums)"
                                  : "";
            text += line("%5d  %7d  %5zu  %5s  %s%s%s\n", track + 1, channel + 1, use.notes, plays ? "yes" : "no",
                         controllerList(use.controllers).c_str(), name.c_str(), why);
        }
    }
    return text;
}

}  // namespace render
