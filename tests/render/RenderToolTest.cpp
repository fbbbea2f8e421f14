// Runs the built zorvek-render as a user does, through third-party plug-ins and our own.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "MidiBytes.h"
#include "TestAudio.h"

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
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
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
    EXPECT_EQ(wav.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
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

TEST(RenderTool, RendersTheDemoThroughZorvek2) {
    TempFolder dir;
    ToolRun run = render(quoted(kZorvek) + " --demo -o " + quoted(dir.file("demo.wav")));
    ASSERT_EQ(run.status, 0) << run.output;
    testaudio::Wav wav = testaudio::readWav(dir.file("demo.wav"));
    EXPECT_EQ(wav.channels, 2);
    ASSERT_EQ(wav.frames(), 441000);  // 8 s of phrase and 2 s of tail
    EXPECT_TRUE(std::all_of(wav.samples.begin(), wav.samples.end(), [](float v) { return std::isfinite(v); }));
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
    // A note four days after the start.
    writeFile(dir.file("long.mid"),
              join({header(0, 1, 96), track(join({event(0x0FFFFFFF, {0x90, 60, 1}), endOfTrack()}))}));
    struct Case {
        std::string args;
        int status;
        const char* message;
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
    for (const char* option : {"--output", "--midi", "--demo", "--rate", "--block", "--tempo", "--tail", "--param",
                               "--program", "--chunk", "--preset-chunk", "--bits", "--list-params",
                               "--list-programs", "--bench", "--input", "--progress"})
        EXPECT_NE(run.output.find(option), std::string::npos) << option;
}
