// Chunks that carry NaN or infinities, as text bit patterns or as raw floats of the two
// older layouts: NaN leaves a value as it was, infinities clamp, and the instrument keeps
// playing finite, bounded audio with every program.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "robustness/PluginRig.h"

namespace robustness {
namespace {

constexpr int kOscMix = 12;  // stored as 1 - value in the raw-float layouts

// Bit patterns and what a parameter that held 0.5 holds after loading each.
struct Hostile {
    const char* bits;
    float expected;
};
const Hostile kHostile[] = {
    {"7fc00000", 0.5f},  // quiet NaN
    {"ffffffff", 0.5f},  // negative NaN with payload
    {"7f800001", 0.5f},  // signalling NaN
    {"7f800000", 1.0f},  // +inf
    {"ff800000", 0.0f},  // -inf
    {"7f7fffff", 1.0f},  // largest float
    {"ff7fffff", 0.0f},  // most negative float
};

std::vector<char> textChunk(const std::vector<std::string>& lines, size_t size) {
    std::vector<char> chunk(size, 0);
    std::memcpy(chunk.data(), "4221", 4);
    size_t at = 4;
    for (const std::string& line : lines) {
        std::memcpy(chunk.data() + at, line.c_str(), line.size() + 1);
        at += line.size() + 1;
    }
    return chunk;
}

std::string name(VocoderPlugin& plugin, int index) {
    char text[64] = {};
    plugin.getParameterName(index, text);
    return text;
}

void expectPlaysCleanly(PluginRig& rig, const char* what) {
    for (int p = 0; p < PluginBase::kNumPrograms; ++p) {
        rig.instrument().setProgram(p);
        for (int i = 0; i < kNumAutomatable; ++i) {
            float value = rig.instrument().getParameter(i);
            EXPECT_TRUE(value >= 0.0f && value <= 1.0f)
                << what << ": program " << p << " parameter " << i << " " << value;
        }
        Peak peak = rig.play(8192 / kAudioDivisor);
        EXPECT_TRUE(peak.ok()) << what << ": program " << p << " peak " << peak.value;
    }
}

TEST(ChunkValues, TextProgramWithNonFiniteValues) {
    PluginRig rig(44100.0f, 512, 1);
    rig.setAll(0.5f);
    std::vector<std::string> lines;
    for (int i = 1; i < kNumAutomatable; ++i)
        lines.push_back(name(rig.instrument(), i) + "=" + kHostile[i % std::size(kHostile)].bits);
    lines.push_back("Volume=3e800000");
    std::vector<char> chunk = textChunk(lines, 1972);
    ASSERT_EQ(rig.instrument().setChunk(chunk.data(), static_cast<int32_t>(chunk.size()), true), 1);
    EXPECT_EQ(rig.instrument().getParameter(0), 0.25f);
    for (int i = 1; i < kNumAutomatable; ++i)
        EXPECT_EQ(rig.instrument().getParameter(i), kHostile[i % std::size(kHostile)].expected)
            << name(rig.instrument(), i);
    Peak peak = rig.play(44100 / kAudioDivisor);
    EXPECT_TRUE(peak.ok()) << peak.value;
}

TEST(ChunkValues, TextBankWithNonFiniteValuesInEveryProgram) {
    PluginRig rig(48000.0f, 31, 2);
    for (int p = 0; p < PluginBase::kNumPrograms; ++p) {
        rig.instrument().setProgram(p);
        rig.setAll(0.5f);
    }
    std::vector<std::string> lines;
    char prefix[3];
    for (int p = 0; p < PluginBase::kNumPrograms; ++p) {
        std::snprintf(prefix, sizeof prefix, "%02x", p);
        for (int i = 0; i < kNumAutomatable; ++i)
            lines.push_back(prefix + name(rig.instrument(), i) + "=" + kHostile[(i + p) % std::size(kHostile)].bits);
    }
    std::vector<char> chunk = textChunk(lines, 18100);
    ASSERT_EQ(rig.instrument().setChunk(chunk.data(), static_cast<int32_t>(chunk.size()), false), 1);
    for (int p = 0; p < PluginBase::kNumPrograms; ++p)
        for (int i = 0; i < kNumAutomatable; ++i)
            EXPECT_EQ(rig.instrument().program(p).values[i].load(), kHostile[(i + p) % std::size(kHostile)].expected)
                << "program " << p << " parameter " << i;
    expectPlaysCleanly(rig, "text bank");
}

// The raw layouts: 4 ignored bytes, 40 floats per program, four 260-byte paths.
std::vector<char> rawChunk(int programs, const float* values, int count) {
    std::vector<char> chunk(4 + 160 * static_cast<size_t>(programs) + 4 * 260, 0);
    for (int p = 0; p < programs; ++p)
        for (int i = 0; i < 40; ++i)
            std::memcpy(chunk.data() + 4 + 160 * p + 4 * i, &values[(i + p) % count], sizeof(float));
    return chunk;
}

const float kRawHostile[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(), 0.25f, -std::numeric_limits<float>::quiet_NaN()};

TEST(ChunkValues, RawProgramLayoutWithNonFiniteValues) {
    PluginRig rig(22050.0f, 4096, 3);
    rig.setAll(0.5f);
    std::vector<char> chunk = rawChunk(1, kRawHostile, std::size(kRawHostile));
    ASSERT_EQ(chunk.size(), 1204u);
    ASSERT_EQ(rig.instrument().setChunk(chunk.data(), 1204, true), 1);
    EXPECT_EQ(rig.instrument().getParameter(0), 0.5f);  // NaN
    EXPECT_EQ(rig.instrument().getParameter(1), 1.0f);  // +inf
    EXPECT_EQ(rig.instrument().getParameter(2), 0.0f);  // -inf
    EXPECT_EQ(rig.instrument().getParameter(3), 0.25f);
    EXPECT_EQ(rig.instrument().getParameter(kOscMix), 1.0f);  // 1 - (-inf)
    EXPECT_EQ(rig.instrument().getParameter(40), 0.5f);       // not in the layout
    Peak peak = rig.play(22050 / kAudioDivisor);
    EXPECT_TRUE(peak.ok()) << peak.value;
}

TEST(ChunkValues, RawBankLayoutWithNonFiniteValues) {
    PluginRig rig(96000.0f, 512, 4);
    std::vector<char> chunk = rawChunk(16, kRawHostile, std::size(kRawHostile));
    ASSERT_EQ(chunk.size(), 3604u);
    ASSERT_EQ(rig.instrument().setChunk(chunk.data(), 3604, false), 1);
    expectPlaysCleanly(rig, "raw bank");
}

}  // namespace
}  // namespace robustness
