#include "render/PluginHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "TestAudio.h"
#include "render/AudioWriter.h"
#include "render/EventSchedule.h"
#include "render/InputAudio.h"
#include "render/Renderer.h"
#include "render/TempoMap.h"

using render::PluginHost;

namespace {

// A plug-in living in the test: records everything the host does to it.
struct FakePlugin {
    AEffect effect{};
    audioMasterCallback host = nullptr;
    intptr_t versionSeenAtCreation = 0;
    std::vector<int32_t> lifecycle;  // opcodes other than text queries and events
    float rateSet = 0.0f;
    intptr_t blockSet = 0;

    struct Received {
        size_t call;  // index of the processing call it came before
        int32_t deltaFrames;
        uint8_t status, key;
    };
    std::vector<Received> events;
    std::vector<int32_t> callFrames;
    std::vector<VstTimeInfo> times;
    std::vector<float> input0, input1;

    float parameters[2] = {0.5f, 0.5f};
    int32_t program = 0;
    std::vector<char> chunk;
    intptr_t chunkIsProgram = -1;
};

FakePlugin* next = nullptr;  // the instance the next entry call hands out

FakePlugin& self(AEffect* e) { return *static_cast<FakePlugin*>(e->object); }

intptr_t fakeDispatcher(AEffect* e, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    FakePlugin& p = self(e);
    switch (opcode) {
        case effGetParamName:
            std::strcpy(static_cast<char*>(ptr), index == 0 ? "Cut Off " : "Resonance");
            return 0;
        case effGetParamDisplay:
            std::snprintf(static_cast<char*>(ptr), 32, "%.2f", p.parameters[index]);
            return 0;
        case effGetProgramName:
            std::snprintf(static_cast<char*>(ptr), 32, "Preset %d", p.program);
            return 0;
        case effGetProgram:
            return p.program;
        case effSetProgram:
            p.program = static_cast<int32_t>(value);
            return 0;
        case effProcessEvents: {
            auto* list = static_cast<VstEvents*>(ptr);
            VstEvent** slots = list->events;
            for (int32_t i = 0; i < list->numEvents; ++i) {
                auto* m = reinterpret_cast<VstMidiEvent*>(slots[i]);
                EXPECT_EQ(m->type, kVstMidiType);
                EXPECT_EQ(m->byteSize, static_cast<int32_t>(sizeof(VstMidiEvent)));
                p.events.push_back({p.callFrames.size(), m->deltaFrames, static_cast<uint8_t>(m->midiData[0]),
                                    static_cast<uint8_t>(m->midiData[1])});
            }
            return 1;
        }
        case effSetChunk:
            p.chunk.assign(static_cast<char*>(ptr), static_cast<char*>(ptr) + value);
            p.chunkIsProgram = index;
            return 1;
        case effSetSampleRate:
            p.rateSet = opt;
            break;
        case effSetBlockSize:
            p.blockSet = value;
            break;
        case effMainsChanged:
            p.lifecycle.push_back(value ? 1000 : 1001);  // resume / suspend markers
            return 0;
        default:
            break;
    }
    p.lifecycle.push_back(opcode);
    return 0;
}

void record(AEffect* e, float** inputs, int32_t frames) {
    FakePlugin& p = self(e);
    p.callFrames.push_back(frames);
    auto* time = reinterpret_cast<VstTimeInfo*>(
        p.host(e, audioMasterGetTime, 0, kVstPpqPosValid | kVstTempoValid, nullptr, 0.0f));
    p.times.push_back(time ? *time : VstTimeInfo{});
    if (e->numInputs > 1) {
        p.input0.insert(p.input0.end(), inputs[0], inputs[0] + frames);
        p.input1.insert(p.input1.end(), inputs[1], inputs[1] + frames);
    }
}

void fakeReplacing(AEffect* e, float** inputs, float** outputs, int32_t frames) {
    record(e, inputs, frames);
    for (int32_t c = 0; c < e->numOutputs; ++c) std::fill(outputs[c], outputs[c] + frames, 0.25f * (c + 1));
}

void fakeAccumulating(AEffect* e, float** inputs, float** outputs, int32_t frames) {
    record(e, inputs, frames);
    for (int32_t c = 0; c < e->numOutputs; ++c)
        for (int32_t i = 0; i < frames; ++i) outputs[c][i] += 0.25f * (c + 1);
}

void fakeSetParameter(AEffect* e, int32_t index, float value) { self(e).parameters[index] = value; }
float fakeGetParameter(AEffect* e, int32_t index) { return self(e).parameters[index]; }

AEffect* fakeEntry(audioMasterCallback host) {
    FakePlugin& p = *next;
    p.host = host;
    p.versionSeenAtCreation = host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f);
    if (p.effect.magic == 0) p.effect.magic = kEffectMagic;
    p.effect.dispatcher = fakeDispatcher;
    p.effect.setParameter = fakeSetParameter;
    p.effect.getParameter = fakeGetParameter;
    p.effect.object = &p;
    p.effect.numParams = 2;
    p.effect.numPrograms = 4;
    return &p.effect;
}

AEffect* refusingEntry(audioMasterCallback) { return nullptr; }

// A fake with the given channels and processing functions, created in a host.
struct Fixture {
    FakePlugin fake;
    PluginHost host;
    explicit Fixture(int32_t inputs = 0, int32_t outputs = 2, bool replacing = true) {
        fake.effect.numInputs = inputs;
        fake.effect.numOutputs = outputs;
        if (replacing) {
            fake.effect.flags = effFlagsCanReplacing;
            fake.effect.processReplacing = fakeReplacing;
        }
        fake.effect.process = fakeAccumulating;
        next = &fake;
        std::string error;
        EXPECT_TRUE(host.create(fakeEntry, error)) << error;
    }
};

render::MidiSequence oneTickPerFrame(std::initializer_list<uint64_t> ticks) {
    render::MidiSequence sequence;
    sequence.ticksPerQuarter = 22050;  // at 120 beats per minute and 44100 Hz
    uint8_t key = 60;
    for (uint64_t tick : ticks) sequence.messages.push_back({tick, {0x90, key++, 100}, 3});
    sequence.endTick = ticks.size() ? *std::max_element(ticks.begin(), ticks.end()) : 0;
    return sequence;
}

render::OutputFormat wavFormat(int bits) {
    render::OutputFormat format;
    std::string error;
    EXPECT_TRUE(render::OutputFormat::forPath("x.wav", bits, format, error)) << error;
    return format;
}

}  // namespace

TEST(PluginHost, DrivesTheLifecycleInHostOrder) {
    Fixture f;
    f.host.configure(48000.0, 256);
    f.host.resume();
    f.host.resume();  // a second resume changes nothing
    f.host.close();
    EXPECT_EQ(f.fake.versionSeenAtCreation, PluginHost::kHostVersion);
    const std::vector<int32_t> expected = {effOpen, effSetSampleRate, effSetBlockSize,
                                           1000,    effStartProcess,  effStopProcess,
                                           1001,    effClose};
    EXPECT_EQ(f.fake.lifecycle, expected);
    EXPECT_EQ(f.fake.rateSet, 48000.0f);
    EXPECT_EQ(f.fake.blockSet, 256);
}

TEST(PluginHost, AnswersThePluginsCalls) {
    Fixture f;
    f.host.configure(96000.0, 128);
    AEffect* e = &f.fake.effect;
    audioMasterCallback call = f.fake.host;
    EXPECT_EQ(call(e, audioMasterVersion, 0, 0, nullptr, 0.0f), 2400);
    EXPECT_EQ(call(e, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f), 96000);
    EXPECT_EQ(call(e, audioMasterGetBlockSize, 0, 0, nullptr, 0.0f), 128);
    EXPECT_EQ(call(e, audioMasterWantMidi, 0, 1, nullptr, 0.0f), 1);
    EXPECT_TRUE(f.host.wantsMidi());
    call(e, audioMasterAutomate, 1, 0, nullptr, 0.3f);
    call(e, audioMasterAutomate, 0, 0, nullptr, 0.7f);
    EXPECT_EQ(f.host.automationCount(), 2);
    EXPECT_EQ(call(e, audioMasterCanDo, 0, 0, const_cast<char*>("sendVstEvents"), 0.0f), 1);
    EXPECT_EQ(call(e, audioMasterCanDo, 0, 0, const_cast<char*>("sendVstTimeInfo"), 0.0f), 1);
    EXPECT_EQ(call(e, audioMasterCanDo, 0, 0, const_cast<char*>("sendVstEvent"), 0.0f), -1);
    EXPECT_EQ(call(e, audioMasterCanDo, 0, 0, nullptr, 0.0f), 0);
    char text[kVstMaxVendorStrLen];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(call(e, audioMasterGetVendorString, 0, 0, text, 0.0f), 1);
    EXPECT_STREQ(text, "Zorvek");
    EXPECT_EQ(call(e, audioMasterGetProductString, 0, 0, text, 0.0f), 1);
    EXPECT_STREQ(text, "zorvek-render");
    EXPECT_EQ(call(e, audioMasterSizeWindow, 100, 100, nullptr, 0.0f), 0);

    f.host.setTime(4410.0, 0.2, 120.0);
    auto* time = reinterpret_cast<VstTimeInfo*>(call(e, audioMasterGetTime, 0, 0x600, nullptr, 0.0f));
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->samplePos, 4410.0);
    EXPECT_EQ(time->sampleRate, 96000.0);
    EXPECT_EQ(time->ppqPos, 0.2);
    EXPECT_EQ(time->tempo, 120.0);
    EXPECT_EQ(time->flags, kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid);
}

TEST(PluginHost, FindsParametersByNameIgnoringCaseAndPadding) {
    Fixture f;
    EXPECT_EQ(f.host.findParameter("cut off"), 0);
    EXPECT_EQ(f.host.findParameter("RESONANCE "), 1);
    EXPECT_EQ(f.host.findParameter("Reso"), -1);
    EXPECT_EQ(f.host.parameterName(0), "Cut Off");
    f.host.setParameter(1, 0.125f);
    EXPECT_EQ(f.host.parameterDisplay(1), "0.12");
    EXPECT_EQ(f.host.getParameter(1), 0.125f);
}

TEST(PluginHost, ProgramNamesFallBackToSelectingEachProgram) {
    Fixture f;
    f.host.setProgram(1);
    EXPECT_EQ(f.host.programName(3), "Preset 3");
    EXPECT_EQ(f.fake.program, 1);  // the selection is restored
}

TEST(PluginHost, HandsChunksOverAsBankOrProgram) {
    Fixture f;
    std::vector<char> data = {'a', 'b', 0, 'c'};
    f.host.setChunk(data, false);
    EXPECT_EQ(f.fake.chunk, data);
    EXPECT_EQ(f.fake.chunkIsProgram, 0);
    f.host.setChunk(data, true);
    EXPECT_EQ(f.fake.chunkIsProgram, 1);
}

TEST(PluginHost, AccumulatingPluginsGetZeroedOutputs) {
    Fixture f(0, 2, false);
    std::vector<float> left(64, 5.0f), right(64, -3.0f);
    float* outputs[2] = {left.data(), right.data()};
    f.host.process(nullptr, outputs, 64);
    EXPECT_TRUE(std::all_of(left.begin(), left.end(), [](float v) { return v == 0.25f; }));
    EXPECT_TRUE(std::all_of(right.begin(), right.end(), [](float v) { return v == 0.5f; }));
}

TEST(PluginHost, RefusesWhatIsNoUsablePlugin) {
    std::string error;
    PluginHost host;
    EXPECT_FALSE(host.create(refusingEntry, error));
    EXPECT_NE(error.find("declined"), std::string::npos) << error;

    FakePlugin garbage;
    garbage.effect.magic = 0x12345678;
    next = &garbage;
    EXPECT_FALSE(host.create(fakeEntry, error));
    EXPECT_NE(error.find("not a plug-in record"), std::string::npos) << error;

    FakePlugin silent;  // no outputs: opened and closed again, never used
    silent.effect.processReplacing = fakeReplacing;
    silent.effect.flags = effFlagsCanReplacing;
    next = &silent;
    EXPECT_FALSE(host.create(fakeEntry, error));
    EXPECT_NE(error.find("no audio outputs"), std::string::npos) << error;
    EXPECT_EQ(silent.lifecycle, std::vector<int32_t>{effClose});

    FakePlugin huge;
    huge.effect.numOutputs = 100000;
    next = &huge;
    EXPECT_FALSE(host.create(fakeEntry, error));
    EXPECT_NE(error.find("100000 outputs"), std::string::npos) << error;

    EXPECT_FALSE(host.load("/nonexistent/plugin.so", error));
    EXPECT_NE(error.find("cannot load /nonexistent/plugin.so"), std::string::npos) << error;
    EXPECT_FALSE(host.load("libm.so.6", error));
    EXPECT_NE(error.find("not a VST 2 plug-in"), std::string::npos) << error;
}

TEST(Renderer, DeliversEventsWithTheirFrameInTheBlockAndTheTransport) {
    Fixture f;
    f.host.configure(44100.0, 512);
    f.host.resume();
    render::MidiSequence sequence = oneTickPerFrame({0, 100, 511, 512, 1000});
    render::TempoMap tempo(sequence);
    render::EventSchedule schedule(sequence, tempo, 44100.0);
    render::Renderer renderer(f.host, schedule, tempo, 44100.0, 512);
    std::string error;
    ASSERT_TRUE(renderer.run(1100, nullptr, nullptr, nullptr, error)) << error;

    EXPECT_EQ(f.fake.callFrames, (std::vector<int32_t>{512, 512, 76}));
    ASSERT_EQ(f.fake.events.size(), 5u);
    const struct {
        size_t call;
        int32_t delta;
    } expected[] = {{0, 0}, {0, 100}, {0, 511}, {1, 0}, {1, 488}};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(f.fake.events[i].call, expected[i].call) << i;
        EXPECT_EQ(f.fake.events[i].deltaFrames, expected[i].delta) << i;
        EXPECT_EQ(f.fake.events[i].key, 60 + i) << i;
    }
    ASSERT_EQ(f.fake.times.size(), 3u);
    for (size_t call = 0; call < 3; ++call) {
        const VstTimeInfo& t = f.fake.times[call];
        EXPECT_EQ(t.samplePos, 512.0 * call);
        EXPECT_DOUBLE_EQ(t.ppqPos, 512.0 * call / 22050.0);
        EXPECT_EQ(t.tempo, 120.0);
        EXPECT_EQ(t.sampleRate, 44100.0);
        EXPECT_TRUE(t.flags & kVstTransportPlaying);
    }
    EXPECT_EQ(renderer.stats().frames, 1100);
    EXPECT_GE(renderer.stats().pluginCpuSeconds, 0.0);
}

TEST(Renderer, FeedsInputAudioThenSilenceAndWritesStereo) {
    TempFolder dir;
    std::vector<float> ramp(700);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i + 1) / 1024.0f;
    testaudio::writeMonoWav(dir.file("in.wav"), ramp, 44100);

    Fixture f(2, 1);  // two inputs, one output
    f.host.configure(44100.0, 256);
    render::InputAudio input;
    std::string error;
    ASSERT_TRUE(input.open(dir.file("in.wav"), error)) << error;
    EXPECT_EQ(input.frames(), 700);
    input.reserve(256);
    render::AudioWriter writer;
    ASSERT_TRUE(writer.open(dir.file("out.wav"), 44100, wavFormat(32), 256, error)) << error;

    render::MidiSequence none;
    render::TempoMap tempo(none);
    render::EventSchedule schedule(none, tempo, 44100.0);
    render::Renderer renderer(f.host, schedule, tempo, 44100.0, 256);
    ASSERT_TRUE(renderer.run(1000, &input, &writer, nullptr, error)) << error;
    ASSERT_TRUE(writer.close(error)) << error;

    ASSERT_EQ(f.fake.input0.size(), 1000u);
    for (size_t i = 0; i < 1000; ++i) {
        float want = i < 700 ? ramp[i] : 0.0f;
        ASSERT_EQ(f.fake.input0[i], want) << i;
        ASSERT_EQ(f.fake.input1[i], want) << i;  // a mono file feeds every input
    }
    EXPECT_TRUE(f.fake.events.empty());
    testaudio::Wav out = testaudio::readWav(dir.file("out.wav"));
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(out.format, SF_FORMAT_WAVEX | SF_FORMAT_FLOAT);
    ASSERT_EQ(out.frames(), 1000);
    EXPECT_TRUE(std::all_of(out.samples.begin(), out.samples.end(), [](float v) { return v == 0.25f; }));
    EXPECT_EQ(writer.peak(), 0.25f);
}

TEST(AudioWriter, ReplacesNonFiniteSamplesAndClipsIntegerFormats) {
    TempFolder dir;
    render::AudioWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(dir.file("x.wav"), 48000, wavFormat(16), 4, error)) << error;
    const float left[4] = {0.5f, std::nanf(""), 2.0f, -4.0f};
    const float right[4] = {HUGE_VALF, -0.25f, 0.0f, 1.0f};
    ASSERT_TRUE(writer.write(left, right, 4, error)) << error;
    ASSERT_TRUE(writer.close(error)) << error;
    EXPECT_EQ(writer.nonFiniteSamples(), 2);
    EXPECT_EQ(writer.peak(), 4.0f);
    testaudio::Wav wav = testaudio::readWav(dir.file("x.wav"));
    EXPECT_EQ(wav.sampleRate, 48000);
    EXPECT_EQ(wav.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const float expected[8] = {0.5f, 0.0f, 0.0f, -0.25f, 32767.0f / 32768.0f, 0.0f, -1.0f, 32767.0f / 32768.0f};
    ASSERT_EQ(wav.samples.size(), 8u);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(wav.samples[i], expected[i]) << i;

    EXPECT_FALSE(writer.open("/nonexistent/dir/x.wav", 44100, wavFormat(32), 4, error));
    EXPECT_NE(error.find("cannot write /nonexistent/dir/x.wav"), std::string::npos) << error;
}
