// Runs the built zorvek-render as a user does, through third-party plug-ins and our own.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "MidiBytes.h"
#include "TestAudio.h"
#include "dsp/SimdPath.h"

using namespace midibytes;

namespace {

const std::string kTool = ZORVEK_BINARY_DIR "/zorvek-render";
const std::string kZorvek = ZORVEK_PLUGIN_DIR "/Zorvek2.so";
// Instrument and effect from Debian's dpf-plugins-vst.
const std::string kInstrument = "/usr/lib/vst/Kars-vst.so";
const std::string kEffect = "/usr/lib/vst/3BandEQ-vst.so";

struct ToolRun {
    int status = -1;
    std::string output;  // standard output and error together
};

ToolRun render(const std::string& args) {
    ToolRun run;
    FILE* pipe = popen((kTool + " " + args + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) run.output.append(buffer, n);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string quoted(const std::string& path) { return "'" + path + "'"; }

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// One note from 0.25 s to 0.75 s at 120 beats per minute; the track ends at 1 s.
Bytes oneNote() {
    return join({header(0, 1, 480), track(join({tempo(0, 500000), event(240, {0x90, 60, 100}),
                                                event(480, {0x80, 60, 0}), endOfTrack(240)}))});
}

bool dpfPluginsInstalled() { return std::filesystem::exists(kInstrument) && std::filesystem::exists(kEffect); }

}  // namespace

TEST(RenderTool, ThirdPartyInstrumentSoundsFromTheFrameOfItsNote) {
    if (!dpfPluginsInstalled()) GTEST_SKIP() << "dpf-plugins-vst is not installed";
    TempFolder dir;
    writeFile(dir.file("note.mid"), oneNote());
    ToolRun run = render(quoted(kInstrument) + " " + quoted(dir.file("note.mid")) + " --tail 0.5 -o " +
                         quoted(dir.file("out.wav")));
    ASSERT_EQ(run.status, 0) << run.output;
    testaudio::Wav wav = testaudio::readWav(dir.file("out.wav"));
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.sampleRate, 44100);
    EXPECT_EQ(wav.format, SF_FORMAT_WAVEX | SF_FORMAT_FLOAT);
    ASSERT_EQ(wav.frames(), 66150);  // 1 s of file and 0.5 s of tail
    for (int channel = 0; channel < 2; ++channel) {
        EXPECT_EQ(testaudio::peak(wav, channel, 0, 11025), 0.0f) << "sound before the note-on";
        EXPECT_GT(testaudio::peak(wav, channel, 11025, 11025 + 512), 0.05f) << "no sound at the note-on";
    }
}

TEST(RenderTool, ParametersBySetNameReachThePlugin) {
    if (!dpfPluginsInstalled()) GTEST_SKIP() << "dpf-plugins-vst is not installed";
    TempFolder dir;
    writeFile(dir.file("note.mid"), oneNote());
    ToolRun run = render(quoted(kInstrument) + " --midi " + quoted(dir.file("note.mid")) +
                         " --param volume=0 --bits 16 -o " + quoted(dir.file("quiet.wav")));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("silent"), std::string::npos) << run.output;
    testaudio::Wav wav = testaudio::readWav(dir.file("quiet.wav"));
    EXPECT_EQ(wav.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(testaudio::peak(wav, 0, 0, wav.frames()), 0.0f);

    ToolRun listed = render(quoted(kInstrument) + " --param Volume=0.25 --list-params");
    ASSERT_EQ(listed.status, 0) << listed.output;
    size_t line = listed.output.find("   2  Volume ");
    ASSERT_NE(line, std::string::npos) << listed.output;
    std::string volume = listed.output.substr(line, listed.output.find('\n', line) - line);
    EXPECT_NE(volume.find(" 25.000000 %"), std::string::npos) << volume;
}

TEST(RenderTool, EffectPluginsGetInputAudioOrSilence) {
    if (!dpfPluginsInstalled()) GTEST_SKIP() << "dpf-plugins-vst is not installed";
    TempFolder dir;
    std::vector<float> tone(22050);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = 0.5f * std::sin(2.0f * 3.14159265f * 440.0f * i / 22050.0f);
    testaudio::writeMonoWav(dir.file("tone.wav"), tone, 22050);

    ToolRun run = render(quoted(kEffect) + " -i " + quoted(dir.file("tone.wav")) + " --tail 0.25 -o " +
                         quoted(dir.file("eq.wav")));
    ASSERT_EQ(run.status, 0) << run.output;
    testaudio::Wav wav = testaudio::readWav(dir.file("eq.wav"));
    EXPECT_EQ(wav.sampleRate, 22050);  // the input's rate
    ASSERT_EQ(wav.frames(), 22050 + 5513);
    EXPECT_NEAR(testaudio::peak(wav, 0, 0, 22050), 0.5f, 0.05f);  // a flat equalizer passes the tone
    EXPECT_NEAR(testaudio::peak(wav, 1, 0, 22050), 0.5f, 0.05f);

    ToolRun quiet = render(quoted(kEffect) + " -o " + quoted(dir.file("none.wav")));
    ASSERT_EQ(quiet.status, 0) << quiet.output;
    testaudio::Wav none = testaudio::readWav(dir.file("none.wav"));
    EXPECT_LT(testaudio::peak(none, 0, 0, none.frames()), 1e-6f);

    ToolRun mismatch = render(quoted(kEffect) + " -i " + quoted(dir.file("tone.wav")) + " --rate 48000 -o " +
                              quoted(dir.file("x.wav")));
    EXPECT_EQ(mismatch.status, 1);
    EXPECT_NE(mismatch.output.find("sample rate of 22050 Hz"), std::string::npos) << mismatch.output;
}

TEST(RenderTool, RendersTheDemoThroughZorvek2UntilItHasFaded) {
    TempFolder dir;
    ToolRun run = render(quoted(kZorvek) + " --demo -o " + quoted(dir.file("demo.wav")));
    ASSERT_EQ(run.status, 0) << run.output;
    testaudio::Wav wav = testaudio::readWav(dir.file("demo.wav"));
    EXPECT_EQ(wav.channels, 2);
    EXPECT_TRUE(std::all_of(wav.samples.begin(), wav.samples.end(), [](float v) { return std::isfinite(v); }));
    // It ends 0.5 s after the output last reached -90 dBFS, some time after the 8 s phrase.
    const float quiet = std::pow(10.0f, -90.0f / 20.0f);
    const sf_count_t end = wav.frames(), lastLoud = end - 22050 - 1;
    ASSERT_GT(lastLoud, 8 * 44100);
    EXPECT_LT(end, 18 * 44100);
    EXPECT_LT(std::max(testaudio::peak(wav, 0, lastLoud + 1, end), testaudio::peak(wav, 1, lastLoud + 1, end)), quiet);
    EXPECT_GE(std::max(testaudio::peak(wav, 0, lastLoud, lastLoud + 1),
                       testaudio::peak(wav, 1, lastLoud, lastLoud + 1)),
              quiet);
}

namespace {

// A General MIDI style file: a conductor track, a chord on channel 1 for one second, a
// mixer track that turns channel 2's volume (controller 7) fully down, and drums on
// channel 10 that pan hard left (controller 10). Zorvek2 hears every channel, so the
// controllers of any track that plays move its one Volume and Pan.
Bytes bandFile() {
    auto named = [](const std::string& name, const Bytes& events) {
        Bytes body = event(0, {0xFF, 0x03, static_cast<uint8_t>(name.size())});
        for (char c : name) body.push_back(static_cast<uint8_t>(c));
        append(body, events);
        append(body, endOfTrack());
        return track(body);
    };
    Bytes chord = join({event(0, {0x90, 48, 100}), event(0, {0x90, 55, 100}), event(0, {0x90, 60, 100}),
                        event(960, {0x80, 48, 0}), event(0, {0x80, 55, 0}), event(0, {0x80, 60, 0})});
    Bytes drums = join({event(0, {0xB9, 10, 0}), event(0, {0x99, 36, 100}), event(240, {0x89, 36, 0}),
                        event(0, {0x99, 38, 100}), event(240, {0x89, 38, 0})});
    return join({header(1, 4, 480), named("Conductor", tempo(0, 500000)), named("Chord", chord),
                 named("Mixer", event(0, {0xB1, 7, 0})), named("Drums", drums)});
}

}  // namespace

TEST(RenderTool, TrackChannelAndControllerChoicesDecideWhatDrivesTheInstrument) {
    TempFolder dir;
    writeFile(dir.file("band.mid"), bandFile());
    struct Case {
        const char* choice;
        bool left, right;   // whether each side sounds
        bool drumsLeftOut;  // and says so
    };
    const Case cases[] = {
        {"", false, false, true},                             // the mixer track's volume 0 reaches the instrument
        {"--track 1,2", true, true, false},                   // no drum notes among the chosen tracks
        {"--track 2-4 --channel 1", true, true, false},       // only the chord's channel
        {"--ignore-cc 7", true, true, true},                  // volume kept; the drums' pan is left out
        {"--ignore-cc 7 --channel all", true, false, false},  // the drums' hard-left pan plays
        {"--ignore-cc all --channel all", true, true, false},
    };
    for (const Case& c : cases) {
        ToolRun run = render(quoted(kZorvek) + " " + quoted(dir.file("band.mid")) + " " + c.choice + " --tail 0.2 -o " +
                             quoted(dir.file("out.wav")));
        ASSERT_EQ(run.status, 0) << c.choice << "\n" << run.output;
        EXPECT_EQ(run.output.find("leaving out channel 10 (General MIDI drums, 2 notes)") != std::string::npos,
                  c.drumsLeftOut)
            << c.choice << "\n"
            << run.output;
        testaudio::Wav wav = testaudio::readWav(dir.file("out.wav"));
        ASSERT_EQ(wav.frames(), 44100 + 8820) << c.choice;
        for (int channel = 0; channel < 2; ++channel) {
            float level = testaudio::peak(wav, channel, 0, wav.frames());
            if (channel == 0 ? c.left : c.right)
                EXPECT_GT(level, 0.01f) << c.choice << " channel " << channel;
            else
                EXPECT_EQ(level, 0.0f) << c.choice << " channel " << channel;
        }
    }

    ToolRun listed = render("--list-midi " + quoted(dir.file("band.mid")) + " --track 2-4");
    ASSERT_EQ(listed.status, 0) << listed.output;
    for (const char* row : {"format 1, 4 tracks, 1.0 s", "    1        -      0      -  -  \"Conductor\"",
                            "    2        1      3    yes  -  \"Chord\"", "    3        2      0    yes  7  \"Mixer\"",
                            "    4       10      2     no  10  \"Drums\" (drums)"})
        EXPECT_NE(listed.output.find(row), std::string::npos) << row << "\n" << listed.output;
}

TEST(RenderTool, OutputBeyondFullScaleIsCountedAndCanBeNormalized) {
    TempFolder dir;
    std::string demo = quoted(kZorvek) + " --demo --tail 0 --param Volume=1 ";
    ToolRun loud = render(demo + "--gain 12 -o " + quoted(dir.file("loud.wav")));
    ASSERT_EQ(loud.status, 0) << loud.output;
    testaudio::Wav wav = testaudio::readWav(dir.file("loud.wav"));
    long long beyond =
        std::count_if(wav.samples.begin(), wav.samples.end(), [](float v) { return std::fabs(v) > 1.0f; });
    ASSERT_GT(beyond, 0);
    EXPECT_NE(loud.output.find("warning: " + std::to_string(beyond) + " samples go beyond full scale"),
              std::string::npos)
        << loud.output;

    ToolRun clipped = render(demo + "--gain 12 --bits 16 -o " + quoted(dir.file("clipped.wav")));
    EXPECT_NE(clipped.output.find("warning: " + std::to_string(beyond) + " samples clipped at full scale"),
              std::string::npos)
        << clipped.output;

    ToolRun normalized = render(demo + "--normalize=-3 -o " + quoted(dir.file("normal.flac")));
    ASSERT_EQ(normalized.status, 0) << normalized.output;
    EXPECT_EQ(normalized.output.find("warning"), std::string::npos) << normalized.output;
    EXPECT_NE(normalized.output.find("peak -3.0 dBFS, normalized by"), std::string::npos) << normalized.output;
    testaudio::Wav normal = testaudio::readWav(dir.file("normal.flac"));
    float most =
        std::max(testaudio::peak(normal, 0, 0, normal.frames()), testaudio::peak(normal, 1, 0, normal.frames()));
    EXPECT_NEAR(most, std::pow(10.0f, -3.0f / 20.0f), 1.0f / (1 << 23));
}

TEST(RenderTool, OutputFormatFollowsTheFileName) {
    TempFolder dir;
    writeFile(dir.file("note.mid"), oneNote());
    struct Case {
        const char* name;
        const char* bits;
        int format;
    };
    const Case cases[] = {
        {"a.flac", "", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"b.FLAC", "--bits 16", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"c.ogg", "", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {"d.aiff", "", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
        {"e.wav", "--bits 24", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
    };
    for (const Case& c : cases) {
        ToolRun run = render(quoted(kZorvek) + " " + quoted(dir.file("note.mid")) + " --tail 0 " + c.bits + " -o " +
                             quoted(dir.file(c.name)));
        ASSERT_EQ(run.status, 0) << c.name << "\n" << run.output;
        testaudio::Wav wav = testaudio::readWav(dir.file(c.name));
        EXPECT_EQ(wav.format, c.format) << c.name;
        EXPECT_EQ(wav.frames(), 44100) << c.name;
    }
    // FLAC is lossless: the samples of the 24-bit WAV of the same render, give or take the
    // rounding of the conversion to 24 bits.
    testaudio::Wav flac = testaudio::readWav(dir.file("a.flac")), wav = testaudio::readWav(dir.file("e.wav"));
    ASSERT_EQ(flac.samples.size(), wav.samples.size());
    float most = 0.0f, difference = 0.0f;
    for (size_t i = 0; i < wav.samples.size(); ++i) {
        most = std::max(most, std::fabs(wav.samples[i]));
        difference = std::max(difference, std::fabs(flac.samples[i] - wav.samples[i]));
    }
    EXPECT_GT(most, 0.05f);
    EXPECT_LE(difference, 1.0f / (1 << 23));
}

TEST(RenderTool, PresetTextsRoundTripWhateverTheirLineEndings) {
    TempFolder dir;
    ToolRun saved = render(quoted(kZorvek) + " --program 4 --param Cutoff=0.25 --param Reso=0.7 --save-preset " +
                           quoted(dir.file("a.txt")));
    ASSERT_EQ(saved.status, 0) << saved.output;
    std::ifstream in(dir.file("a.txt"), std::ios::binary);
    std::string first((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(first.find("\nCutoff=0.25\n"), std::string::npos) << first;
    EXPECT_NE(first.find("\nReso=0.699999988\n"), std::string::npos) << first;
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 57);  // a comment and 56 parameters

    // The same text with CR LF and CR endings, comments and spaces reads back to the same state.
    std::string edited = "; from a.txt\r\n\r\n";
    for (char c : first) edited += c == '\n' ? std::string(edited.size() % 2 ? "\r" : "\r\n") : std::string(1, c);
    edited += "  # the end\r  Volume = 0.8";
    writeFile(dir.file("b.txt"), Bytes(edited.begin(), edited.end()));
    ToolRun again = render(quoted(kZorvek) + " --preset " + quoted(dir.file("b.txt")) + " --save-preset " +
                           quoted(dir.file("c.txt")));
    ASSERT_EQ(again.status, 0) << again.output;
    std::ifstream back(dir.file("c.txt"), std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(back)), std::istreambuf_iterator<char>()), first);
}

// The whole instrument on every instruction-set path this processor offers gives the
// same bits as the four-lane path, for every factory program (the demo phrase under
// ZORVEK_SIMD=sse2 and with no setting among them).
TEST(RenderTool, EveryInstructionSetPathRendersTheSameBits) {
    TempFolder dir;
    auto renderOn = [&](const char* simd, int program) {
        const std::string file = dir.file(std::string("p") + std::to_string(program) + "_" + simd + ".wav");
        if (*simd)
            setenv("ZORVEK_SIMD", simd, 1);
        else
            unsetenv("ZORVEK_SIMD");
        ToolRun run =
            render(quoted(kZorvek) + " --demo --tail 0.5 --program " + std::to_string(program) + " -o " + quoted(file));
        unsetenv("ZORVEK_SIMD");
        EXPECT_EQ(run.status, 0) << run.output;
        return testaudio::readWav(file).samples;
    };
    std::vector<const char*> paths = {""};
    for (SimdPath path : {SimdPath::Avx2, SimdPath::Avx512})
        if (simdSupported(path)) paths.push_back(simdPathName(path));
    for (int program = 0; program < 16; ++program) {
        const std::vector<float> reference = renderOn("sse2", program);
        ASSERT_FALSE(reference.empty());
        for (const char* simd : paths) {
            const std::vector<float> other = renderOn(simd, program);
            ASSERT_EQ(other.size(), reference.size());
            EXPECT_EQ(std::memcmp(other.data(), reference.data(), reference.size() * sizeof(float)), 0)
                << "program " << program << " on path '" << simd << "'";
        }
    }
}

TEST(RenderTool, BenchPrintsTheRealTimeFactorWithoutWritingAFile) {
    TempFolder dir;
    ToolRun run = render("--bench=5 " + quoted(kZorvek) + " --block 256");
    ASSERT_EQ(run.status, 0) << run.output;
    size_t factor = run.output.find("real-time factor ");
    size_t perFrame = run.output.find(" ns per sample frame");
    ASSERT_NE(factor, std::string::npos) << run.output;
    ASSERT_NE(perFrame, std::string::npos) << run.output;
    EXPECT_GT(std::strtod(run.output.c_str() + factor + 17, nullptr), 0.0) << run.output;
    size_t number = run.output.rfind(' ', perFrame - 1) + 1;
    EXPECT_GT(std::strtod(run.output.c_str() + number, nullptr), 0.0) << run.output;
    EXPECT_NE(run.output.find("5.000 s of audio at 44100 Hz, block 256"), std::string::npos) << run.output;
}

TEST(RenderTool, ErrorsAreOneLineAndAFailingStatus) {
    TempFolder dir;
    writeFile(dir.file("bad.mid"), Bytes{'R', 'I', 'F', 'F', 0, 0});
    writeFile(dir.file("empty.chunk"), Bytes{});
    writeFile(dir.file("text.chunk"), Bytes{'V', 'o', 'l', 'u', 'm', 'e', '=', '1', '\n'});
    writeFile(dir.file("bad.preset"), Bytes{'#', '\n', 'V', 'o', 'l', '\r', 'P', 'a', 'n', '=', '2'});
    // A note four days after the start.
    writeFile(dir.file("long.mid"),
              join({header(0, 1, 96), track(join({event(0x0FFFFFFF, {0x90, 60, 1}), endOfTrack()}))}));
    struct Case {
        std::string args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"/nonexistent/x.so -o " + dir.file("o.wav"), 1, "cannot load /nonexistent/x.so"},
        {quoted(kZorvek) + " " + dir.file("bad.mid") + " -o " + dir.file("o.wav"), 1, "no MThd header"},
        {quoted(kZorvek) + " " + dir.file("long.mid") + " -o " + dir.file("o.wav"), 1, "at most 6 are rendered"},
        {quoted(kZorvek) + " --param Nope=0.5 -o " + dir.file("o.wav"), 1, "no parameter 'Nope'"},
        {quoted(kZorvek) + " --program 16 -o " + dir.file("o.wav"), 1, "program 16 does not exist"},
        {quoted(kZorvek) + " -i " + dir.file("missing.wav") + " -o " + dir.file("o.wav"), 1, "cannot read"},
        {quoted(kZorvek) + " -o /nonexistent/dir/o.wav", 1, "cannot write /nonexistent/dir/o.wav"},
        {quoted(kZorvek) + " --block 0 -o " + dir.file("o.wav"), 2, "--block"},
        {quoted(kZorvek) + " -o " + dir.file("o.mp3"), 2, "must end in .wav, .flac, .ogg or .aiff"},
        {quoted(kZorvek) + " --chunk " + dir.file("text.chunk") + " -o " + dir.file("o.wav"), 1,
         "the plug-in refused " + dir.file("text.chunk") + " as a bank chunk"},
        {quoted(kZorvek) + " --preset-chunk " + dir.file("empty.chunk") + " -o " + dir.file("o.wav"), 1, "is empty"},
        {quoted(kZorvek) + " --preset " + dir.file("bad.preset") + " -o " + dir.file("o.wav"), 1,
         "bad.preset line 2: expected NAME=VALUE, got 'Vol'"},
        {quoted(kZorvek) + " --preset " + dir.file("bad.mid") + " -o " + dir.file("o.wav"), 1, "binary data"},
    };
    for (const Case& c : cases) {
        ToolRun run = render(c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.output;
        EXPECT_EQ(run.output.rfind("zorvek-render: ", 0), 0u) << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("o.wav")));
}

TEST(RenderTool, HelpDescribesTheCommandLine) {
    ToolRun run = render("--help");
    EXPECT_EQ(run.status, 0);
    for (const char* option :
         {"--output", "--midi",      "--demo",     "--rate",         "--block",   "--tempo",       "--tail",
          "--param",  "--program",   "--chunk",    "--preset-chunk", "--bits",    "--list-params", "--list-programs",
          "--bench",  "--input",     "--progress", "--track",        "--channel", "--ignore-cc",   "--list-midi",
          "--gain",   "--normalize", "--preset",   "--save-preset"})
        EXPECT_NE(run.output.find(option), std::string::npos) << option;
}
