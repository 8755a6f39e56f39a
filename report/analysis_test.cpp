#include "report/analysis.h"

#include <gtest/gtest.h>

namespace report {
namespace {

struct Series
{
    std::int64_t count;
    double mean;
    std::int64_t premature;
    std::string listA;
    std::string listB = {};
};

StoredTest row(const std::vector<Series>& series)
{
    StoredTest test;
    test.identity.record = 7;
    for (std::size_t n = 0; n < series.size(); ++n) {
        test.series[n] = {series[n].count, series[n].mean, series[n].premature, series[n].listA, series[n].listB};
    }
    for (std::size_t n = series.size(); n < test.series.size(); ++n) {
        test.series[n] = {0, 0.0, 0, "", ""};
    }
    return test;
}

std::vector<IssueKind> kinds(const TestAnalysis& analysis)
{
    std::vector<IssueKind> list;
    for (const RowIssue& issue : analysis.issues) {
        list.push_back(issue.kind);
    }
    return list;
}

TEST(TestAnalysisTest, StoredTestAsTheProgramWroteIt)
{
    const TestAnalysis analysis = analyse(row({{4, 300.0, 1, "250|300|300|350|"}, {2, 450.0, 2, "400|500|"}}), {});
    EXPECT_TRUE(analysis.issues.empty());
    EXPECT_TRUE(analysis.allValid);
    EXPECT_FALSE(analysis.fineValues);
    const SeriesAnalysis& first = analysis.series[0];
    EXPECT_TRUE(first.present && first.valid);
    EXPECT_EQ(first.meanCheck, MeanCheck::Matches);
    EXPECT_DOUBLE_EQ(*first.stats.median, 300.0);
    EXPECT_EQ(*first.stats.premature, 1);
    EXPECT_EQ(analysis.series[1].stats.lapses, 1U);
    EXPECT_FALSE(analysis.series[2].present);
    EXPECT_EQ(analysis.series[2].stats.n, 0U);
    // The whole block is both series as one sample; premature responses add up.
    EXPECT_EQ(analysis.all.n, 6U);
    EXPECT_DOUBLE_EQ(*analysis.all.mean, 350.0);
    EXPECT_DOUBLE_EQ(*analysis.all.median, 325.0);
    EXPECT_EQ(*analysis.all.premature, 3);
}

TEST(TestAnalysisTest, StoredMeanIsCheckedAsTheTableRoundsIt)
{
    // 625 / 2 = 312.5 is stored as 313.
    EXPECT_EQ(analyse(row({{2, 313.0, 0, "312|313|"}}), {}).series[0].meanCheck, MeanCheck::Matches);
    const TestAnalysis off = analyse(row({{2, 312.0, 0, "312|313|"}}), {});
    EXPECT_EQ(off.series[0].meanCheck, MeanCheck::Differs);
    ASSERT_EQ(kinds(off), std::vector<IssueKind> {IssueKind::MeanDiffers});
    EXPECT_EQ(describe(off.issues[0]), "series 1: the stored mean PRUMER1 = 312 differs from the lists' mean 312.5");
    // A warning: the numbers themselves stand.
    EXPECT_FALSE(off.hasErrors());
    EXPECT_DOUBLE_EQ(*off.series[0].stats.mean, 312.5);
}

TEST(TestAnalysisTest, RowsEditedByHand)
{
    // A value changed: the stored mean no longer fits.
    const TestAnalysis changed = analyse(row({{3, 300.0, 0, "300|310|400|"}}), {});
    EXPECT_EQ(kinds(changed), std::vector<IssueKind> {IssueKind::MeanDiffers});
    // A value removed: the count says so, and the mean cannot be checked.
    const TestAnalysis removed = analyse(row({{4, 300.0, 2, "300|310|290|"}}), {});
    EXPECT_EQ(kinds(removed), std::vector<IssueKind> {IssueKind::CountDiffers});
    EXPECT_EQ(removed.series[0].meanCheck, MeanCheck::NotPossible);
    EXPECT_EQ(describe(removed.issues[0]), "series 1: the lists hold 3 values, POC_1SER says 4");
    EXPECT_EQ(removed.series[0].stats.n, 3U);
    // Values moved into list B by hand still count in order.
    const TestAnalysis moved = analyse(row({{3, 300.0, 0, "300|", "310|290|"}}), {});
    EXPECT_TRUE(moved.issues.empty());
    EXPECT_DOUBLE_EQ(*moved.series[0].stats.max, 310.0);
}

TEST(TestAnalysisTest, DamagedListGivesNoNumbersForItsSeriesNorTheBlock)
{
    const TestAnalysis analysis = analyse(row({{3, 300.0, 0, "300|3x0|300|"}, {2, 200.0, 0, "150|250|"}}), {});
    EXPECT_TRUE(analysis.hasErrors());
    EXPECT_FALSE(analysis.series[0].valid);
    EXPECT_EQ(analysis.series[0].stats.n, 0U);
    EXPECT_FALSE(analysis.series[0].stats.mean);
    EXPECT_EQ(analysis.series[0].meanCheck, MeanCheck::NotApplicable);
    EXPECT_TRUE(analysis.series[1].valid);
    EXPECT_DOUBLE_EQ(*analysis.series[1].stats.mean, 200.0);
    EXPECT_FALSE(analysis.allValid);
    EXPECT_FALSE(analysis.all.mean);
}

TEST(TestAnalysisTest, MeanOfOlderVersionsFromASixteenBitTotal)
{
    // 40000 + 31072 = 71072, which 16 bits hold as 5536: 2768 over 2.
    const TestAnalysis analysis = analyse(row({{2, 2768.0, 0, "40000|31072|"}}), {});
    EXPECT_EQ(analysis.series[0].meanCheck, MeanCheck::ShortTotal);
    EXPECT_EQ(kinds(analysis), std::vector<IssueKind> {IssueKind::MeanFromShortTotal});
    EXPECT_DOUBLE_EQ(*analysis.series[0].stats.mean, 35536.0);
}

TEST(TestAnalysisTest, CountsWithoutTrialsAndEmptyRows)
{
    // More than four count lines: counts stored, no series evaluated, means 0.
    const TestAnalysis unevaluated = analyse(row({{8, 0.0, 0, ""}, {8, 0.0, 0, ""}}), {});
    EXPECT_EQ(kinds(unevaluated), (std::vector<IssueKind> {IssueKind::CountDiffers, IssueKind::CountDiffers}));
    EXPECT_TRUE(unevaluated.allValid);
    EXPECT_EQ(unevaluated.all.n, 0U);
    // "pokus" before any test: everything zero, nothing to say.
    const TestAnalysis empty = analyse(row({}), {});
    EXPECT_TRUE(empty.issues.empty());
    EXPECT_EQ(empty.all.n, 0U);
    EXPECT_EQ(*empty.all.premature, 0);
    for (const SeriesAnalysis& series : empty.series) {
        EXPECT_FALSE(series.present);
        EXPECT_EQ(series.meanCheck, MeanCheck::NotApplicable);
    }
}

TEST(TestAnalysisTest, FieldThatIsNoNumberIsAnError)
{
    StoredTest test = row({{2, 250.0, 0, "250|250|"}});
    test.series[0].premature.reset();
    test.issues.push_back({IssueKind::NumberFieldInvalid, 1, "POC_PRED1", "1O", 0, 0, 0});
    const TestAnalysis analysis = analyse(test, {});
    EXPECT_TRUE(analysis.hasErrors());
    EXPECT_EQ(describe(analysis.issues[0]), "POC_PRED1: '1O' is not a number");
    EXPECT_DOUBLE_EQ(*analysis.all.mean, 250.0);
    EXPECT_FALSE(analysis.series[0].stats.premature);
    EXPECT_FALSE(analysis.all.premature);
}

TEST(TestAnalysisTest, ThresholdsReachTheStatistics)
{
    AnalysisOptions options;
    options.thresholds = {300.0, 260.0};
    const TestAnalysis analysis = analyse(row({{4, 300.0, 0, "250|300|300|350|"}}), options);
    EXPECT_EQ(analysis.series[0].stats.lapses, 3U);
    EXPECT_EQ(analysis.series[0].stats.anticipations, 1U);
}

} // namespace
} // namespace report
