#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "framework/BarePlugin.h"

namespace {

uint32_t bits(float value) { return std::bit_cast<uint32_t>(value); }

uint32_t storedBits(PluginBase& plugin, int program, int index) {
    return bits(plugin.program(program).values[index].load());
}

// "4221", the lines each ended by NUL, then the empty line unless left open.
std::vector<unsigned char> textChunk(const std::vector<std::string>& lines, bool ended = true) {
    std::vector<unsigned char> data = {'4', '2', '2', '1'};
    for (const std::string& line : lines) {
        data.insert(data.end(), line.begin(), line.end());
        data.push_back(0);
    }
    if (ended) data.push_back(0);
    return data;
}

// A copy of what getChunk hands out, as long as it says.
std::vector<unsigned char> save(PluginBase& plugin, bool isPreset) {
    void* data = nullptr;
    int32_t size = plugin.getChunk(&data, isPreset);
    auto* bytes = static_cast<unsigned char*>(data);
    return {bytes, bytes + size};
}

int32_t load(PluginBase& plugin, std::vector<unsigned char> data, bool isPreset) {
    return plugin.setChunk(data.data(), static_cast<int32_t>(data.size()), isPreset);
}

// The NUL-terminated lines of a chunk after the magic, up to the empty line.
std::vector<std::string> linesOf(const char* chunk, int32_t size) {
    std::vector<std::string> lines;
    for (int32_t at = 4; at < size && chunk[at];) {
        lines.emplace_back(chunk + at);
        at += static_cast<int32_t>(lines.back().size()) + 1;
    }
    return lines;
}

class ChunkTest : public ::testing::Test {
protected:
    TempFolder folder;
    MessageLog log;
    BarePlugin plugin{folder.file("plugin.ini")};

    // Distinct values and names in every program, and four paths.
    static void fill(PluginBase& target) {
        for (int p = 0; p < PluginBase::kNumPrograms; ++p) {
            std::string name = "Prog" + std::to_string(p) + "_xyz";
            std::strcpy(target.program(p).name, name.c_str());
            for (int i = 0; i < kNumAutomatable; ++i)
                target.program(p).values[i].store(static_cast<float>(p * kNumAutomatable + i + 1) / 1000.0f);
        }
        target.loadFileSlot(0, ".\\drumloop.wav");
        target.loadFileSlot(1, "/some/absolute/path with spaces.wav");
        target.loadFileSlot(2, "");
        target.loadFileSlot(3, "./relative/üml.wav");
    }
};

TEST_F(ChunkTest, ProgramsStartWithTheTableDefaults) {
    for (int p = 0; p < PluginBase::kNumPrograms; ++p) {
        EXPECT_STREQ(plugin.program(p).name, "None");
        for (int i = 0; i < kNumAutomatable; ++i)
            EXPECT_EQ(plugin.program(p).values[i].load(), kVocoderParams[i].defaultValue);
    }
    EXPECT_EQ(bits(plugin.getParameter(0)), 0x3f4ccccdu);
}

TEST_F(ChunkTest, BankRoundTripRestoresNamesValuesAndPaths) {
    fill(plugin);
    plugin.setProgram(7);
    std::vector<unsigned char> saved = save(plugin, false);
    ASSERT_EQ(saved.size(), size_t{PluginBase::kBankChunkSize});

    BarePlugin other(folder.file("other.ini"));
    other.setProgram(7);
    EXPECT_EQ(load(other, saved, false), 1);
    for (int p = 0; p < PluginBase::kNumPrograms; ++p) {
        EXPECT_STREQ(other.program(p).name, plugin.program(p).name);
        for (int i = 0; i < kNumAutomatable; ++i)
            ASSERT_EQ(storedBits(other, p, i), storedBits(plugin, p, i)) << p << " " << i;
    }
    for (int i = 0; i < kNumAutomatable; ++i) EXPECT_EQ(bits(other.getParameter(i)), storedBits(plugin, 7, i));
    for (int s = 0; s < kNumFileSlots; ++s) {
        EXPECT_STREQ(other.fileSlotPath(s), plugin.fileSlotPath(s));
        // The file entry shows what the slot holds.
        EXPECT_EQ(other.parameter(kFirstFileEntry + s).text.load(), other.fileSlotPath(s));
    }
    EXPECT_TRUE(log.messages.empty());
}

TEST_F(ChunkTest, ProgramChunkRestoresOnlyTheCurrentProgramAndTheSlots) {
    fill(plugin);
    plugin.setProgram(2);
    std::vector<unsigned char> saved = save(plugin, true);
    ASSERT_EQ(saved.size(), size_t{PluginBase::kProgramChunkSize});

    BarePlugin other(folder.file("other.ini"));
    other.setProgram(5);
    EXPECT_EQ(load(other, saved, true), 1);
    for (int i = 0; i < kNumAutomatable; ++i) {
        EXPECT_EQ(storedBits(other, 5, i), storedBits(plugin, 2, i));
        EXPECT_EQ(bits(other.getParameter(i)), storedBits(plugin, 2, i));
    }
    for (int p = 0; p < PluginBase::kNumPrograms; ++p) {
        if (p == 5) continue;
        for (int i = 0; i < kNumAutomatable; ++i)
            EXPECT_EQ(other.program(p).values[i].load(), kVocoderParams[i].defaultValue);
    }
    EXPECT_STREQ(other.program(5).name, "None");  // a program chunk carries no name
    for (int s = 0; s < kNumFileSlots; ++s) EXPECT_STREQ(other.fileSlotPath(s), plugin.fileSlotPath(s));
}

TEST_F(ChunkTest, ByteLayoutOfBankAndProgramChunks) {
    std::strcpy(plugin.program(0).name, "Default");
    plugin.loadFileSlot(0, ".\\drumloop.wav");
    void* data = nullptr;
    int32_t size = plugin.getChunk(&data, false);
    const char* text = static_cast<const char*>(data);
    const char start[] =
        "4221"
        "00_Name_=Default\0"
        "00Volume=3f4ccccd\0"
        "00Pan=3f000000\0"
        "00ModSrc=3f800000\0";
    EXPECT_EQ(std::memcmp(text, start, sizeof start - 1), 0);
    std::vector<std::string> lines = linesOf(text, size);
    ASSERT_EQ(lines.size(), 16u * 57u + 4u);
    EXPECT_EQ(lines[57], "01_Name_=None");
    EXPECT_EQ(lines[57 + 56], "01MixVoc=3f000000");
    EXPECT_EQ(lines[16 * 57 + 0], "00File1=.\\drumloop.wav");
    EXPECT_EQ(lines[16 * 57 + 3], "00File4=");
    // Zeros from the text's end to the reported size.
    size_t used = 4;
    for (const std::string& line : lines) used += line.size() + 1;
    for (int32_t at = static_cast<int32_t>(used); at < size; ++at) ASSERT_EQ(text[at], 0) << at;

    size = plugin.getChunk(&data, true);
    text = static_cast<const char*>(data);
    const char program[] =
        "4221"
        "Volume=3f4ccccd\0"
        "Pan=3f000000\0";
    EXPECT_EQ(std::memcmp(text, program, sizeof program - 1), 0);
    lines = linesOf(text, size);
    ASSERT_EQ(lines.size(), 56u + 4u);
    EXPECT_EQ(lines[55], "MixVoc=3f000000");
    EXPECT_EQ(lines[56], "File1=.\\drumloop.wav");
}

TEST_F(ChunkTest, ChunkBufferBelongsToTheInstance) {
    BarePlugin other(folder.file("other.ini"));
    std::strcpy(plugin.program(0).name, "First");
    std::strcpy(other.program(0).name, "Second");
    void* first = nullptr;
    void* second = nullptr;
    plugin.getChunk(&first, false);
    other.getChunk(&second, false);
    EXPECT_NE(first, second);
    EXPECT_EQ(std::string(static_cast<const char*>(first) + 4), "00_Name_=First");
}

TEST_F(ChunkTest, KeysIgnoreCaseButTheNameKeyDoesNot) {
    EXPECT_EQ(load(plugin, textChunk({"00_Name_=Lower", "00volume=3f000000", "00CUTOFF=3e800000", "00_name_=Other"}),
                   false),
              1);
    EXPECT_STREQ(plugin.program(0).name, "Lower");
    EXPECT_EQ(plugin.getParameter(0), 0.5f);
    EXPECT_EQ(plugin.getParameter(20), 0.25f);
    EXPECT_EQ(log.messages, std::vector<std::string>{"NotFound: _name_"});
}

TEST_F(ChunkTest, BankLinesLoadWithoutTouchingLiveValuesUntilTheEnd) {
    plugin.setProgram(1);
    EXPECT_EQ(load(plugin, textChunk({"03Volume=3e800000", "01Pan=3e800000", "01File2=.\\x.wav", "05File3=.\\y.wav"}),
                   false),
              1);
    EXPECT_EQ(plugin.program(3).values[0].load(), 0.25f);
    EXPECT_EQ(plugin.getParameter(0), 0.8f);  // program 3 is not current
    EXPECT_EQ(plugin.getParameter(1), 0.25f);
    // File lines load whatever their program number.
    EXPECT_STREQ(plugin.fileSlotPath(1), ".\\x.wav");
    EXPECT_STREQ(plugin.fileSlotPath(2), ".\\y.wav");
}

TEST_F(ChunkTest, LinesNamingNoProgramChangeNothing) {
    EXPECT_EQ(load(plugin,
                   textChunk({"1f_Name_=Ghost", "1fVolume=3e800000", "10Pan=3e800000", "ffFile1=x.wav",
                              "0gVolume=3e800000", "zzVolume=3e800000", "0", "=3e800000"}),
                   false),
              1);
    for (int p = 0; p < PluginBase::kNumPrograms; ++p) {
        EXPECT_STREQ(plugin.program(p).name, "None");
        for (int i = 0; i < kNumAutomatable; ++i)
            EXPECT_EQ(plugin.program(p).values[i].load(), kVocoderParams[i].defaultValue);
    }
    EXPECT_STREQ(plugin.fileSlotPath(0), "");
    EXPECT_TRUE(log.messages.empty());
}

TEST_F(ChunkTest, OverlongLinesAreSkippedAndNamesCut) {
    std::string fits(243, 'a');  // "00File1=" + 243 = 251 characters, the longest line
    std::string tooLong(244, 'b');
    EXPECT_EQ(load(plugin,
                   textChunk({"00File1=" + fits, "00File2=" + tooLong, "00Volume=3e800000",
                              "00_Name_=ABCDEFGHIJKLMNOPQRSTUVWXYZ"}),
                   false),
              1);
    EXPECT_EQ(plugin.fileSlotPath(0), fits);
    EXPECT_STREQ(plugin.fileSlotPath(1), "");
    EXPECT_EQ(plugin.getParameter(0), 0.25f);  // the line after the long one still loads
    EXPECT_STREQ(plugin.program(0).name, "ABCDEFGHIJKLMNOPQRSTUVW");
}

TEST_F(ChunkTest, ValuesThatAreNotHexadecimalChangeNothing) {
    EXPECT_EQ(load(plugin,
                   textChunk({"00Volume=xyz", "00Pan=3f00000g", "00Cutoff=123456789", "00Reso=", "00Mangle= 3f000000",
                              "00Eq1=-3f000000", "00Eq2=0x3f0000", "00Eq3=3F000000x"}),
                   false),
              1);
    for (int i : {0, 1, 20, 21, 31, 33, 34, 35})
        EXPECT_EQ(plugin.program(0).values[i].load(), kVocoderParams[i].defaultValue) << i;
    // Fewer than eight digits are still a bit pattern; capitals are digits too.
    EXPECT_EQ(load(plugin, textChunk({"00Reso=0", "00Eq1=3F000000"}), false), 1);
    EXPECT_EQ(plugin.getParameter(21), 0.0f);
    EXPECT_EQ(plugin.getParameter(33), 0.5f);
}

TEST_F(ChunkTest, NonFiniteValuesNeverReachParametersOrPrograms) {
    EXPECT_EQ(load(plugin,
                   textChunk({"00Volume=7fc00000", "00Pan=7f800000", "00Reso=ff800000", "02Cutoff=ffc00001",
                              "02Eq1=40000000"}),
                   false),
              1);
    EXPECT_EQ(plugin.getParameter(0), 0.8f);  // NaN keeps the old value
    EXPECT_EQ(plugin.getParameter(1), 1.0f);
    EXPECT_EQ(plugin.getParameter(21), 0.0f);
    EXPECT_EQ(plugin.program(2).values[20].load(), 1.0f);
    EXPECT_EQ(plugin.program(2).values[33].load(), 1.0f);  // stored values keep the live range
    EXPECT_EQ(load(plugin, textChunk({"Volume=ffc00000", "Pan=ff800000"}), true), 1);
    EXPECT_EQ(plugin.getParameter(0), 0.8f);
    EXPECT_EQ(plugin.getParameter(1), 0.0f);
}

TEST_F(ChunkTest, UnknownKeysShowOneMessageEachAndTheRestLoads) {
    EXPECT_EQ(load(plugin,
                   textChunk({"Bogus=3f000000", "Volume=3e800000", "Nope=1", "Pan=3e800000", "SetFil1=3f800000",
                              "without equals sign"}),
                   true),
              1);
    EXPECT_EQ(log.messages, (std::vector<std::string>{"NotFound: Bogus", "NotFound: Nope"}));
    EXPECT_EQ(plugin.getParameter(0), 0.25f);
    EXPECT_EQ(plugin.getParameter(1), 0.25f);
    EXPECT_EQ(plugin.getParameter(56), 0.0f);  // the file buttons carry no value
}

TEST_F(ChunkTest, ProgramChunkSetsParametersAtOnceAndTheProgramAtTheEnd) {
    plugin.setProgram(4);
    EXPECT_EQ(load(plugin, textChunk({"Cutoff=3e800000", "File4=.\\speech.wav"}), true), 1);
    EXPECT_EQ(plugin.getParameter(20), 0.25f);
    EXPECT_EQ(plugin.program(4).values[20].load(), 0.25f);
    EXPECT_EQ(plugin.program(0).values[20].load(), 1.0f);
    EXPECT_STREQ(plugin.fileSlotPath(3), ".\\speech.wav");
    EXPECT_EQ(plugin.parameter(63).text.load(), plugin.fileSlotPath(3));
}

TEST_F(ChunkTest, TheTextEndsAtTheGivenSize) {
    // The line after the size must not be read; the last line inside it has no NUL.
    std::vector<unsigned char> data = textChunk({"00Volume=3e800000", "00Pan=3e800000"}, false);
    data.pop_back();  // "00Pan=3e800000" now runs to the end of the data
    std::vector<unsigned char> beyond = data;
    std::string extra = std::string(
        "\0"
        "00Cutoff=3e800000",
        18);
    beyond.insert(beyond.end(), extra.begin(), extra.end());
    EXPECT_EQ(plugin.setChunk(beyond.data(), static_cast<int32_t>(data.size()), false), 1);
    EXPECT_EQ(plugin.getParameter(0), 0.25f);
    EXPECT_EQ(plugin.getParameter(1), 0.25f);
    EXPECT_EQ(plugin.getParameter(20), 1.0f);
    // An empty line ends the text before the size does.
    EXPECT_EQ(load(plugin, textChunk({"00Volume=3f000000", "", "00Pan=3f000000"}), false), 1);
    EXPECT_EQ(plugin.getParameter(0), 0.5f);
    EXPECT_EQ(plugin.getParameter(1), 0.25f);
}

TEST_F(ChunkTest, ShortOrEmptyDataIsRefused) {
    unsigned char magic[4] = {'4', '2', '2', '1'};
    EXPECT_EQ(plugin.setChunk(magic, 0, false), 0);
    EXPECT_EQ(plugin.setChunk(magic, -5, false), 0);
    EXPECT_EQ(plugin.setChunk(nullptr, 100, false), 0);
    EXPECT_EQ(plugin.setChunk(magic, 3, false), 0);  // neither text nor an older layout
    EXPECT_EQ(plugin.setChunk(magic, 4, false), 1);  // the magic alone: an empty text
}

// Older layouts: 4 ignored bytes, 40 floats per program, four 260-byte paths.
std::vector<unsigned char> legacyChunk(int programs, const std::vector<float>& values,
                                       const std::vector<std::string>& paths) {
    std::vector<unsigned char> data(4 + 160 * programs + 4 * 260, 0);
    std::memcpy(data.data() + 4, values.data(), values.size() * sizeof(float));
    for (size_t s = 0; s < paths.size(); ++s)
        std::memcpy(data.data() + 4 + 160 * programs + 260 * s, paths[s].data(), paths[s].size());
    return data;
}

TEST_F(ChunkTest, LegacyProgramChunkInvertsOscMix) {
    plugin.setParameter(45, 0.3f);  // DlyTime: not in the old layout
    std::vector<float> values(40, 0.125f);
    values[12] = 0.25f;
    values[3] = std::nanf("");
    std::vector<unsigned char> data = legacyChunk(1, values, {"a.wav", "b.wav", "c.wav", std::string(259, 'd')});
    ASSERT_EQ(data.size(), 1204u);
    EXPECT_EQ(load(plugin, data, true), 1);
    EXPECT_EQ(plugin.getParameter(12), 0.75f);
    EXPECT_EQ(plugin.getParameter(0), 0.125f);
    EXPECT_EQ(plugin.getParameter(3), 1.0f);  // NaN left BndRng at its value
    EXPECT_EQ(plugin.program(0).values[3].load(), 1.0f);
    EXPECT_EQ(plugin.getParameter(45), 0.3f);
    EXPECT_EQ(plugin.getParameter(55), 0.5f);
    EXPECT_STREQ(plugin.fileSlotPath(0), "a.wav");
    EXPECT_EQ(std::string(plugin.fileSlotPath(3)), std::string(259, 'd'));
    EXPECT_EQ(plugin.parameter(60).text.load(), plugin.fileSlotPath(0));
    // A path that fills its 260 bytes without NUL is cut, never read past.
    std::vector<unsigned char> full = legacyChunk(1, values, {std::string(260, 'e')});
    EXPECT_EQ(load(plugin, full, true), 1);
    EXPECT_EQ(std::string(plugin.fileSlotPath(0)), std::string(259, 'e'));
}

TEST_F(ChunkTest, LegacyBankChunkFillsAllPrograms) {
    plugin.setProgram(3);
    std::vector<float> values(16 * 40);
    for (int p = 0; p < 16; ++p)
        for (int i = 0; i < 40; ++i) values[p * 40 + i] = static_cast<float>(p * 40 + i) / 1024.0f;
    std::vector<unsigned char> data = legacyChunk(16, values, {"w.wav"});
    ASSERT_EQ(data.size(), 3604u);
    EXPECT_EQ(load(plugin, data, false), 1);
    for (int p = 0; p < 16; ++p) {
        for (int i = 0; i < 40; ++i) {
            float expected = static_cast<float>(p * 40 + i) / 1024.0f;
            EXPECT_EQ(plugin.program(p).values[i].load(), i == 12 ? 1.0f - expected : expected);
        }
        EXPECT_EQ(plugin.program(p).values[55].load(), 0.5f);
    }
    EXPECT_EQ(plugin.getParameter(0), 120.0f / 1024.0f);
    EXPECT_STREQ(plugin.fileSlotPath(0), "w.wav");
}

TEST_F(ChunkTest, LegacySizesOnlyWithTheirVariant) {
    std::vector<unsigned char> single = legacyChunk(1, std::vector<float>(40, 0.125f), {"x.wav"});
    std::vector<unsigned char> bank = legacyChunk(16, std::vector<float>(640, 0.125f), {"x.wav"});
    EXPECT_EQ(load(plugin, single, false), 0);
    EXPECT_EQ(load(plugin, bank, true), 0);
    std::vector<unsigned char> other(1205, 0);
    EXPECT_EQ(load(plugin, other, true), 0);
    EXPECT_EQ(plugin.getParameter(0), 0.8f);
    EXPECT_STREQ(plugin.fileSlotPath(0), "");
}

TEST_F(ChunkTest, RandomBytesNeverCrashOrLeaveValuesOutOfRange) {
    std::mt19937 rng(1234);
    std::vector<unsigned char> data;
    for (int round = 0; round < 3000; ++round) {
        std::uniform_int_distribution<int> sizes(0, round % 10 == 0 ? 20000 : 600);
        data.resize(static_cast<size_t>(sizes(rng)));
        // Mostly text-like bytes with NULs, '=' and hexadecimal digits, so lines get parsed.
        const char alphabet[] = "0123456789abcdefABCDEF=_NameVolumFil\0\0\0\xff\x80";
        for (unsigned char& byte : data)
            byte = static_cast<unsigned char>(round % 3 == 0 ? rng() : alphabet[rng() % (sizeof alphabet - 1)]);
        if (round % 2 == 0 && data.size() >= 4) std::memcpy(data.data(), "4221", 4);
        if (round % 7 == 0) data.resize(round % 14 == 0 ? 1204 : 3604);
        // Exactly the given bytes: the sanitizers catch any read past them.
        std::vector<unsigned char> exact(data);
        plugin.setChunk(exact.empty() ? nullptr : exact.data(), static_cast<int32_t>(exact.size()), round % 2 == 1);
    }
    for (int p = 0; p < PluginBase::kNumPrograms; ++p) {
        EXPECT_LT(std::strlen(plugin.program(p).name), 24u);
        for (int i = 0; i < kNumAutomatable; ++i) {
            float value = plugin.program(p).values[i].load();
            EXPECT_TRUE(value >= 0.0f && value <= 1.0f) << p << " " << i;
        }
    }
    for (int i = 0; i < kNumEntries; ++i) EXPECT_TRUE(plugin.getParameter(i) >= 0.0f && plugin.getParameter(i) <= 1.0f);
    for (int s = 0; s < kNumFileSlots; ++s) EXPECT_LT(std::strlen(plugin.fileSlotPath(s)), 260u);
    // Still writes a well-formed chunk afterwards.
    void* saved = nullptr;
    EXPECT_EQ(plugin.getChunk(&saved, false), PluginBase::kBankChunkSize);
    EXPECT_EQ(std::memcmp(saved, "4221", 4), 0);
}

TEST_F(ChunkTest, CopyProgramCopiesNameAndValues) {
    plugin.setProgram(1);
    char source[] = "Source";
    plugin.setProgramName(source);
    plugin.setParameter(20, 0.3f);
    EXPECT_TRUE(plugin.copyProgram(3));
    plugin.setParameter(20, 0.9f);
    EXPECT_STREQ(plugin.program(3).name, "Source");
    EXPECT_EQ(plugin.program(3).values[20].load(), 0.3f);
    EXPECT_EQ(plugin.program(1).values[20].load(), 0.9f);
    EXPECT_FALSE(plugin.copyProgram(16));
    EXPECT_FALSE(plugin.copyProgram(-1));
}

}  // namespace
