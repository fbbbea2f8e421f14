// The processing driver: sub-blocks, control ticks, host time, event timing, master
// output, with a recording module in the rack.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/DspModule.h"
#include "dsp/FloatingPointGuard.h"
#include "framework/PluginBase.h"
#include "support/EventList.h"
#include "support/HostCallback.h"

namespace {

// Records every sub-block and writes a constant frame into its output.
class RecordingModule : public DspModule {
public:
    RecordingModule(ModuleRack& rack, ModuleContext& context) : DspModule(rack, context) {}
    void process(int32_t frames, int32_t tick) override {
        calls.push_back(
            {frames, tick, context.tempoLength.load(), context.tempoFactor.load(), context.quarterNotePosition.load()});
        for (int k = 0; k < frames; ++k) {
            output.data[2 * k] = left;
            output.data[2 * k + 1] = right;
        }
    }
    void setSampleRate(int32_t r) override {
        DspModule::setSampleRate(r);
        rates.push_back(r);
    }
    struct Call {
        int32_t frames, tick, tempoLength;
        float tempoFactor, position;
    };
    std::vector<Call> calls;
    std::vector<int32_t> rates;
    StereoBuffer output;
    float left = 0.5f, right = 0.25f;
};

class TestPlugin : public PluginBase {
public:
    TestPlugin()
        : PluginBase(testhost::callback, kNumAutomatable, kVocoderParams, "Test", "Test", "Test"),
          module(rack(), context()) {
        rack().setFinalOutput(&module.output);
        setSampleRate(44100.0f);
    }
    RecordingModule module;
};

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override { testhost::host().clear(); }
    void TearDown() override { testhost::host().clear(); }

    void render(TestPlugin& plugin, int frames, bool replacing = true) {
        left.assign(frames, replacing ? 7.0f : 1.0f);
        right.assign(frames, replacing ? 7.0f : 1.0f);
        float* outputs[2] = {left.data(), right.data()};
        if (replacing)
            plugin.processReplacing(nullptr, outputs, frames);
        else
            plugin.process(nullptr, outputs, frames);
    }

    static void send(TestPlugin& plugin, const std::vector<VstMidiEvent>& events) {
        EventList list(events.size());
        list.events = events;
        plugin.processEvents(list.build(events.size()));
    }

    static VstMidiEvent midi(int status, int data1, int data2, int32_t delta) {
        return EventList::midi(status, data1, data2, delta);
    }

    std::vector<float> left, right;
};

TEST_F(DriverTest, CutsHostBlocksIntoSubBlocksOfTheLimit) {
    TestPlugin plugin;
    EXPECT_EQ(plugin.subBlockLimit(), 88);
    EXPECT_EQ(plugin.controlPeriod(), 22579);
    plugin.module.calls.clear();
    render(plugin, 1000);
    ASSERT_EQ(plugin.module.calls.size(), 12u);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(plugin.module.calls[i].frames, 88);
    EXPECT_EQ(plugin.module.calls[11].frames, 32);
}

TEST_F(DriverTest, SampleRateSetsLimitPeriodAndTellsEveryModule) {
    TestPlugin plugin;
    plugin.setSampleRate(96000.0f);
    EXPECT_EQ(plugin.subBlockLimit(), 192);
    EXPECT_EQ(plugin.integerSampleRate(), 96000);
    EXPECT_EQ(plugin.module.rates.back(), 96000);
    plugin.setSampleRate(192000.0f);
    EXPECT_EQ(plugin.subBlockLimit(), 256);
    plugin.setSampleRate(48000.0f);
    EXPECT_EQ(plugin.subBlockLimit(), 96);
    EXPECT_EQ(plugin.controlPeriod(), 24576);
}

TEST_F(DriverTest, TicksComeAbout500TimesPerSecond) {
    TestPlugin plugin;
    plugin.module.calls.clear();
    // Short host blocks: several sub-blocks pass between ticks.
    for (int i = 0; i < 44100 / 32; ++i) render(plugin, 32);
    int ticks = 0;
    for (const auto& call : plugin.module.calls) ticks += call.tick;
    EXPECT_NEAR(ticks, 500, 1);
    // After a rate change the counter holds a full period (22579 / 256 = 88.2 frames):
    // two full sub-blocks pass before the first tick.
    plugin.setSampleRate(44100.0f);
    plugin.module.calls.clear();
    render(plugin, 88 * 4);
    EXPECT_EQ(plugin.module.calls[0].tick, 0);
    EXPECT_EQ(plugin.module.calls[1].tick, 0);
    EXPECT_EQ(plugin.module.calls[2].tick, 1);
    EXPECT_EQ(plugin.module.calls[3].tick, 1);
}

TEST_F(DriverTest, HostTimeAndItsFallback) {
    TestPlugin plugin;
    plugin.module.calls.clear();
    render(plugin, 88);
    EXPECT_EQ(plugin.module.calls[0].tempoLength, 88200);
    EXPECT_FLOAT_EQ(plugin.module.calls[0].tempoFactor, 0.004f);
    EXPECT_EQ(plugin.module.calls[0].position, 0.0f);

    VstTimeInfo info{};
    info.tempo = 90.0;
    info.ppqPos = 3.5;
    testhost::host().time = &info;
    plugin.module.calls.clear();
    render(plugin, 88);
    EXPECT_EQ(plugin.module.calls[0].tempoLength, 66150);  // 44100 x 90 / 60
    EXPECT_EQ(plugin.module.calls[0].tempoFactor, 90.0f * (1.0f / 30000.0f));
    EXPECT_EQ(plugin.module.calls[0].position, 3.5f);

    info.tempo = 0.0;
    plugin.module.calls.clear();
    render(plugin, 88);
    EXPECT_EQ(plugin.module.calls[0].tempoLength, 0);
}

TEST_F(DriverTest, EventsApplyAfterTheSubBlockTheirFrameFallsIn) {
    TestPlugin plugin;
    // The queue is checked against the frames rendered so far: up to frame 88
    // after the first sub-block, frame 89 on after the second.
    send(plugin, {midi(0x90, 69, 100, 0), midi(0x90, 60, 100, 88), midi(0x90, 62, 100, 89)});
    plugin.module.calls.clear();
    left.assign(88, 0.0f);
    right.assign(88, 0.0f);
    float* outputs[2] = {left.data(), right.data()};
    plugin.processReplacing(nullptr, outputs, 88);
    int held = 0;
    for (int v = 0; v < kVoices; ++v) held += plugin.keyboard().keyVelocity[v] > 0.0f;
    EXPECT_EQ(held, 2);
    plugin.processReplacing(nullptr, outputs, 88);
    held = 0;
    for (int v = 0; v < kVoices; ++v) held += plugin.keyboard().keyVelocity[v] > 0.0f;
    EXPECT_EQ(held, 3);
}

TEST_F(DriverTest, EventsLeftOverAreHandledByTheNextEventCall) {
    TestPlugin plugin;
    send(plugin, {midi(0x90, 69, 100, 5000)});
    render(plugin, 100);
    EXPECT_EQ(plugin.keyboard().keyVelocity[7], 0.0f);
    send(plugin, {});
    EXPECT_GT(plugin.keyboard().keyVelocity[7], 0.0f);
}

TEST_F(DriverTest, QueueHoldsAtMost600EventsAndIgnoresOtherTypes) {
    TestPlugin plugin;
    std::vector<VstMidiEvent> events;
    for (int i = 0; i < 700; ++i) events.push_back(midi(0xB0, 1, 0, 0));
    // Note-ons beyond the queue are dropped, never written past it.
    events.push_back(midi(0x90, 69, 100, 0));
    VstMidiEvent sysex = midi(0x90, 70, 100, 0);
    sysex.type = kVstSysExType;
    events.insert(events.begin(), sysex);
    send(plugin, events);
    render(plugin, 88);
    for (int v = 0; v < kVoices; ++v) EXPECT_EQ(plugin.keyboard().keyVelocity[v], 0.0f);
}

TEST_F(DriverTest, NullAndNegativeEventListsChangeNothing) {
    TestPlugin plugin;
    EXPECT_EQ(plugin.processEvents(nullptr), 1);
    VstEvents list{};
    list.numEvents = -5;
    EXPECT_EQ(plugin.processEvents(&list), 1);
    render(plugin, 88);
    EXPECT_EQ(plugin.keyboard().active[7], 0);
}

TEST_F(DriverTest, MasterOutputAppliesVolumeAndPan) {
    TestPlugin plugin;
    plugin.setParameter(0, 0.5f);   // gain 1.0
    plugin.setParameter(1, 0.25f);  // left 0.75, right 0.25
    render(plugin, 37);
    for (int k = 0; k < 37; ++k) {
        ASSERT_EQ(left[k], 0.5f * 0.75f);
        ASSERT_EQ(right[k], 0.25f * 0.25f);
    }
    render(plugin, 37, false);  // adding into 1.0
    for (int k = 0; k < 37; ++k) {
        ASSERT_EQ(left[k], 1.0f + 0.5f * 0.75f);
        ASSERT_EQ(right[k], 1.0f + 0.25f * 0.25f);
    }
}

TEST_F(DriverTest, VolumeAndPanJumpsRampAcrossTheSubBlockWhereTheyChangeUnlessResumed) {
    // The module writes 0.5 left and 0.25 right; Volume 0.5 is gain 1.
    struct Jump {
        int parameter;
        float from, to;
        bool resume;                // between the jump and the next block
        float wantLeft, wantRight;  // the gains after the jump
    };
    const Jump jumps[] = {{0, 0.0f, 0.5f, false, 0.5f, 0.5f},
                          {0, 1.0f, 0.25f, false, 0.25f, 0.25f},
                          {1, 0.0f, 1.0f, false, 0.0f, 1.0f},
                          {0, 0.0f, 0.5f, true, 0.5f, 0.5f}};
    for (const Jump& jump : jumps) {
        TestPlugin plugin;
        plugin.setParameter(0, 0.5f);
        plugin.setParameter(1, 0.5f);
        plugin.setParameter(jump.parameter, jump.from);
        render(plugin, 88);
        const float fromLeft = left[87] / 0.5f, fromRight = right[87] / 0.25f;
        plugin.setParameter(jump.parameter, jump.to);
        if (jump.resume) plugin.resume();
        render(plugin, 176);
        // A ramp over the first sub-block; from its end on (or at once after a resume)
        // steady gains give exactly source x gain.
        const int ramp = jump.resume ? 0 : 87;
        for (int k = 0; k < ramp; ++k) {
            const float t = static_cast<float>(k + 1) / 88.0f;
            ASSERT_NEAR(left[k], 0.5f * (fromLeft + (jump.wantLeft - fromLeft) * t), 1e-6f) << k;
            ASSERT_NEAR(right[k], 0.25f * (fromRight + (jump.wantRight - fromRight) * t), 1e-6f) << k;
        }
        for (int k = ramp; k < 176; ++k) {
            ASSERT_EQ(left[k], 0.5f * jump.wantLeft) << k;
            ASSERT_EQ(right[k], 0.25f * jump.wantRight) << k;
        }
    }
}

TEST_F(DriverTest, RestoresTheCallersFloatingPointState) {
    TestPlugin plugin;
    const uint64_t before = FloatingPointGuard::controlState();
    render(plugin, 100);
    EXPECT_EQ(FloatingPointGuard::controlState(), before);
}

}  // namespace
