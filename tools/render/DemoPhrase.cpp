#include "render/DemoPhrase.h"

#include <algorithm>
#include <initializer_list>

namespace render {

namespace {

constexpr uint32_t kQuarter = 480;
constexpr uint32_t kBar = 4 * kQuarter;

struct Note {
    uint32_t start;  // ticks
    uint32_t length;
    uint8_t key;
    uint8_t velocity;
};

void addNote(MidiSequence& sequence, const Note& note) {
    sequence.messages.push_back({note.start, {0x90, note.key, note.velocity}, 3});
    sequence.messages.push_back({note.start + note.length, {0x80, note.key, 64}, 3});
}

}  // namespace

MidiSequence demoPhrase() {
    MidiSequence sequence;
    sequence.ticksPerQuarter = kQuarter;
    sequence.tempoChanges.push_back({0, 500000});

    // C minor, A flat, E flat, B flat: one chord per bar, root in the bass. Each chord
    // ends a few ticks before the next bar so the new chord finds released voices.
    const uint8_t chords[4][4] = {{36, 55, 60, 63}, {44, 56, 60, 63}, {39, 55, 58, 63}, {46, 53, 58, 62}};
    for (uint32_t bar = 0; bar < 4; ++bar)
        for (uint8_t key : chords[bar]) addNote(sequence, {bar * kBar, kBar - 10, key, 96});

    // The melody in quarter and eighth notes, one octave above the chords.
    const uint32_t eighth = kQuarter / 2;
    const std::initializer_list<Note> melody = {
        {0 * kQuarter, kQuarter, 72, 110},
        {1 * kQuarter, eighth, 74, 100},
        {1 * kQuarter + eighth, eighth, 75, 100},
        {2 * kQuarter, 2 * kQuarter, 79, 112},
        {4 * kQuarter, kQuarter, 80, 110},
        {5 * kQuarter, kQuarter, 79, 100},
        {6 * kQuarter, kQuarter, 75, 100},
        {7 * kQuarter, kQuarter, 72, 96},
        {8 * kQuarter, eighth, 70, 108},
        {8 * kQuarter + eighth, eighth, 72, 100},
        {9 * kQuarter, kQuarter, 75, 104},
        {10 * kQuarter, 2 * kQuarter, 79, 112},
        {12 * kQuarter, kQuarter, 77, 110},
        {13 * kQuarter, kQuarter, 74, 100},
        {14 * kQuarter, 2 * kQuarter - 10, 70, 104},
    };
    for (const Note& note : melody) addNote(sequence, note);

    // Note-offs sort before note-ons at the same tick, so a repeated key is released first.
    std::stable_sort(sequence.messages.begin(), sequence.messages.end(),
                     [](const MidiMessage& a, const MidiMessage& b) {
                         if (a.tick != b.tick) return a.tick < b.tick;
                         return (a.bytes[0] & 0xF0) == 0x80 && (b.bytes[0] & 0xF0) != 0x80;
                     });
    sequence.endTick = 4 * kBar;
    return sequence;
}

}  // namespace render
