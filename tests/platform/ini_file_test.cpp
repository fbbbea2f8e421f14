#include "platform/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "support/TempFolder.h"

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder.path.empty()); }

    void write(const std::string& content) { std::ofstream(path, std::ios::binary) << content; }
    std::string read() const {
        std::ifstream in(path, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    TempFolder folder;
    const std::string path = folder.file("test.ini");
};

TEST_F(IniFileTest, NamesIgnoreCaseAndTheFirstMatchWins) {
    write("[One]\n Key = first \nkey=second\n[one]\nKEY=third\n[Two]\nother=x\n");
    platform::IniFile ini(path);
    EXPECT_EQ(ini.get("ONE", "kEy"), "first");
    EXPECT_EQ(ini.get("two", "OTHER"), "x");
    EXPECT_EQ(ini.get("two", "key"), std::nullopt);
    EXPECT_EQ(ini.get("three", "key"), std::nullopt);
}

TEST_F(IniFileTest, MissingFileReadsEmptyAndSaveCreatesIt) {
    platform::IniFile ini(path);
    EXPECT_EQ(ini.get("midicc", "Volume"), std::nullopt);
    EXPECT_EQ(ini.getUnsigned("midicc", "Volume", 7), 7u);
    ini.set("midicc", "Volume", "7");
    ini.set("midicc", "Pan", "10");
    EXPECT_TRUE(ini.save());
    EXPECT_EQ(read(), "[midicc]\nVolume=7\nPan=10\n");
}

TEST_F(IniFileTest, UnsignedValuesParseLikeAProfileRead) {
    write("[s]\na=300\nb= 42 \nc=abc\nd=-5\ne=99999999999\nf=12abc\ng=\nh=+8\n");
    platform::IniFile ini(path);
    EXPECT_EQ(ini.getUnsigned("s", "a", 1), 300u);
    EXPECT_EQ(ini.getUnsigned("s", "b", 1), 42u);
    EXPECT_EQ(ini.getUnsigned("s", "c", 1), 0u);
    EXPECT_EQ(ini.getUnsigned("s", "d", 1), UINT_MAX);
    EXPECT_EQ(ini.getUnsigned("s", "e", 1), UINT_MAX);
    EXPECT_EQ(ini.getUnsigned("s", "f", 1), 12u);
    EXPECT_EQ(ini.getUnsigned("s", "g", 1), 0u);
    EXPECT_EQ(ini.getUnsigned("s", "h", 1), 8u);
    EXPECT_EQ(ini.getUnsigned("s", "missing", 1), 1u);
}

TEST_F(IniFileTest, WritesKeepEverythingElse) {
    const std::string before = "; comment\r\n[a]\r\nx=1\r\n\r\n[B]\r\ny=2\r\njunk line\r\n\r\n[c]\r\nz=3\r\n";
    write(before);
    platform::IniFile ini(path);
    ini.set("b", "Y", "5");    // replaced in place
    ini.set("b", "new", "6");  // added after the section's last line
    ini.set("d", "w", "7");    // a new section at the end
    EXPECT_TRUE(ini.save());
    EXPECT_EQ(
        read(),
        "; comment\r\n[a]\r\nx=1\r\n\r\n[B]\r\nY=5\r\njunk line\r\nnew=6\r\n\r\n[c]\r\nz=3\r\n\r\n[d]\r\nw=7\r\n");
    EXPECT_EQ(platform::IniFile(path).get("c", "z"), "3");
}

TEST_F(IniFileTest, UnchangedContentIsNotRewritten) {
    write("[s]\nk=1\n");
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    platform::IniFile ini(path);
    ini.set("s", "k", "1");
    EXPECT_TRUE(ini.save());
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);  // a rewrite would rename a new file over it
}

TEST_F(IniFileTest, AFailedWriteLeavesNoTraceAndAnswersFalse) {
    std::string blocked = folder.file("file");
    std::ofstream(blocked) << "x";
    platform::IniFile ini(blocked + "/test.ini");
    ini.set("s", "k", "1");
    EXPECT_FALSE(ini.save());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path), {}), 1);
}

TEST_F(IniFileTest, OversizedFilesAreNeitherReadNorRewritten) {
    std::string big(platform::IniFile::kMaxFileSize + 1, 'x');
    big.replace(0, 12, "[s]\nk=1\n\n\n\n\n");
    write(big);
    platform::IniFile ini(path);
    EXPECT_EQ(ini.get("s", "k"), std::nullopt);
    ini.set("s", "k", "2");
    EXPECT_FALSE(ini.save());
    EXPECT_EQ(read(), big);
}

TEST_F(IniFileTest, HostileContentParsesSafely) {
    std::string junk = "[s]\nk=1\n" + std::string(100000, 'y') + "=" + std::string(50000, 'z') + "\n";
    junk += std::string("\0\xff[\0]=\n[s\n]]]\n==\n[]\n=\n", 20);
    std::mt19937 random(7);
    for (int i = 0; i < 50000; ++i) junk.push_back(static_cast<char>(random()));
    write(junk);
    platform::IniFile ini(path);
    EXPECT_EQ(ini.get("s", "k"), "1");
    ini.set("s", "k", "2");
    EXPECT_TRUE(ini.save());
    platform::IniFile again(path);
    EXPECT_EQ(again.get("s", "k"), "2");
    // Everything else came back byte for byte.
    std::string expected = junk;
    expected.replace(expected.find("k=1"), 3, "k=2");
    if (expected.back() != '\n') expected += '\n';
    EXPECT_EQ(read(), expected);
}

}  // namespace
