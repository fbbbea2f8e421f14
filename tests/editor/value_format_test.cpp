// The display format language: texts per kind, steps, quantisation and the switch rule.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "dsp/ExpTables.h"
#include "editor/ValueFormat.h"

namespace {

const char* const kWaveList = "S5,[Rnd],[Sin],[Tri],[Sqr],[Saw]";
const char* const kNoteList = "S10,[1/32],[1/24],[1/16],[1/12],[1/8],[1/6],[1/4],[1/3],[1/2],[1/1]";
const char* const kSyncRule = "MLfoFreq:G:S10,[1/32],[1/24],[1/16],[1/12],[1/8],[1/6],[1/4],[1/3],[1/2],[1/1]";

class ValueFormatTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ExpTables::fill(); }

    std::string text(float value, const char* format) {
        char buffer[kFormatTextSize];
        std::memset(buffer, '#', sizeof buffer);
        formatValue(value, buffer, format);
        return buffer;
    }
};

}  // namespace

TEST_F(ValueFormatTest, PercentWithoutFormatPadsToThreeDigits) {
    EXPECT_EQ(text(0.8f, nullptr), " 80%");
    EXPECT_EQ(text(0.0f, nullptr), "  0%");
    EXPECT_EQ(text(1.0f, nullptr), "100%");
    EXPECT_EQ(text(0.055f, nullptr), "  6%");
}

TEST_F(ValueFormatTest, PanShowsCentreOrSideAmount) {
    EXPECT_EQ(text(0.5f, "P"), "<C>");
    EXPECT_EQ(text(0.75f, "P"), "   <R> 50");
    EXPECT_EQ(text(0.25f, "P"), " 50<L>   ");
    EXPECT_EQ(text(1.0f, "P"), "   <R>100");
    EXPECT_EQ(text(0.0f, "P"), "100<L>   ");
}

TEST_F(ValueFormatTest, CentredAndHalfScalePercent) {
    EXPECT_EQ(text(0.5f, "C"), "+00");
    EXPECT_EQ(text(1.0f, "C"), "+100");
    EXPECT_EQ(text(0.0f, "C"), "-100");
    EXPECT_EQ(text(0.5f, "H"), "+0%");
    EXPECT_EQ(text(1.0f, "H"), "+100%");
    EXPECT_EQ(text(0.25f, "H"), "-50%");
}

TEST_F(ValueFormatTest, StepListPicksTruncatedItemCappedAtTheLast) {
    EXPECT_EQ(text(0.5f, kWaveList), "[Tri]");
    EXPECT_EQ(text(1.0f, kWaveList), "[Saw]");
    EXPECT_EQ(text(0.19f, kWaveList), "[Rnd]");
    EXPECT_EQ(text(0.2f, kWaveList), "[Sin]");
    EXPECT_EQ(text(0.0f, kWaveList), "[Rnd]");
    EXPECT_EQ(text(0.5f, kNoteList), "[1/6]");
    EXPECT_EQ(text(0.5f, "S13,0,1,2,3,4,5,6,7,8,9,10,11,12"), "6");
}

TEST_F(ValueFormatTest, QuantisedValuesAlwaysSelectTheirOwnItem) {
    for (int n : {2, 5, 6, 10, 13, 21, 49}) {
        std::string list = "S";
        list += std::to_string(n);
        for (int k = 0; k < n; ++k) {
            list += ',';
            list += std::to_string(k);
        }
        for (int k = 0; k < n; ++k) {
            float value = quantise(static_cast<float>(k) / static_cast<float>(n - 1), n);
            EXPECT_EQ(text(value, list.c_str()), std::to_string(k)) << "n=" << n << " k=" << k;
        }
    }
}

TEST_F(ValueFormatTest, TimesAndFrequencies) {
    EXPECT_EQ(text(0.5f, "G"), "5.1Hz");
    EXPECT_EQ(text(0.0f, "G"), "0.2Hz");
    EXPECT_EQ(text(1.0f, "G"), "163.8Hz");
    EXPECT_EQ(text(0.0f, "F"), "    8Hz");
    EXPECT_EQ(text(0.5f, "F"), "  256Hz");
    EXPECT_EQ(text(1.0f, "F"), " 8192Hz");
    EXPECT_EQ(text(0.0f, "T"), "   2msec");
    EXPECT_EQ(text(0.5f, "T"), " 128msec");
    EXPECT_EQ(text(1.0f, "T"), "8192msec");
    EXPECT_EQ(text(0.0f, "U"), " 200msec");
    EXPECT_EQ(text(1.0f, "U"), "8742msec");
    EXPECT_EQ(text(0.5f, "V"), "1348mSec");
    EXPECT_EQ(text(0.0f, "V"), " 200mSec");
    EXPECT_EQ(text(0.99f, "V"), "----");
    EXPECT_EQ(text(1.0f, "V"), "----");
}

TEST_F(ValueFormatTest, OtherFormatsFallBackToTwoDecimals) {
    EXPECT_EQ(text(0.5f, "ILfoSync?S10,[1/32],[1/24]:G"), "0.50");
    EXPECT_EQ(text(0.125f, kSyncRule), "0.12");
    EXPECT_EQ(text(1.0f, ""), "1.00");
}

TEST_F(ValueFormatTest, MalformedListsAndValuesStayInBounds) {
    EXPECT_EQ(text(1.0f, "S3,a"), "");  // fewer items than the count
    EXPECT_EQ(text(0.5f, "S"), "");
    EXPECT_EQ(text(0.9f, "S99999999999999,x"), "");
    std::string longItem = "S2," + std::string(400, 'z') + ",b";
    EXPECT_EQ(text(0.0f, longItem.c_str()), std::string(kFormatTextSize - 1, 'z'));
    EXPECT_EQ(text(std::numeric_limits<float>::quiet_NaN(), nullptr), "  0%");
    EXPECT_EQ(text(-3.0f, "V"), " 200mSec");
    EXPECT_EQ(text(7.0f, "U"), "8742msec");
}

TEST(StepCount, CountsOnlyStepLists) {
    EXPECT_EQ(stepCount("S5,[Rnd],[Sin],[Tri],[Sqr],[Saw]"), 5);
    EXPECT_EQ(stepCount(kNoteList), 10);
    EXPECT_EQ(stepCount("S49,a"), 49);
    EXPECT_EQ(stepCount(nullptr), 0);
    EXPECT_EQ(stepCount("C"), 0);
    EXPECT_EQ(stepCount("S"), 0);
    EXPECT_EQ(stepCount("Sx,1,2"), 0);
    EXPECT_EQ(stepCount(kSyncRule), 0);
    EXPECT_EQ(stepCount("ILfoSync?S10,[1/32]:G"), 0);
    // A single step would divide by zero when quantising.
    EXPECT_EQ(stepCount("S1,only"), 0);
    EXPECT_EQ(stepCount("S0,"), 0);
}

TEST(Quantise, RoundsToTheNearestStep) {
    EXPECT_EQ(quantise(0.05f, 10), 0.0f);
    EXPECT_EQ(quantise(0.06f, 10), 1.0f / 9.0f);
    EXPECT_EQ(quantise(0.6f, 5), 0.5f);
    EXPECT_EQ(quantise(0.625f, 5), 0.75f);
    EXPECT_EQ(quantise(1.0f, 49), 1.0f);
    EXPECT_EQ(quantise(0.0f, 2), 0.0f);
    EXPECT_EQ(quantise(0.5f, 2), 1.0f);
    EXPECT_EQ(quantise(std::numeric_limits<float>::quiet_NaN(), 5), 0.0f);
    EXPECT_EQ(quantise(4.0f, 5), 1.0f);
}

TEST(SwitchRule, PicksTheOffOrOnFormatForTheTarget) {
    SwitchRule rule;
    ASSERT_TRUE(resolveSwitchRule(kSyncRule, 0.0f, rule));
    EXPECT_STREQ(rule.target, "LfoFreq");
    EXPECT_EQ(rule.format, kSyncRule + 9);  // the off part runs to the end of the string
    EXPECT_EQ(rule.format[0], 'G');
    EXPECT_EQ(stepCount(rule.format), 0);

    ASSERT_TRUE(resolveSwitchRule(kSyncRule, 0.49f, rule));
    EXPECT_EQ(rule.format[0], 'G');
    ASSERT_TRUE(resolveSwitchRule(kSyncRule, 0.5f, rule));
    EXPECT_STREQ(rule.format, kNoteList);
    EXPECT_EQ(stepCount(rule.format), 10);
}

TEST(SwitchRule, RejectsOtherFormatsAndCutsLongNames) {
    SwitchRule rule;
    EXPECT_FALSE(resolveSwitchRule(nullptr, 1.0f, rule));
    EXPECT_FALSE(resolveSwitchRule("S2,a,b", 1.0f, rule));
    EXPECT_FALSE(resolveSwitchRule("MNoColonAtAll", 0.0f, rule));
    EXPECT_FALSE(resolveSwitchRule("MOnlyOff:G", 1.0f, rule));
    ASSERT_TRUE(resolveSwitchRule("MOnlyOff:G", 0.0f, rule));
    EXPECT_STREQ(rule.format, "G");
    ASSERT_TRUE(resolveSwitchRule("MAVeryLongParameterName:G:C", 1.0f, rule));
    EXPECT_STREQ(rule.target, "AVeryLongParame");  // from the first 16 characters
    EXPECT_STREQ(rule.format, "C");
}

TEST_F(ValueFormatTest, PopupDropsTheBracketsOfNoteValuesOnly) {
    struct Case {
        float value;
        const char* format;
        const char* shown;
    };
    const Case cases[] = {
        {0.0f, kNoteList, "1/32"},
        {1.0f, kNoteList, "1/1"},
        {0.45f, kNoteList, "1/8"},
        {0.5f, kWaveList, "[Tri]"},
        {0.5f, "S3,[ 00],[+01],[+02]", "[+01]"},
        {0.0f, "S2,[1/],[x]", "[1/]"},
        {0.0f, "S2,[/2],[a/b]", "[/2]"},
        {0.9f, "S2,[/2],[a/b]", "[a/b]"},
        {0.0f, "S2,[1/2/3],[x]", "[1/2/3]"},
        {0.5f, nullptr, " 50%"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        char buffer[kFormatTextSize];
        popupValueText(c.value, buffer, c.format);
        EXPECT_STREQ(buffer, c.shown);
    }
}
