#include "render/Options.h"

#include <gtest/gtest.h>

using render::ParsedOptions;
using render::parseOptions;

namespace {
ParsedOptions parse(std::vector<std::string> args) { return parseOptions(args); }
}  // namespace

TEST(Options, PositionalPluginAndMidiWithValuesInBothSpellings) {
    ParsedOptions p = parse({"synth.so", "song.mid", "-o", "out.wav", "--rate=48000", "--block", "64", "--tempo",
                             "96.5", "--tail=0.5", "--bits", "16", "--program", "3", "--chunk", "bank.bin",
                             "--preset-chunk=prog.bin", "--progress"});
    ASSERT_TRUE(p.ok) << p.error;
    const render::Options& o = p.options;
    EXPECT_EQ(o.pluginPath, "synth.so");
    EXPECT_EQ(o.midiPath, "song.mid");
    EXPECT_EQ(o.outputPath, "out.wav");
    EXPECT_EQ(o.sampleRate, 48000.0);
    EXPECT_TRUE(o.sampleRateGiven);
    EXPECT_EQ(o.blockSize, 64);
    EXPECT_EQ(o.tempo, 96.5);
    EXPECT_EQ(o.tailSeconds, 0.5);
    EXPECT_EQ(o.bits, 16);
    EXPECT_EQ(o.program, 3);
    EXPECT_EQ(o.bankChunkPath, "bank.bin");
    EXPECT_EQ(o.programChunkPath, "prog.bin");
    EXPECT_TRUE(o.progress);
    EXPECT_FALSE(o.bench);
}

TEST(Options, Defaults) {
    ParsedOptions p = parse({"fx.so", "--output", "x.wav"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.sampleRate, 44100.0);
    EXPECT_FALSE(p.options.sampleRateGiven);
    EXPECT_EQ(p.options.blockSize, 512);
    EXPECT_FALSE(p.options.tailSeconds.has_value());  // until the output fades
    EXPECT_EQ(p.options.bits, 0);                     // the format's own default
    EXPECT_TRUE(p.options.selection.leavesOutDrums());
    EXPECT_FALSE(p.options.tempo.has_value());
    EXPECT_FALSE(p.options.program.has_value());
    EXPECT_TRUE(p.options.midiPath.empty());
}

TEST(Options, ParametersByNameSplitAtTheLastEqualsSign) {
    ParsedOptions p = parse({"s.so", "-o", "o.wav", "--param", "Cutoff=0.25", "--param=Mix=1", "--param", "a=b=0"});
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.options.parameters.size(), 3u);
    EXPECT_EQ(p.options.parameters[0].name, "Cutoff");
    EXPECT_EQ(p.options.parameters[0].value, 0.25f);
    EXPECT_EQ(p.options.parameters[1].name, "Mix");
    EXPECT_EQ(p.options.parameters[1].value, 1.0f);
    EXPECT_EQ(p.options.parameters[2].name, "a=b");
    EXPECT_EQ(p.options.parameters[2].value, 0.0f);
}

TEST(Options, BenchNeedsNoOutputAndTakesAnOptionalLength) {
    ParsedOptions plain = parse({"s.so", "--bench"});
    ASSERT_TRUE(plain.ok) << plain.error;
    EXPECT_TRUE(plain.options.bench);
    EXPECT_EQ(plain.options.benchSeconds, 30.0);
    ParsedOptions timed = parse({"s.so", "--bench=5"});
    ASSERT_TRUE(timed.ok) << timed.error;
    EXPECT_EQ(timed.options.benchSeconds, 5.0);
    EXPECT_TRUE(parse({"s.so", "--list-params"}).ok);
    EXPECT_TRUE(parse({"s.so", "--list-programs"}).ok);
}

TEST(Options, MidiSelectionListsAndRanges) {
    ParsedOptions p = parse({"s.so", "a.mid", "-o", "x.flac", "--track", "3,1-2,2", "--channel=10,2", "--ignore-cc",
                             "7,91-93", "--normalize"});
    ASSERT_TRUE(p.ok) << p.error;
    const render::MidiSelection& s = p.options.selection;
    EXPECT_EQ(s.tracks, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(s.channels, (std::vector<int>{2, 10}));
    EXPECT_FALSE(s.leavesOutDrums());
    EXPECT_EQ(s.ignoredControllers.count(), 4u);
    EXPECT_TRUE(s.ignoredControllers.test(7) && s.ignoredControllers.test(93));
    EXPECT_EQ(p.options.normalizeDbfs, -1.0);

    ParsedOptions all = parse({"s.so", "a.mid", "-o", "x.wav", "--channel", "all", "--ignore-cc=all"});
    ASSERT_TRUE(all.ok) << all.error;
    EXPECT_TRUE(all.options.selection.allChannels);
    EXPECT_TRUE(all.options.selection.ignoredControllers.all());

    ParsedOptions listing = parse({"--list-midi", "a.mid", "--track", "2"});
    ASSERT_TRUE(listing.ok) << listing.error;
    EXPECT_EQ(listing.options.midiPath, "a.mid");
    EXPECT_TRUE(parse({"--list-midi", "--midi", "a.mid"}).ok);
    EXPECT_TRUE(parse({"s.so", "--save-preset", "p.txt"}).ok);
}

TEST(Options, HelpWinsOverEverythingElse) {
    ParsedOptions p = parse({"--bogus", "-h"});
    EXPECT_TRUE(p.ok);
    EXPECT_TRUE(p.options.help);
    EXPECT_NE(std::string(render::usageText()).find("--param NAME=VALUE"), std::string::npos);
}

TEST(Options, ErrorsNameTheProblem) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{}, "no plug-in given"},
        {{"s.so"}, "no output file"},
        {{"s.so", "a.mid", "b.mid", "-o", "x"}, "unexpected argument 'b.mid'"},
        {{"s.so", "a.mid", "--midi", "b.mid", "-o", "x"}, "two MIDI files"},
        {{"s.so", "a.mid", "--demo", "-o", "x"}, "--demo and a MIDI file"},
        {{"s.so", "-o", "x", "--frobnicate"}, "unknown option --frobnicate"},
        {{"s.so", "-o"}, "option -o needs a value"},
        {{"s.so", "-o", "x", "--rate", "1000"}, "'1000' is not an integer from 8000 to 384000"},
        {{"s.so", "-o", "x", "--rate", "44100.5"}, "not an integer"},
        {{"s.so", "-o", "x", "--block", "0"}, "--block"},
        {{"s.so", "-o", "x", "--block", "12abc"}, "--block"},
        {{"s.so", "-o", "x", "--bits", "20"}, "use 16, 24 or 32"},
        {{"s.so", "-o", "x", "--tempo", "nan"}, "--tempo"},
        {{"s.so", "-o", "x", "--tail", "-1"}, "--tail"},
        {{"s.so", "-o", "x", "--param", "Cutoff"}, "expected NAME=VALUE"},
        {{"s.so", "-o", "x", "--param", "=0.5"}, "expected NAME=VALUE"},
        {{"s.so", "-o", "x", "--param", "Cutoff=1.5"}, "from 0 to 1"},
        {{"s.so", "-o", "x", "--param", "Cutoff=x"}, "from 0 to 1"},
        {{"s.so", "-o", "x", "--program", "-1"}, "--program"},
        {{"s.so", "--bench=soon"}, "--bench"},
        {{"s.so", "-o", "x", "--demo=yes"}, "--demo takes no value"},
        {{"s.so", "-o", "x.mp3"}, "must end in .wav, .flac, .ogg or .aiff"},
        {{"s.so", "-o", "x"}, "cannot tell the format of x"},
        {{"s.so", "-o", "x.flac", "--bits", "32"}, "not 32-bit float"},
        {{"s.so", "-o", "x.ogg", "--bits", "16"}, "leave out --bits"},
        {{"s.so", "-o", "x.wav", "--gain", "3", "--normalize"}, "exclude each other"},
        {{"s.so", "-o", "x.wav", "--normalize=1"}, "from -60 to 0 dBFS"},
        {{"s.so", "-o", "x.wav", "--channel", "17"}, "'17' is not a number or range"},
        {{"s.so", "-o", "x.wav", "--channel", "3-1"}, "'3-1'"},
        {{"s.so", "-o", "x.wav", "--track", "1,,2"}, "'' is not"},
        {{"s.so", "-o", "x.wav", "--track", "all"}, "'all'"},
        {{"s.so", "-o", "x.wav", "--ignore-cc", "128"}, "'128'"},
        {{"--list-midi"}, "--list-midi needs a MIDI file"},
    };
    for (const Case& c : cases) {
        ParsedOptions p = parse(c.args);
        EXPECT_FALSE(p.ok) << c.message;
        EXPECT_NE(p.error.find(c.message), std::string::npos)
            << "expected '" << c.message << "', got '" << p.error << "'";
        EXPECT_EQ(p.error.find('\n'), std::string::npos);
    }
}
