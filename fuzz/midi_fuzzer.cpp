// The render tool's MIDI file reader on arbitrary bytes, followed by what the tool does
// with an accepted file: its tempo map and the event schedule at a sample rate. An
// accepted file must give a well-formed sequence and a schedule in playing order.
#include <cmath>
#include <cstdlib>

#include "render/EventSchedule.h"
#include "render/MidiFile.h"
#include "render/MidiListing.h"
#include "render/TempoMap.h"

namespace {

// Small enough that the event cap is reached within the fuzzer's input sizes.
constexpr size_t kMaxEvents = 2048;

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    render::MidiFile::Result result = render::MidiFile::parse(data, size, kMaxEvents);
    if (!result.ok) {
        require(!result.error.empty());
        return 0;
    }
    const render::MidiSequence& sequence = result.sequence;
    require(sequence.messages.size() + sequence.tempoChanges.size() <= kMaxEvents);
    require(sequence.framesPerSecond > 0.0 ? sequence.ticksPerFrame > 0 : sequence.ticksPerQuarter > 0);
    for (size_t i = 0; i < sequence.messages.size(); ++i) {
        const render::MidiMessage& m = sequence.messages[i];
        require(m.size == 2 || m.size == 3);
        require((m.bytes[0] & 0x80) && m.bytes[0] < 0xF0);
        for (int b = 1; b < m.size; ++b) require(!(m.bytes[b] & 0x80));
        require(i == 0 || sequence.messages[i - 1].tick <= m.tick);
        require(m.tick <= sequence.endTick);
        require(m.track < sequence.trackNames.size());
    }
    for (size_t i = 0; i < sequence.tempoChanges.size(); ++i) {
        require(sequence.tempoChanges[i].microsPerQuarter > 0);
        require(i == 0 || sequence.tempoChanges[i - 1].tick <= sequence.tempoChanges[i].tick);
    }

    // The listing and a track and channel choice see every message of a sequence.
    render::MidiSelection selection;
    selection.tracks = {1, 3};
    require(!render::midiListing(sequence, 0.0, selection).empty());
    render::MidiSequence chosen = sequence;
    selection.apply(chosen);
    for (const render::MidiMessage& m : chosen.messages) require(m.track == 0 || m.track == 2);

    render::TempoMap tempo(sequence);
    render::EventSchedule schedule(sequence, tempo, 44100.0);
    int64_t previous = 0;
    for (const render::ScheduledEvent& e : schedule.events()) {
        require(e.frame >= previous);
        previous = e.frame;
    }
    require(schedule.endFrame() >= previous);
    double seconds = tempo.secondsAtTick(sequence.endTick);
    require(std::isfinite(seconds) && seconds >= 0.0);
    require(std::isfinite(tempo.quartersAt(seconds)) && tempo.bpmAt(seconds) > 0.0);
    return 0;
}
