// ZorvekCapture through its exported entry point, as a host drives it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "capture/ScopedCaptureObject.h"
#include "support/LoadedPlugin.h"

namespace {

constexpr size_t kBase[4] = {0, 32784, 65568, 98352};
constexpr size_t kRight = 16392;

struct Block {
    std::vector<float> inL, inR, outL, outR;
    explicit Block(int frames, float first = 1.0f) : inL(frames), inR(frames), outL(frames, 5.0f), outR(frames, 5.0f) {
        for (int i = 0; i < frames; ++i) {
            inL[i] = first + i;
            inR[i] = -(first + i);
        }
    }
    void run(LoadedPlugin& plugin, bool replacing) {
        float* in[2] = {inL.data(), inR.data()};
        float* out[2] = {outL.data(), outR.data()};
        AEffect* e = plugin.effect();
        (replacing ? e->processReplacing : e->process)(e, in, out, static_cast<int32_t>(inL.size()));
    }
};

std::string dispatchText(LoadedPlugin& plugin, int32_t opcode, int32_t index = 0, intptr_t value = 0) {
    char text[256] = {};
    plugin.dispatch(opcode, index, value, text);
    return text;
}

TEST(CapturePlugin, RecordNamesAndProgram) {
    ScopedCaptureObject object("record");
    LoadedPlugin plugin("ZorvekCapture.so");
    AEffect* e = plugin.effect();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(std::memcmp(&e->uniqueID, "ZKZK", 4), 0);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->numParams, 2);
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_EQ(e->flags, effFlagsHasEditor | effFlagsCanMono | effFlagsCanReplacing);
    EXPECT_EQ(plugin.dispatch(effGetPlugCategory), kPlugCategUnknown);
    EXPECT_EQ(dispatchText(plugin, effGetEffectName), "ZorvekCapture");
    EXPECT_EQ(dispatchText(plugin, effGetProductString), "ZorvekCapture");
    EXPECT_EQ(dispatchText(plugin, effGetVendorString), "Drennak");
    EXPECT_EQ(plugin.dispatch(effGetVendorVersion), 1000);

    char name[] = "Renamed";
    plugin.dispatch(effSetProgramName, 0, 0, name);
    EXPECT_EQ(dispatchText(plugin, effGetProgramName), "Default");
    char indexed[64] = {};
    EXPECT_EQ(plugin.dispatch(effGetProgramNameIndexed, 3, 7, indexed), 1);
    EXPECT_STREQ(indexed, "Default");
    VstPinProperties pin{};
    EXPECT_EQ(plugin.dispatch(effGetOutputProperties, 1, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "ZorvekCapture2");
}

TEST(CapturePlugin, ParametersAndDisplays) {
    ScopedCaptureObject object("parameters");
    LoadedPlugin plugin("ZorvekCapture.so");
    ASSERT_NE(plugin.effect(), nullptr);
    EXPECT_EQ(plugin.parameterName(0), "Mute");
    EXPECT_EQ(plugin.parameterName(1), "Channel");
    EXPECT_EQ(plugin.parameterName(2), "");
    EXPECT_EQ(dispatchText(plugin, effGetParamLabel, 1), "");
    // A fresh instance is muted on the first channel.
    EXPECT_EQ(plugin.getParameter(0), 1.0f);
    EXPECT_EQ(plugin.parameterDisplay(0), "On");
    EXPECT_EQ(plugin.getParameter(1), 0.0f);
    EXPECT_EQ(plugin.parameterDisplay(1), "1");

    const struct {
        float value;
        const char* display;
        float stored;
    } channels[] = {{0.0f, "1", 0.0f}, {0.2f, "2", 0.33333334f}, {0.5f, "3", 0.6666667f}, {1.0f, "4", 1.0f},
                    {7.0f, "4", 1.0f}, {-1.0f, "1", 0.0f},       {NAN, "1", 0.0f}};
    for (const auto& c : channels) {
        plugin.setParameter(1, c.value);
        EXPECT_EQ(plugin.parameterDisplay(1), c.display) << c.value;
        EXPECT_EQ(plugin.getParameter(1), c.stored) << c.value;
    }
    plugin.setParameter(0, 0.49f);
    EXPECT_EQ(plugin.getParameter(0), 0.0f);
    EXPECT_EQ(plugin.parameterDisplay(0), "Off");
    plugin.setParameter(0, 0.5f);
    EXPECT_EQ(plugin.getParameter(0), 1.0f);
    EXPECT_EQ(plugin.parameterDisplay(0), "On");

    plugin.setParameter(2, 1.0f);
    EXPECT_EQ(plugin.getParameter(2), 0.0f);
    char untouched[16] = "keep";
    plugin.dispatch(effGetParamDisplay, 2, 0, untouched);
    EXPECT_STREQ(untouched, "keep");
}

TEST(CapturePlugin, MutingSilencesOutputButCaptureGoesOn) {
    ScopedCaptureObject object("mute");
    LoadedPlugin plugin("ZorvekCapture.so");
    ASSERT_NE(plugin.effect(), nullptr);
    ASSERT_TRUE(object.map());
    plugin.setParameter(1, 2.0f / 3.0f);  // channel 3
    const size_t base = kBase[2];

    Block muted(64);
    muted.run(plugin, true);
    EXPECT_EQ(muted.outL, std::vector<float>(64, 0.0f));
    EXPECT_EQ(muted.outR, std::vector<float>(64, 0.0f));
    muted.outL.assign(64, 5.0f);
    muted.outR.assign(64, 5.0f);
    muted.run(plugin, false);
    EXPECT_EQ(muted.outL, std::vector<float>(64, 5.0f)) << "adding while muted leaves the outputs";
    EXPECT_EQ(muted.outR, std::vector<float>(64, 5.0f));
    EXPECT_EQ(object.indexAt(base), 128);
    EXPECT_EQ(object.indexAt(base + kRight), 128);
    EXPECT_EQ(object.sampleAt(base + 8 + 63 * 4), 64.0f);
    EXPECT_EQ(object.sampleAt(base + kRight + 8 + 127 * 4), -64.0f);
    EXPECT_EQ(object.indexAt(kBase[0]), 0) << "other channels stay untouched";

    plugin.setParameter(0, 0.0f);
    Block open(32, 100.0f);
    open.run(plugin, true);
    EXPECT_EQ(open.outL, open.inL);
    EXPECT_EQ(open.outR, open.inR);
    open.run(plugin, false);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(open.outL[i], 2.0f * open.inL[i]);
        EXPECT_EQ(open.outR[i], 2.0f * open.inR[i]);
    }
    EXPECT_EQ(object.indexAt(base), 192);
    EXPECT_EQ(object.sampleAt(base + 8 + 160 * 4), 100.0f);
}

TEST(CapturePlugin, TwoInstancesOnOneChannelInterleave) {
    ScopedCaptureObject object("interleave");
    LoadedPlugin a("ZorvekCapture.so");
    LoadedPlugin b("ZorvekCapture.so");
    ASSERT_NE(a.effect(), nullptr);
    ASSERT_NE(b.effect(), nullptr);
    ASSERT_TRUE(object.map());
    Block fromA(3, 1.0f), fromB(2, 50.0f);
    fromA.run(a, true);
    fromB.run(b, true);
    fromA.run(a, false);
    const float expected[] = {1, 2, 3, 50, 51, 1, 2, 3};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(object.sampleAt(8 + i * 4), expected[i]) << i;
        EXPECT_EQ(object.sampleAt(kRight + 8 + i * 4), -expected[i]) << i;
    }
    EXPECT_EQ(object.indexAt(0), 8);
    EXPECT_EQ(object.indexAt(kRight), 8);
}

TEST(CapturePlugin, WithoutSharedMemoryAudioStillPassesOrMutes) {
    ScopedCaptureObject object("unattached");
    setenv("ZORVEK_CAPTURE_SHM", "/no/such/object", 1);
    LoadedPlugin plugin("ZorvekCapture.so");
    ASSERT_NE(plugin.effect(), nullptr);
    Block block(16);
    block.run(plugin, true);
    EXPECT_EQ(block.outL, std::vector<float>(16, 0.0f));
    plugin.setParameter(0, 0.0f);
    block.run(plugin, true);
    EXPECT_EQ(block.outL, block.inL);
    EXPECT_EQ(block.outR, block.inR);
}

}  // namespace
