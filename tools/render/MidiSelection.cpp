#include "render/MidiSelection.h"

#include <algorithm>
#include <cstdlib>

namespace render {

namespace {

bool contains(const std::vector<int>& list, int value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool isNoteOn(const MidiMessage& m) { return (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0; }

// A whole number from low to high made of digits only.
bool number(const std::string& text, int low, int high, int& value) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::atoi(text.c_str());
    return value >= low && value <= high;
}

}  // namespace

bool MidiSelection::plays(uint16_t track, int channel) const {
    if (!tracks.empty() && !contains(tracks, track + 1)) return false;
    if (allChannels) return true;
    if (channels.empty()) return channel + 1 != kDrumChannel;
    return contains(channels, channel + 1);
}

bool MidiSelection::keeps(const MidiMessage& message) const {
    if (!plays(message.track, message.bytes[0] & 0x0F)) return false;
    return (message.bytes[0] & 0xF0) != 0xB0 || !ignoredControllers.test(message.bytes[1] & 0x7F);
}

void MidiSelection::apply(MidiSequence& sequence) const {
    auto& messages = sequence.messages;
    messages.erase(std::remove_if(messages.begin(), messages.end(), [this](const MidiMessage& m) { return !keeps(m); }),
                   messages.end());
}

bool MidiSelection::parseList(const std::string& text, int low, int high, std::vector<int>& numbers,
                              std::string& error) {
    std::vector<int> result;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t dash = item.find('-');
        int first = 0, last = 0;
        bool ok = dash == std::string::npos ? number(item, low, high, first) && number(item, low, high, last)
                                            : number(item.substr(0, dash), low, high, first) &&
                                                  number(item.substr(dash + 1), low, high, last) && first <= last;
        if (!ok) {
            error = "'" + item + "' is not a number or range (like 3 or 2-5) from " + std::to_string(low) + " to " +
                    std::to_string(high);
            return false;
        }
        for (int n = first; n <= last; ++n)
            if (!contains(result, n)) result.push_back(n);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    std::sort(result.begin(), result.end());
    numbers = std::move(result);
    return true;
}

size_t drumNotesLeftOut(const MidiSequence& sequence, const MidiSelection& selection) {
    if (!selection.leavesOutDrums()) return 0;
    MidiSelection withDrums = selection;
    withDrums.allChannels = true;
    return std::count_if(sequence.messages.begin(), sequence.messages.end(), [&](const MidiMessage& m) {
        return isNoteOn(m) && (m.bytes[0] & 0x0F) + 1 == MidiSelection::kDrumChannel && withDrums.plays(m.track, 9);
    });
}

}  // namespace render
