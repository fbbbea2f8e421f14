// Zorvek2.so loaded through dlopen and `main`, as a host loads it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "support/LoadedPlugin.h"

namespace {

TEST(VocoderAbi, RecordFields) {
    LoadedPlugin plugin("Zorvek2.so");
    AEffect* e = plugin.effect();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(e->numPrograms, 16);
    EXPECT_EQ(e->numParams, 56);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_TRUE(e->flags & effFlagsCanReplacing);
    EXPECT_TRUE(e->flags & effFlagsProgramChunks);
    EXPECT_TRUE(e->flags & effFlagsIsSynth);
    EXPECT_FALSE(e->flags & (effFlagsHasVu | effFlagsHasClip));
    EXPECT_EQ(e->uniqueID, 0x31323234);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_NE(e->processReplacing, nullptr);
}

TEST(VocoderAbi, HostTooOldGetsNoPlugin) {
    LoadedPlugin plugin("Zorvek2.so", 0);
    EXPECT_EQ(plugin.effect(), nullptr);
}

TEST(VocoderAbi, DispatcherAnswers) {
    LoadedPlugin plugin("Zorvek2.so");
    EXPECT_EQ(plugin.dispatch(effGetVstVersion), 2300);
    EXPECT_EQ(plugin.dispatch(effGetVendorVersion), 1000);
    EXPECT_EQ(plugin.dispatch(effIdentify), 0x4E764566);
    EXPECT_EQ(plugin.dispatch(effGetPlugCategory), kPlugCategSynth);
    EXPECT_EQ(plugin.dispatch(effKeysRequired), 1);
    EXPECT_EQ(plugin.dispatch(effCanBeAutomated, 55), 1);
    EXPECT_EQ(plugin.dispatch(effGetNumProgramCategories), 1);
    EXPECT_EQ(plugin.dispatch(effConnectInput), 1);
    EXPECT_EQ(plugin.dispatch(effSetTotalSampleToProcess, 0, 1234), 1234);
    EXPECT_EQ(plugin.dispatch(effGetTailSize), 0);
    EXPECT_EQ(plugin.dispatch(200), 0);

    char text[256] = {};
    EXPECT_EQ(plugin.dispatch(effGetEffectName, 0, 0, text), 1);
    EXPECT_STREQ(text, "Zorvek2");
    EXPECT_EQ(plugin.dispatch(effGetProductString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Zorvek2");
    EXPECT_EQ(plugin.dispatch(effGetVendorString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Drennak");
}

TEST(VocoderAbi, CanDoMatchesExactly) {
    LoadedPlugin plugin("Zorvek2.so");
    char yes1[] = "receiveVstEvents", yes2[] = "receiveVstMidiEvent", yes3[] = "midiProgramNames";
    char no1[] = "sendVstEvents", no2[] = "receiveVstEvent";
    EXPECT_EQ(plugin.dispatch(effCanDo, 0, 0, yes1), 1);
    EXPECT_EQ(plugin.dispatch(effCanDo, 0, 0, yes2), 1);
    EXPECT_EQ(plugin.dispatch(effCanDo, 0, 0, yes3), 1);
    EXPECT_EQ(plugin.dispatch(effCanDo, 0, 0, no1), -1);
    EXPECT_EQ(plugin.dispatch(effCanDo, 0, 0, no2), -1);
    EXPECT_EQ(plugin.dispatch(effCanDo, 0, 0, nullptr), -1);
}

TEST(VocoderAbi, NullPointersFromTheHostChangeNothing) {
    LoadedPlugin plugin("Zorvek2.so");
    for (int32_t opcode : {effGetProgramName, effSetProgramName, effGetParamName, effGetParamDisplay, effGetParamLabel,
                           effGetEffectName, effGetVendorString, effGetProductString, effProcessEvents,
                           effGetProgramNameIndexed, effGetOutputProperties, effGetMidiProgramName,
                           effGetMidiProgramCategory, effGetMidiKeyName, effEditGetRect, effGetChunk, effSetChunk})
        EXPECT_LE(plugin.dispatch(opcode, 0, 0, nullptr), 0) << "opcode " << opcode;
    EXPECT_EQ(plugin.dispatch(effGetCurrentMidiProgram, 0, 0, nullptr), -1);
    EXPECT_EQ(plugin.getParameter(0), 0.8f);
}

TEST(VocoderAbi, OutputProperties) {
    LoadedPlugin plugin("Zorvek2.so");
    VstPinProperties pin{};
    EXPECT_EQ(plugin.dispatch(effGetOutputProperties, 1, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "Zorvek22");
    EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
    VstPinProperties untouched{};
    std::memset(&untouched, 0x5A, sizeof untouched);
    VstPinProperties copy = untouched;
    EXPECT_EQ(plugin.dispatch(effGetOutputProperties, 2, 0, &untouched), 0);
    EXPECT_EQ(std::memcmp(&untouched, &copy, sizeof copy), 0);
}

TEST(VocoderAbi, ParameterNamesAndRawDisplays) {
    LoadedPlugin plugin("Zorvek2.so");
    EXPECT_EQ(plugin.parameterName(0), "Volume");
    EXPECT_EQ(plugin.parameterName(20), "Cutoff");
    EXPECT_EQ(plugin.parameterName(55), "MixVoc");
    EXPECT_EQ(plugin.parameterName(56), "");  // editor-only entry
    EXPECT_EQ(plugin.parameterName(-1), "");
    EXPECT_EQ(plugin.parameterDisplay(0), "0.800000");
    plugin.setParameter(14, 1.0f);
    EXPECT_EQ(plugin.parameterDisplay(14), "1.000000");
    plugin.setParameter(1, 0.7f);
    EXPECT_EQ(plugin.parameterDisplay(1), "0.699999");
    EXPECT_EQ(plugin.parameterDisplay(60), "");
    char label[64] = "junk";
    plugin.dispatch(effGetParamLabel, 3, 0, label);
    EXPECT_STREQ(label, "");
}

TEST(VocoderAbi, ParameterClampingAndOutOfRangeIndices) {
    LoadedPlugin plugin("Zorvek2.so");
    plugin.setParameter(0, 1.7f);
    EXPECT_EQ(plugin.getParameter(0), 1.0f);
    plugin.setParameter(0, -0.2f);
    EXPECT_EQ(plugin.getParameter(0), 0.0f);
    plugin.setParameter(0, std::numeric_limits<float>::infinity());
    EXPECT_EQ(plugin.getParameter(0), 1.0f);
    plugin.setParameter(0, std::nanf(""));
    EXPECT_EQ(plugin.getParameter(0), 1.0f);  // NaN is ignored
    plugin.setParameter(64, 0.5f);
    EXPECT_EQ(plugin.getParameter(64), 0.0f);
    EXPECT_EQ(plugin.getParameter(-3), 0.0f);
    plugin.setParameter(60, 0.3f);
    EXPECT_EQ(plugin.getParameter(60), 0.3f);
}

TEST(VocoderAbi, ProgramOpcodes) {
    LoadedPlugin plugin("Zorvek2.so");
    EXPECT_EQ(plugin.dispatch(effGetProgram), 0);
    plugin.dispatch(effSetProgram, 0, 3);
    EXPECT_EQ(plugin.dispatch(effGetProgram), 3);
    plugin.dispatch(effSetProgram, 0, 16);  // ignored
    EXPECT_EQ(plugin.dispatch(effGetProgram), 3);
    char name[64] = "My Sound";
    plugin.dispatch(effSetProgramName, 0, 0, name);
    char back[64] = {};
    plugin.dispatch(effGetProgramName, 0, 0, back);
    EXPECT_STREQ(back, "My Sound");
    EXPECT_EQ(plugin.dispatch(effGetProgramNameIndexed, 3, 0, back), 1);
    EXPECT_STREQ(back, "My Sound");
    EXPECT_EQ(plugin.dispatch(effGetProgramNameIndexed, 16, 0, back), 0);
}

TEST(VocoderAbi, MidiProgramNames) {
    LoadedPlugin plugin("Zorvek2.so");
    MidiProgramName name{};
    name.thisProgramIndex = 5;
    EXPECT_EQ(plugin.dispatch(effGetMidiProgramName, 0, 0, &name), 1);
    EXPECT_STREQ(name.name, "Basic");
    EXPECT_EQ(name.midiBankMsb, -1);
    name.thisProgramIndex = 128;
    EXPECT_EQ(plugin.dispatch(effGetMidiProgramName, 0, 0, &name), 0);
    EXPECT_EQ(plugin.dispatch(effGetCurrentMidiProgram, 9, 0, &name), 9);
    EXPECT_EQ(name.thisProgramIndex, 9);
    EXPECT_EQ(plugin.dispatch(effGetCurrentMidiProgram, 16, 0, &name), -1);
    MidiProgramCategory category{};
    EXPECT_EQ(plugin.dispatch(effGetMidiProgramCategory, 0, 0, &category), 1);
    EXPECT_STREQ(category.name, "None");
    EXPECT_EQ(category.parentCategoryIndex, -1);
    MidiKeyName key{};
    EXPECT_EQ(plugin.dispatch(effGetMidiKeyName, 0, 0, &key), 0);
    EXPECT_EQ(plugin.dispatch(effHasMidiProgramsChanged), 0);
}

TEST(VocoderAbi, ResumeAsksForMidiAndBlockSizeAndRateAreStored) {
    LoadedPlugin plugin("Zorvek2.so");
    plugin.dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(plugin.wantMidiCalls, 1);
    EXPECT_EQ(plugin.dispatch(effSetBlockSizeAndSampleRate, 0, 256, nullptr, 96000.0f), 1);
    void* arrangements[2] = {&plugin, &plugin};
    EXPECT_EQ(plugin.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&arrangements[0]),
                              &arrangements[1]),
              0);
    EXPECT_EQ(arrangements[0], nullptr);
    EXPECT_EQ(arrangements[1], nullptr);
}

TEST(VocoderAbi, RendersFiniteAudioInBothProcessingCalls) {
    LoadedPlugin plugin("Zorvek2.so");
    plugin.start();
    plugin.sendMidi(0x90, 60, 100);
    std::vector<float> left, right;
    plugin.render(left, right, 4096, 300);
    for (float s : left) ASSERT_TRUE(std::isfinite(s));
    std::vector<float> l(64, 1.0f), r(64, 1.0f);
    float* outputs[2] = {l.data(), r.data()};
    plugin.effect()->process(plugin.effect(), nullptr, outputs, 64);
    for (float s : l) ASSERT_TRUE(std::isfinite(s));
}

}  // namespace

namespace {

TEST(VocoderAbi, HostRereadsParametersAfterEveryProgramOrBankChange) {
    LoadedPlugin plugin("Zorvek2.so");
    EXPECT_EQ(plugin.updateDisplayCalls, 0);  // not while the host waits for the record
    std::vector<char> chunks[2];
    for (int preset : {0, 1}) {
        void* data = nullptr;
        const auto size = plugin.dispatch(effGetChunk, preset, 0, &data);
        chunks[preset].assign(static_cast<char*>(data), static_cast<char*>(data) + size);
    }
    char junk[8] = {};
    const struct {
        int32_t opcode, index;
        intptr_t value;
        void* ptr;
        int calls;
    } changes[] = {
        {effSetProgram, 0, 6, nullptr, 1},
        {effSetChunk, 0, static_cast<intptr_t>(chunks[0].size()), chunks[0].data(), 1},
        {effSetChunk, 1, static_cast<intptr_t>(chunks[1].size()), chunks[1].data(), 1},
        {effSetProgram, 0, 16, nullptr, 0},  // no such program
        {effSetChunk, 1, 8, junk, 0},        // not a chunk
    };
    for (const auto& c : changes) {
        const int before = plugin.updateDisplayCalls;
        plugin.dispatch(c.opcode, c.index, c.value, c.ptr);
        EXPECT_EQ(plugin.updateDisplayCalls - before, c.calls) << c.opcode << " " << c.value;
        // The host read the values after they changed, not before.
        for (int32_t i = 0; c.calls && i < plugin.effect()->numParams; ++i)
            ASSERT_EQ(plugin.displayedValues.at(i), plugin.getParameter(i)) << c.opcode << " " << i;
    }
}

}  // namespace
