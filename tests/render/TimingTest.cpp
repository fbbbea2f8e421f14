#include <gtest/gtest.h>

#include "MidiBytes.h"
#include "render/DemoPhrase.h"
#include "render/EventSchedule.h"
#include "render/MidiFile.h"
#include "render/TempoMap.h"

using namespace midibytes;
using render::EventSchedule;
using render::MidiSequence;
using render::TempoMap;

namespace {

MidiSequence parsed(const Bytes& file) {
    render::MidiFile::Result result = render::MidiFile::parse(file.data(), file.size());
    EXPECT_TRUE(result.ok) << result.error;
    return result.sequence;
}

// 96 ticks a quarter; 120 beats per minute, then 60 from tick 96, then 240 from tick 288.
MidiSequence tempoChangingSequence() {
    return parsed(join({header(1, 2, 96), track(join({tempo(96, 1000000), tempo(192, 250000), endOfTrack()})),
                        track(join({event(0, {0x90, 60, 100}), event(96, {0x80, 60, 0}), event(96, {0x90, 62, 100}),
                                    event(96, {0x80, 62, 0}), event(48, {0x90, 64, 100}), endOfTrack(48)}))}));
}

}  // namespace

TEST(TempoMap, FollowsTempoChangesFromTicksToSecondsAndQuarters) {
    TempoMap map(tempoChangingSequence());
    EXPECT_EQ(map.secondsAtTick(0), 0.0);
    EXPECT_EQ(map.secondsAtTick(48), 0.25);
    EXPECT_EQ(map.secondsAtTick(96), 0.5);
    EXPECT_EQ(map.secondsAtTick(192), 1.5);
    EXPECT_EQ(map.secondsAtTick(288), 2.5);
    EXPECT_EQ(map.secondsAtTick(384), 2.75);

    EXPECT_EQ(map.bpmAt(0.0), 120.0);
    EXPECT_EQ(map.bpmAt(0.49), 120.0);
    EXPECT_EQ(map.bpmAt(0.5), 60.0);
    EXPECT_EQ(map.bpmAt(2.6), 240.0);
    EXPECT_EQ(map.quartersAt(0.25), 0.5);
    EXPECT_EQ(map.quartersAt(1.5), 2.0);
    EXPECT_EQ(map.quartersAt(2.5), 3.0);
    EXPECT_EQ(map.quartersAt(3.0), 5.0);
}

TEST(TempoMap, FixedTempoReplacesTheFileTempo) {
    TempoMap map(tempoChangingSequence(), 90.0);
    EXPECT_DOUBLE_EQ(map.secondsAtTick(288), 3 * 60.0 / 90.0);
    EXPECT_EQ(map.bpmAt(2.6), 90.0);
    EXPECT_DOUBLE_EQ(map.quartersAt(2.0), 3.0);
}

TEST(TempoMap, LaterOfTwoChangesAtOneTickHolds) {
    TempoMap map(parsed(join({header(0, 1, 96), track(join({tempo(0, 1000000), tempo(0, 250000), endOfTrack(96)}))})));
    EXPECT_EQ(map.bpmAt(0.0), 240.0);
    EXPECT_EQ(map.secondsAtTick(96), 0.25);
}

TEST(TempoMap, SmpteTicksAreAbsoluteTimeAndTempoOnlyMovesQuarters) {
    // 30 frames per second, 10 ticks per frame; a tempo of 60 from the start.
    TempoMap map(parsed(join({header(0, 1, 0xE20A), track(join({tempo(0, 1000000), endOfTrack(600)}))})));
    EXPECT_EQ(map.secondsAtTick(450), 1.5);
    EXPECT_EQ(map.quartersAt(1.5), 1.5);
}

TEST(EventSchedule, PlacesMessagesOnSampleFrames) {
    MidiSequence sequence = tempoChangingSequence();
    EventSchedule schedule(sequence, TempoMap(sequence), 44100.0);
    const auto& events = schedule.events();
    ASSERT_EQ(events.size(), 5u);
    const int64_t frames[] = {0, 22050, 66150, 110250, 115763};  // 0, 0.5, 1.5, 2.5, 2.625 s
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(events[i].frame, frames[i]) << i;
    EXPECT_EQ(events[2].bytes[0], 0x90);
    EXPECT_EQ(events[2].bytes[1], 62);
    EXPECT_EQ(schedule.endFrame(), 121275);  // 2.75 s
}

TEST(EventSchedule, CountsTheBusiestBlock) {
    MidiSequence sequence;
    sequence.ticksPerQuarter = 22050;  // at 120 and 44100 Hz one tick is one frame
    for (uint64_t tick : {511, 512, 512, 1023, 1024}) sequence.messages.push_back({tick, {0x90, 60, 1}, 3});
    sequence.endTick = 2000;
    EventSchedule schedule(sequence, TempoMap(sequence), 44100.0);
    EXPECT_EQ(schedule.maxEventsPerBlock(512), 3u);
    EXPECT_EQ(schedule.maxEventsPerBlock(256), 2u);
    EXPECT_EQ(schedule.maxEventsPerBlock(4096), 5u);
    EXPECT_EQ(EventSchedule().maxEventsPerBlock(512), 0u);
}

TEST(EventSchedule, RepeatsThePhraseToFillABenchmark) {
    MidiSequence demo = render::demoPhrase();
    EventSchedule once(demo, TempoMap(demo), 44100.0);
    EventSchedule repeated = once;
    const int64_t period = once.endFrame();
    repeated.repeatUntil(2 * period + 1, 44100.0);
    const auto& a = once.events();
    const auto& b = repeated.events();
    // Two whole phrases, then only what starts on the very first frame of the third.
    size_t onFirstFrame = 0;
    while (onFirstFrame < a.size() && a[onFirstFrame].frame == 0) ++onFirstFrame;
    ASSERT_EQ(b.size(), 2 * a.size() + onFirstFrame);
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(b[i].frame, a[i].frame);
        EXPECT_EQ(b[a.size() + i].frame, a[i].frame + period);
        EXPECT_EQ(b[a.size() + i].bytes[1], a[i].bytes[1]);
    }
    for (size_t i = 1; i < b.size(); ++i) EXPECT_LE(b[i - 1].frame, b[i].frame);
    EXPECT_EQ(repeated.endFrame(), 2 * period + 1);
}

TEST(DemoPhrase, EightSecondsOfHeldChordsWithinEightVoices) {
    MidiSequence demo = render::demoPhrase();
    TempoMap tempo(demo);
    EXPECT_EQ(tempo.secondsAtTick(demo.endTick), 8.0);
    int sounding = 0, most = 0, longNotes = 0;
    uint64_t started[128] = {};
    bool down[128] = {};
    for (const auto& m : demo.messages) {
        uint8_t key = m.bytes[1];
        bool on = (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0;
        if (on) {
            ASSERT_FALSE(down[key]) << "key " << int(key) << " struck twice without release";
            down[key] = true;
            started[key] = m.tick;
            most = std::max(most, ++sounding);
        } else {
            ASSERT_TRUE(down[key]) << "key " << int(key) << " released without being struck";
            down[key] = false;
            --sounding;
            if (tempo.secondsAtTick(m.tick) - tempo.secondsAtTick(started[key]) > 1.5) ++longNotes;
        }
        EXPECT_LE(m.tick, demo.endTick);
    }
    EXPECT_EQ(sounding, 0);
    EXPECT_LE(most, 8);
    EXPECT_GE(most, 4);
    EXPECT_GE(longNotes, 16);  // four held four-note chords
}
