#include "render/MidiFile.h"

#include <gtest/gtest.h>

#include <random>

#include "MidiBytes.h"

using namespace midibytes;
using render::MidiFile;
using render::MidiMessage;

namespace {

MidiFile::Result parse(const Bytes& bytes, size_t maxEvents = MidiFile::kMaxEvents) {
    return MidiFile::parse(bytes.data(), bytes.size(), maxEvents);
}

void expectMessage(const MidiMessage& m, uint64_t tick, std::initializer_list<uint8_t> bytes) {
    EXPECT_EQ(m.tick, tick);
    ASSERT_EQ(m.size, bytes.size());
    size_t i = 0;
    for (uint8_t b : bytes) EXPECT_EQ(m.bytes[i++], b) << "byte " << i - 1 << " of the message at tick " << tick;
}

// One track in format 0: running status, a one-data-byte message, a two-byte delta
// time, system exclusive and text meta events in between.
Bytes formatZeroFile() {
    return join(
        {header(0, 1, 96), track(join({event(0, {0x90, 60, 100}), event(0, {64, 90}), event(48, {67, 80}),
                                       event(0, {0xF0, 0x03, 0x7E, 0x7F, 0xF7}), event(0, {0xFF, 0x01, 0x02, 'h', 'i'}),
                                       event(48, {0x80, 60, 0}), event(0, {64, 0}), event(200, {0xC1, 5}),
                                       event(0, {7}), event(0, {0xE0, 0x00, 0x40}), endOfTrack(10)}))});
}

}  // namespace

TEST(MidiFile, FormatZeroWithRunningStatus) {
    MidiFile::Result result = parse(formatZeroFile());
    ASSERT_TRUE(result.ok) << result.error;
    const auto& messages = result.sequence.messages;
    EXPECT_EQ(result.sequence.ticksPerQuarter, 96u);
    ASSERT_EQ(messages.size(), 8u);
    expectMessage(messages[0], 0, {0x90, 60, 100});
    expectMessage(messages[1], 0, {0x90, 64, 90});
    expectMessage(messages[2], 48, {0x90, 67, 80});
    expectMessage(messages[3], 96, {0x80, 60, 0});
    expectMessage(messages[4], 96, {0x80, 64, 0});
    expectMessage(messages[5], 296, {0xC1, 5});
    expectMessage(messages[6], 296, {0xC1, 7});  // running status with one data byte
    expectMessage(messages[7], 296, {0xE0, 0x00, 0x40});
    EXPECT_EQ(result.sequence.endTick, 306u);
    EXPECT_TRUE(result.sequence.tempoChanges.empty());
}

TEST(MidiFile, FormatOneMergesTracksByTimeKeepingTrackOrderWithinATick) {
    Bytes file = join({header(1, 3, 480), track(join({tempo(0, 600000), tempo(960, 400000), endOfTrack()})),
                       track(join({event(0, {0x90, 60, 100}), event(480, {0x80, 60, 0}), endOfTrack(1000)})),
                       track(join({event(240, {0x91, 72, 90}), event(240, {0xB1, 64, 127}), endOfTrack()}))});
    MidiFile::Result result = parse(file);
    ASSERT_TRUE(result.ok) << result.error;
    const auto& messages = result.sequence.messages;
    ASSERT_EQ(messages.size(), 4u);
    expectMessage(messages[0], 0, {0x90, 60, 100});
    expectMessage(messages[1], 240, {0x91, 72, 90});
    expectMessage(messages[2], 480, {0x80, 60, 0});  // track 2 before track 3 at tick 480
    expectMessage(messages[3], 480, {0xB1, 64, 127});
    ASSERT_EQ(result.sequence.tempoChanges.size(), 2u);
    EXPECT_EQ(result.sequence.tempoChanges[0].tick, 0u);
    EXPECT_EQ(result.sequence.tempoChanges[0].microsPerQuarter, 600000u);
    EXPECT_EQ(result.sequence.tempoChanges[1].tick, 960u);
    EXPECT_EQ(result.sequence.tempoChanges[1].microsPerQuarter, 400000u);
    EXPECT_EQ(result.sequence.endTick, 1480u);
}

TEST(MidiFile, SmpteTimeBaseAndUnknownChunksAndMissingEndMarker) {
    // 25 frames per second, 40 ticks per frame: 1000 ticks a second.
    Bytes file = join({header(0, 1, 0xE728), chunk("XFIH", {1, 2, 3}),
                       track(join({event(1500, {0x90, 60, 1}), event(5, {0x80, 60, 0})}))});
    MidiFile::Result result = parse(file);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.sequence.framesPerSecond, 25.0);
    EXPECT_EQ(result.sequence.ticksPerFrame, 40u);
    ASSERT_EQ(result.sequence.messages.size(), 2u);
    EXPECT_EQ(result.sequence.endTick, 1505u);  // the last event ends a track without end marker
}

TEST(MidiFile, IgnoresZeroAndMalformedTempoEvents) {
    Bytes file =
        join({header(0, 1, 96),
              track(join({tempo(0, 0), event(0, {0xFF, 0x51, 0x02, 0x07, 0xA1}), tempo(10, 250000), endOfTrack()}))});
    MidiFile::Result result = parse(file);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.sequence.tempoChanges.size(), 1u);
    EXPECT_EQ(result.sequence.tempoChanges[0].tick, 10u);
    EXPECT_EQ(result.sequence.tempoChanges[0].microsPerQuarter, 250000u);
}

TEST(MidiFile, RejectsMalformedFilesWithAReason) {
    const Bytes goodTrack = track(join({event(0, {0x90, 60, 100}), endOfTrack()}));
    struct Case {
        const char* what;
        Bytes file;
        const char* reason;
    };
    Bytes hugeChunk = header(0, 1, 96);
    append(hugeChunk, {'M', 'T', 'r', 'k', 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x90, 60, 100});
    const Case cases[] = {
        {"empty", {}, "no MThd header"},
        {"wrong magic", join({Bytes{'R', 'I', 'F', 'F'}, Bytes(20, 0)}), "no MThd header"},
        {"short header", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0}, "truncated MIDI file header"},
        {"format 2", join({header(2, 1, 96), goodTrack}), "format 2"},
        {"no tracks", header(1, 0, 96), "no tracks"},
        {"format 0 with two tracks", join({header(0, 2, 96), goodTrack, goodTrack}), "exactly one track"},
        {"zero division", join({header(0, 1, 0), goodTrack}), "zero ticks"},
        {"bad SMPTE rate", join({header(0, 1, 0xE928), goodTrack}), "SMPTE"},
        {"zero ticks per frame", join({header(0, 1, 0xE700), goodTrack}), "SMPTE"},
        {"chunk length past the end", hugeChunk, "truncated"},
        {"fewer tracks than announced", join({header(1, 65535, 96), goodTrack}), "ends after 1 of 65535 tracks"},
        {"delta time of five bytes", join({header(0, 1, 96), track({0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 1, 1})}),
         "delta time"},
        {"meta length past the track", join({header(0, 1, 96), track({0x00, 0xFF, 0x01, 0x40, 'a'})}), "meta event"},
        {"sysex length past the track", join({header(0, 1, 96), track({0x00, 0xF0, 0x7F, 1, 2})}), "system exclusive"},
        {"data byte without status", join({header(0, 1, 96), track({0x00, 60, 100})}), "without a status"},
        {"status inside a message", join({header(0, 1, 96), track({0x00, 0x90, 60, 0x80})}), "status byte inside"},
        {"message cut by the track end", join({header(0, 1, 96), track({0x00, 0x90, 60})}), "truncated channel"},
        {"system real-time byte", join({header(0, 1, 96), track({0x00, 0xF8})}), "unexpected status"},
        {"delta time without event", join({header(0, 1, 96), track({0x00})}), "truncated event"},
    };
    for (const Case& c : cases) {
        MidiFile::Result result = parse(c.file);
        EXPECT_FALSE(result.ok) << c.what;
        EXPECT_NE(result.error.find(c.reason), std::string::npos) << c.what << ": " << result.error;
    }
}

TEST(MidiFile, EveryTruncationOfAValidFileFailsCleanly) {
    Bytes file = formatZeroFile();
    ASSERT_TRUE(parse(file).ok);
    for (size_t length = 0; length < file.size(); ++length) {
        // An exact-size copy, so AddressSanitizer sees any read past the cut.
        Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
        MidiFile::Result result = parse(cut);
        EXPECT_FALSE(result.ok) << "cut at " << length;
        EXPECT_FALSE(result.error.empty()) << "cut at " << length;
    }
}

TEST(MidiFile, CapsTheNumberOfEvents) {
    Bytes events = event(0, {0x90, 60, 100});
    for (int i = 0; i < 10; ++i) append(events, event(1, {60, 100}));
    Bytes file = join({header(0, 1, 96), track(events)});
    EXPECT_TRUE(parse(file, 11).ok);
    MidiFile::Result capped = parse(file, 10);
    EXPECT_FALSE(capped.ok);
    EXPECT_NE(capped.error.find("more than 10 events"), std::string::npos) << capped.error;
    EXPECT_TRUE(capped.sequence.messages.empty());
}

TEST(MidiFile, SurvivesRandomTrackContents) {
    std::mt19937 random(1234);
    int accepted = 0;
    for (int round = 0; round < 2000; ++round) {
        Bytes body(random() % 64);
        for (uint8_t& b : body) b = static_cast<uint8_t>(random());
        Bytes file = join({header(1, 2, 96), track(body), track(body)});
        // Some rounds also cut the file anywhere.
        if (round % 3 == 0) file.resize(random() % (file.size() + 1));
        MidiFile::Result result = parse(file);
        EXPECT_TRUE(result.ok || !result.error.empty());
        if (!result.ok) continue;
        ++accepted;
        for (const MidiMessage& m : result.sequence.messages) {
            EXPECT_TRUE(m.bytes[0] >= 0x80 && m.bytes[0] < 0xF0);
            EXPECT_TRUE(m.size == 2 || m.size == 3);
            for (int i = 1; i < m.size; ++i) EXPECT_LT(m.bytes[i], 0x80);
            EXPECT_LE(m.tick, result.sequence.endTick);
        }
    }
    EXPECT_GT(accepted, 0);  // the net also reaches the event decoding, not only the header checks
}

TEST(MidiFile, LoadReportsMissingFile) {
    MidiFile::Result result = MidiFile::load("/nonexistent/song.mid");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("/nonexistent/song.mid"), std::string::npos);
}
