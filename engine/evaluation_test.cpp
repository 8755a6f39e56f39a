#include "engine/errors.h"
#include "engine/evaluation.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace engine {
namespace {

class EvaluationTest : public ::testing::Test
{
protected:
    // A program whose end marker stands at `endMarker`, followed by `countLines`. Trial lines hold
    // reaction time 300 + index and no premature responses unless a test sets them.
    void setUp(int endMarker, const std::vector<std::string>& countLines, int seriesStart = 4)
    {
        state = MeasurementState {};
        std::string text;
        for (int i = 0; i < endMarker; ++i) {
            text += i == 3 ? "77 b.rtf\r\n" : "1\r\n";
        }
        text += "88 c.rtf\r\n";
        for (const auto& line : countLines) {
            text += line + "\r\n";
        }
        program = TestProgram(text);
        state.endMarkerIndex = endMarker;
        state.seriesStart = seriesStart;
        state.stepIndex = endMarker + 1;
        for (int i = 0; i <= kLastTrialIndex; ++i) {
            state.reactionTime[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(i < endMarker ? 300 + i : 0);
        }
    }

    void evaluate()
    {
        vyhodnoceni(state, program, [this](const MeasurementState& s) { stored.push_back(s); });
    }

    MeasurementState state;
    TestProgram program;
    std::vector<MeasurementState> stored;
};

TEST_F(EvaluationTest, OneSeriesFromTheStartMarkerOn)
{
    setUp(30, {" 20"});
    state.prematureCount[4] = 2;
    state.prematureCount[23] = 1;
    state.prematureCount[24] = 5; // beyond the series
    evaluate();
    ASSERT_EQ(stored.size(), 1U);
    EXPECT_EQ(state.seriesCount[0], 20);
    // Times 304 to 323: their mean is 313.5.
    EXPECT_DOUBLE_EQ(state.seriesMean[0], 313.5);
    EXPECT_EQ(state.prematureSum[0], 3);
    EXPECT_EQ(state.seriesTextA[0].substr(0, 12), "304|305|306|");
    EXPECT_EQ(state.seriesTextA[0].size(), 80U);
    for (std::size_t n = 1; n < 4; ++n) {
        EXPECT_EQ(state.seriesCount[n], 0);
        EXPECT_DOUBLE_EQ(state.seriesMean[n], 0.0);
        EXPECT_EQ(state.prematureSum[n], 0);
        EXPECT_TRUE(state.seriesTextA[n].empty());
        EXPECT_TRUE(state.seriesTextB[n].empty());
    }
    EXPECT_EQ(state.stepIndex, 0);
}

TEST_F(EvaluationTest, SeriesFollowEachOtherAndAZeroCountIsSkipped)
{
    setUp(14, {"3", "0", "+4", "$2"});
    evaluate();
    EXPECT_EQ(state.seriesTextA[0], "304|305|306|");
    EXPECT_TRUE(state.seriesTextA[1].empty());
    EXPECT_DOUBLE_EQ(state.seriesMean[1], 0.0);
    EXPECT_EQ(state.seriesTextA[2], "307|308|309|310|");
    EXPECT_EQ(state.seriesTextA[3], "311|312|");
    EXPECT_DOUBLE_EQ(state.seriesMean[3], 311.5);
}

TEST_F(EvaluationTest, ListASplitsBefore230Characters)
{
    setUp(70, {"60"});
    evaluate();
    // 60 three-digit values of 4 characters: 58 go to list A (232 characters), the last 2 to list B.
    EXPECT_EQ(state.seriesTextA[0].size(), 232U);
    EXPECT_EQ(state.seriesTextB[0], "362|363|");
}

TEST_F(EvaluationTest, FiveCountLinesStoreCountsButEvaluateNoSeries)
{
    setUp(14, {"2", "2", "2", "2", "2"});
    evaluate();
    ASSERT_EQ(stored.size(), 1U);
    for (std::size_t n = 0; n < 4; ++n) {
        EXPECT_EQ(state.seriesCount[n], 2);
        EXPECT_DOUBLE_EQ(state.seriesMean[n], 0.0);
        EXPECT_TRUE(state.seriesTextA[n].empty());
    }
}

TEST_F(EvaluationTest, CountsNeedNotMatchTheMeasuredTrials)
{
    // Series 1 asks for more trials than were measured: it runs on over the end-marker and count lines,
    // which hold zeros, and the mean divides by the count given.
    setUp(8, {"6"});
    evaluate();
    EXPECT_EQ(state.seriesTextA[0], "304|305|306|307|0|0|");
    EXPECT_DOUBLE_EQ(state.seriesMean[0], (304 + 305 + 306 + 307) / 6.0);

    // A negative count covers no trials and moves the next series back.
    setUp(14, {"-2", "3"});
    stored.clear();
    evaluate();
    EXPECT_TRUE(state.seriesTextA[0].empty());
    EXPECT_DOUBLE_EQ(state.seriesMean[0], 0.0);
    EXPECT_EQ(state.seriesTextA[1], "302|303|304|");
}

TEST_F(EvaluationTest, SeriesStopAtTheLastTrialLine)
{
    setUp(118, {"200"}, 100);
    evaluate();
    // Lines 100 to 120 exist; nothing past them is read.
    EXPECT_EQ(state.seriesTextA[0].size() + state.seriesTextB[0].size(), 18U * 4 + 3 * 2);
    EXPECT_DOUBLE_EQ(state.seriesMean[0], (400.0 + 417.0) * 18 / 2 / 200.0);
}

TEST_F(EvaluationTest, LongSeriesTotalsDoNotWrap)
{
    setUp(40, {"30"});
    for (std::size_t i = 4; i < 34; ++i) {
        state.reactionTime[i] = 3000;
    }
    evaluate();
    EXPECT_DOUBLE_EQ(state.seriesMean[0], 3000.0);
}

TEST_F(EvaluationTest, BadCountLineStoresNothingAndCanBeRetried)
{
    setUp(14, {"5", "x"});
    const int step = state.stepIndex;
    try {
        evaluate();
        FAIL() << "a bad count line must fail";
    } catch (const FormatError& error) {
        EXPECT_STREQ(error.what(), "'x' is not a valid integer value");
    }
    EXPECT_TRUE(stored.empty());
    EXPECT_EQ(state.stepIndex, step);
}

TEST_F(EvaluationTest, BlankLinesAtTheEndAreNoCountLines)
{
    // An editor's extra line ends after the counts must neither fail the evaluation nor push the
    // number of count lines past four.
    setUp(20, {"3", "2", "2", "2", "", "  "});
    evaluate();
    ASSERT_EQ(stored.size(), 1U);
    EXPECT_EQ(state.seriesTextA[3], "311|312|");
}

TEST_F(EvaluationTest, RepeatedEvaluationGivesTheSameResult)
{
    setUp(14, {"4", "3"});
    state.prematureCount[5] = 1;
    state.prematureCount[9] = 2;
    evaluate();
    state.stepIndex = 15;
    evaluate();
    ASSERT_EQ(stored.size(), 2U);
    EXPECT_EQ(stored[1].prematureSum[0], 1);
    EXPECT_EQ(stored[1].prematureSum[1], 2);
    EXPECT_EQ(stored[1].seriesTextA[1], stored[0].seriesTextA[1]);
    EXPECT_DOUBLE_EQ(stored[1].seriesMean[1], 309.0);
}

} // namespace
} // namespace engine
