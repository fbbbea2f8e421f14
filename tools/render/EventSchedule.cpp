#include "render/EventSchedule.h"

#include <algorithm>
#include <cmath>

namespace render {

namespace {
// Saturates instead of overflowing for the absurd lengths a hostile file can describe;
// the caller refuses to render those.
int64_t frameAt(double seconds, double sampleRate) {
    double frame = std::round(seconds * sampleRate);
    return frame < 4e18 ? static_cast<int64_t>(frame) : int64_t{4'000'000'000'000'000'000};
}
}  // namespace

EventSchedule::EventSchedule(const MidiSequence& sequence, const TempoMap& tempo, double sampleRate) {
    list.reserve(sequence.messages.size());
    for (const MidiMessage& m : sequence.messages)
        list.push_back(
            {frameAt(tempo.secondsAtTick(m.tick), sampleRate), {m.bytes[0], m.bytes[1], m.bytes[2]}, m.size});
    end = frameAt(tempo.secondsAtTick(sequence.endTick), sampleRate);
    if (!list.empty()) end = std::max(end, list.back().frame);
}

void EventSchedule::repeatUntil(int64_t frames, double sampleRate) {
    int64_t period = std::max(end, static_cast<int64_t>(std::ceil(sampleRate)));
    std::vector<ScheduledEvent> phrase;
    phrase.swap(list);
    for (int64_t offset = 0; offset < frames && !phrase.empty(); offset += period) {
        for (ScheduledEvent e : phrase) {
            e.frame += offset;
            if (e.frame >= frames) break;
            list.push_back(e);
        }
    }
    end = frames;
}

size_t EventSchedule::maxEventsPerBlock(int32_t blockSize) const {
    size_t most = 0;
    for (size_t first = 0; first < list.size();) {
        int64_t block = list[first].frame / blockSize;
        size_t last = first;
        while (last < list.size() && list[last].frame / blockSize == block) ++last;
        most = std::max(most, last - first);
        first = last;
    }
    return most;
}

}  // namespace render
