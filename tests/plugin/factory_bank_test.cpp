#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/LoadedPlugin.h"
#include "support/ParamIndex.h"

namespace {

uint32_t bits(float value) { return std::bit_cast<uint32_t>(value); }

const char* const kFactoryNames[16] = {"Default", "Analog",      "Crispy",  "WithCarrier",   "LowTone", "Toy",
                                       "WetTone", "RoughAnalog", "FreqMod", "WiredHighTone", "Noise",   "None",
                                       "None",    "None",        "None",    "None"};

// Program "Default", parameters 0 to 55 in table order.
const uint32_t kDefaultBits[56] = {0x3f4ccccd, 0x3f000000, 0x3f800000, 0x00000000, 0x3f000000, 0x3f000000, 0x3f000000,
                                   0x3f251eb8, 0x3f000000, 0x3f000000, 0x3f000000, 0x3f1eb852, 0x3f000000, 0x3f000000,
                                   0x00000000, 0x3f000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x3f800000,
                                   0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x3f000000, 0x3efd70a4,
                                   0x3f000000, 0x3f000000, 0x3f800000, 0x00000000, 0x3f000000, 0x3f000000, 0x3f000000,
                                   0x3f000000, 0x3f000000, 0x3f000000, 0x3f000000, 0x00000000, 0x00000000, 0x00000000,
                                   0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x3f000000,
                                   0x3e4ccccd, 0x3e4ccccd, 0x3e4ccccd, 0x3f000000, 0x00000000, 0x00000000, 0x3f051eb8};

using namespace param;
// Zero in every factory program.
const int kAlwaysZero[] = {paramIndex("LfoSync"), paramIndex("LfoAM"),  paramIndex("Attack"),  paramIndex("Mono"),
                           paramIndex("Glide"),   paramIndex("Freeze"), paramIndex("BufSize"), paramIndex("CarCap"),
                           paramIndex("ModCh"),   paramIndex("CarCh"),  paramIndex("CarSt"),   paramIndex("MixMod")};

std::vector<uint32_t> programBits(LoadedPlugin& plugin, int program) {
    plugin.dispatch(effSetProgram, 0, program);
    std::vector<uint32_t> values;
    for (int i = 0; i < 56; ++i) values.push_back(bits(plugin.getParameter(i)));
    return values;
}

std::string programName(LoadedPlugin& plugin) {
    char name[kVstMaxProgNameLen + 1] = {};
    plugin.dispatch(effGetProgramName, 0, 0, name);
    return name;
}

TEST(FactoryBank, ConstructionSelectsDefault) {
    LoadedPlugin plugin("Zorvek2.so");
    ASSERT_NE(plugin.effect(), nullptr);
    EXPECT_EQ(plugin.getParameter(0), 0.8f);
    EXPECT_EQ(programName(plugin), "Default");
    EXPECT_EQ(plugin.dispatch(effGetProgram), 0);
    EXPECT_NE(plugin.effect()->flags & effFlagsProgramChunks, 0);
}

TEST(FactoryBank, SixteenNamesInOrder) {
    LoadedPlugin plugin("Zorvek2.so");
    for (int p = 0; p < 16; ++p) {
        char name[kVstMaxProgNameLen + 1] = {};
        EXPECT_EQ(plugin.dispatch(effGetProgramNameIndexed, p, 0, name), 1);
        EXPECT_STREQ(name, kFactoryNames[p]) << p;
    }
}

TEST(FactoryBank, DefaultAndNoneProgramsHoldTheirValues) {
    LoadedPlugin plugin("Zorvek2.so");
    std::vector<uint32_t> defaults(std::begin(kDefaultBits), std::end(kDefaultBits));
    EXPECT_EQ(programBits(plugin, 0), defaults);
    int withLfoForm0 = 0;
    for (int p = 11; p < 16; ++p) {
        std::vector<uint32_t> expected = defaults;
        expected[kBndRng] = 0x3f800000;
        expected[kOsc1PW] = expected[kOsc2PW] = 0x3f400000;
        expected[kFollowD] = expected[kMixVoc] = 0x3f000000;
        std::vector<uint32_t> values = programBits(plugin, p);
        if (values[kLfoForm] == 0) {
            ++withLfoForm0;
            expected[kLfoForm] = 0;
        }
        EXPECT_EQ(values, expected) << p;
    }
    EXPECT_EQ(withLfoForm0, 1);
}

TEST(FactoryBank, NamedProgramsAreDistinctSoundsWithinTheCommonValues) {
    LoadedPlugin plugin("Zorvek2.so");
    std::vector<std::vector<uint32_t>> seen = {programBits(plugin, 0)};
    for (int p = 1; p <= 10; ++p) {
        std::vector<uint32_t> values = programBits(plugin, p);
        EXPECT_EQ(values[kVolume], 0x3f4ccccdu) << kFactoryNames[p];
        EXPECT_EQ(values[kPan], 0x3f000000u) << kFactoryNames[p];
        EXPECT_EQ(values[kModSrc], 0x3f800000u) << kFactoryNames[p];
        EXPECT_EQ(values[kFollowA], 0x3f000000u) << kFactoryNames[p];
        for (int i : kAlwaysZero) EXPECT_EQ(values[i], 0u) << kFactoryNames[p] << " " << i;
        for (const auto& other : seen) EXPECT_NE(values, other) << kFactoryNames[p];
        seen.push_back(values);
    }
}

TEST(FactoryBank, BankChunkCarriesTheFourFiles) {
    LoadedPlugin plugin("Zorvek2.so");
    void* data = nullptr;
    ASSERT_EQ(plugin.dispatch(effGetChunk, 0, 0, &data), 18100);
    const char* text = static_cast<const char*>(data);
    std::vector<std::string> lines;
    for (size_t at = 4; at < 18100 && text[at]; at += lines.back().size() + 1) lines.emplace_back(text + at);
    ASSERT_EQ(lines.size(), 16u * 57u + 4u);
    EXPECT_EQ(lines[0], "00_Name_=Default");
    EXPECT_EQ(lines[1], "00Volume=3f4ccccd");
    EXPECT_EQ(lines[16 * 57 + 0], "00File1=.\\drumloop.wav");
    EXPECT_EQ(lines[16 * 57 + 1], "00File2=.\\someone.wav");
    EXPECT_EQ(lines[16 * 57 + 2], "00File3=.\\testing1-2-3.wav");
    EXPECT_EQ(lines[16 * 57 + 3], "00File4=.\\speech.wav");
}

uint32_t bigEndian(const std::vector<unsigned char>& data, size_t at) {
    return uint32_t{data[at]} << 24 | uint32_t{data[at + 1]} << 16 | uint32_t{data[at + 2]} << 8 | data[at + 3];
}

TEST(FactoryBank, EmbeddedFileHasTheBankFileLayout) {
    std::ifstream in(std::string(ZORVEK_BINARY_DIR) + "/resources/factory-bank.fxb", std::ios::binary);
    std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(file.size(), 160u + 18100u);
    EXPECT_EQ(std::memcmp(file.data(), "CcnK", 4), 0);
    EXPECT_EQ(bigEndian(file, 4), 160u - 8u + 18100u);
    EXPECT_EQ(std::memcmp(file.data() + 8, "FBCh", 4), 0);
    EXPECT_EQ(bigEndian(file, 12), 1u);
    EXPECT_EQ(std::memcmp(file.data() + 16, "1224", 4), 0);
    EXPECT_EQ(bigEndian(file, 20), 1u);
    EXPECT_EQ(bigEndian(file, 24), 16u);
    for (size_t at = 28; at < 156; ++at) ASSERT_EQ(file[at], 0) << at;
    EXPECT_EQ(bigEndian(file, 156), 18100u);
    EXPECT_EQ(std::memcmp(file.data() + 160,
                          "4221"
                          "00_Name_=Default",
                          20),
              0);
    EXPECT_EQ(file.back(), 0);
}

TEST(PluginChunks, BankAndProgramTravelBetweenInstances) {
    LoadedPlugin source("Zorvek2.so");
    LoadedPlugin target("Zorvek2.so");
    source.dispatch(effSetProgram, 0, 4);
    source.setParameter(20, 0.125f);
    char renamed[] = "Renamed";
    source.dispatch(effSetProgramName, 0, 0, renamed);

    void* data = nullptr;
    int32_t size = static_cast<int32_t>(source.dispatch(effGetChunk, 1, 0, &data));
    ASSERT_EQ(size, 1972);
    std::vector<unsigned char> program(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
    target.dispatch(effSetProgram, 0, 9);
    EXPECT_EQ(target.dispatch(effSetChunk, 1, size, program.data()), 1);
    EXPECT_EQ(target.getParameter(20), 0.125f);
    EXPECT_EQ(programName(target), "WiredHighTone");  // a program chunk carries no name

    size = static_cast<int32_t>(source.dispatch(effGetChunk, 0, 0, &data));
    ASSERT_EQ(size, 18100);
    std::vector<unsigned char> bank(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
    EXPECT_EQ(target.dispatch(effSetChunk, 0, size, bank.data()), 1);
    target.dispatch(effSetProgram, 0, 4);
    EXPECT_EQ(programName(target), "Renamed");
    EXPECT_EQ(programBits(target, 4), programBits(source, 4));
}

}  // namespace
