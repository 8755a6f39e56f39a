#include "report/series_list.h"

#include <gtest/gtest.h>

namespace report {
namespace {

DecodedSeries decode(const std::string& a, const std::string& b = {}, std::size_t widthB = kListFieldWidth)
{
    return decodeSeriesLists(1, a, b, "SER1A", "SER1B", widthB);
}

TEST(SeriesListTest, ListsDecodeInTrialOrderAFirst)
{
    const DecodedSeries series = decode("312|298|", "305|0|4294967295|");
    ASSERT_TRUE(series.ok());
    EXPECT_EQ(series.values, (std::vector<std::uint32_t> {312, 298, 305, 0, 4294967295U}));
    EXPECT_TRUE(series.issues.empty());
    EXPECT_FALSE(series.fullWidth);
}

TEST(SeriesListTest, EmptyListsAreAnEmptySeries)
{
    const DecodedSeries series = decode("", "");
    EXPECT_TRUE(series.ok());
    EXPECT_TRUE(series.values.empty());
}

TEST(SeriesListTest, ValueCutByTheTableIsReportedAndLeftOut)
{
    std::string b;
    while (b.size() < 252) {
        b += "400|";
    }
    b += "31";
    ASSERT_EQ(b.size(), kListFieldWidth);
    const DecodedSeries series = decode("200|", b);
    ASSERT_TRUE(series.ok());
    EXPECT_TRUE(series.fullWidth);
    EXPECT_EQ(series.values.size(), 64U);
    EXPECT_EQ(series.values.back(), 400U);
    ASSERT_EQ(series.issues.size(), 1U);
    EXPECT_EQ(series.issues[0].kind, IssueKind::ListCut);
    EXPECT_EQ(series.issues[0].field, "SER1B");
    EXPECT_EQ(series.issues[0].text, "31");
    EXPECT_EQ(severityOf(series.issues[0].kind), Severity::Warning);
}

TEST(SeriesListTest, FullWidthListEndingWithBarMayHaveLostValues)
{
    const DecodedSeries series = decode("", "1234|", 5);
    EXPECT_TRUE(series.ok());
    EXPECT_TRUE(series.fullWidth);
    EXPECT_TRUE(series.issues.empty());
}

struct BrokenList
{
    const char* a;
    const char* b;
    IssueKind kind;
    const char* field;
    std::size_t position;
    const char* message;
};

class BrokenListTest : public ::testing::TestWithParam<BrokenList>
{ };

TEST_P(BrokenListTest, IsAnErrorAndGivesNoNumbers)
{
    const BrokenList& broken = GetParam();
    const DecodedSeries series = decode(broken.a, broken.b);
    EXPECT_FALSE(series.ok());
    EXPECT_TRUE(series.values.empty());
    ASSERT_EQ(series.issues.size(), 1U);
    EXPECT_EQ(series.issues[0].kind, broken.kind);
    EXPECT_EQ(series.issues[0].field, broken.field);
    EXPECT_EQ(series.issues[0].position, broken.position);
    EXPECT_EQ(describe(series.issues[0]), broken.message);
}

INSTANTIATE_TEST_SUITE_P(Damaged, BrokenListTest,
                         ::testing::Values(BrokenList {"312|2x8|", "", IssueKind::ListCharacter, "SER1A", 6,
                                                       "SER1A: character 6 ('x') is neither a digit nor '|'"},
                                           BrokenList {"312| 298|", "", IssueKind::ListCharacter, "SER1A", 5,
                                                       "SER1A: character 5 (' ') is neither a digit nor '|'"},
                                           BrokenList {"312|", "2ř8|", IssueKind::ListCharacter, "SER1B", 2,
                                                       "SER1B: character 2 ('ř') is neither a digit nor '|'"},
                                           BrokenList {"312|-5|", "", IssueKind::ListCharacter, "SER1A", 5,
                                                       "SER1A: character 5 ('-') is neither a digit nor '|'"},
                                           BrokenList {"312|\x01|", "", IssueKind::ListCharacter, "SER1A", 5,
                                                       "SER1A: character 5 (byte 0x01) is neither a digit nor '|'"},
                                           BrokenList {"312||", "", IssueKind::ListEmptyValue, "SER1A", 5,
                                                       "SER1A: the '|' at character 5 has no value before it"},
                                           BrokenList {"4294967296|", "", IssueKind::ListValueTooLarge, "SER1A", 10,
                                                       "SER1A: 4294967296 is too large for a reaction time"},
                                           BrokenList {"312|29", "", IssueKind::ListUnterminated, "SER1A", 6,
                                                       "SER1A: the last value '29' has no '|' after it"},
                                           BrokenList {"312|", "298|30", IssueKind::ListUnterminated, "SER1B", 6,
                                                       "SER1B: the last value '30' has no '|' after it"}));

TEST(SeriesListTest, AnErrorInListAHidesTheWholeSeries)
{
    const DecodedSeries series = decode("31x|", "298|");
    EXPECT_FALSE(series.ok());
    EXPECT_TRUE(series.values.empty());
    EXPECT_EQ(series.issues.size(), 1U);
}

} // namespace
} // namespace report
