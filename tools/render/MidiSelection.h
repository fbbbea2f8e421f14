// Which parts of a MIDI file play: the tracks, channels and controllers chosen on the
// command line. A multi-track file written for a General MIDI sound module drives one
// instrument here, so its drum channel is left out unless channels are chosen.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

#include "render/MidiSequence.h"

namespace render {

struct MidiSelection {
    static constexpr int kDrumChannel = 10;  // General MIDI, counting from 1

    std::vector<int> tracks;    // counting from 1; empty: every track
    std::vector<int> channels;  // 1 to 16; empty: every channel but the drum channel
    bool allChannels = false;   // every channel, the drum channel too
    std::bitset<128> ignoredControllers;

    // Whether messages of this track (from 0) and channel (from 0) play.
    bool plays(uint16_t track, int channel) const;
    // Whether the drum channel is out only because no channel was chosen.
    bool leavesOutDrums() const { return channels.empty() && !allChannels; }
    bool keeps(const MidiMessage& message) const;
    // Removes the messages that do not play; tempo changes stay, from every track.
    void apply(MidiSequence& sequence) const;

    // "1,3" or "2-4,9" into numbers from low to high; false with error on bad text.
    static bool parseList(const std::string& text, int low, int high, std::vector<int>& numbers, std::string& error);
};

// Notes on the drum channel in tracks the selection plays, had it chosen no channel.
size_t drumNotesLeftOut(const MidiSequence& sequence, const MidiSelection& selection);

}  // namespace render
