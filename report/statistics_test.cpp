#include "report/statistics.h"

#include <cmath>
#include <gtest/gtest.h>

namespace report {
namespace {

const Thresholds kUsual;

TEST(StatisticsTest, HandComputedSample)
{
    // Mean 350; deviations -150, -50, 50, 150: squares 50000 over n - 1 = 3.
    const Statistics stats = computeStatistics({400.0, 200.0, 500.0, 300.0}, kUsual);
    EXPECT_EQ(stats.n, 4U);
    EXPECT_DOUBLE_EQ(*stats.mean, 350.0);
    EXPECT_DOUBLE_EQ(*stats.median, 350.0);
    EXPECT_DOUBLE_EQ(*stats.sd, std::sqrt(50000.0 / 3.0));
    EXPECT_DOUBLE_EQ(*stats.min, 200.0);
    EXPECT_DOUBLE_EQ(*stats.max, 500.0);
    // h = 3 * 0.1 = 0.3 between 200 and 300; h = 2.7 between 400 and 500.
    EXPECT_DOUBLE_EQ(*stats.p10, 230.0);
    EXPECT_DOUBLE_EQ(*stats.p90, 470.0);
    EXPECT_DOUBLE_EQ(*stats.speed, (5.0 + 1000.0 / 300.0 + 2.5 + 2.0) / 4.0);
    EXPECT_EQ(stats.lapses, 1U); // 500 counts: at or above the threshold
    EXPECT_EQ(stats.anticipations, 0U);
    EXPECT_FALSE(stats.premature);
}

TEST(StatisticsTest, OneTrialHasNoStandardDeviation)
{
    const Statistics stats = computeStatistics({312.0}, kUsual);
    EXPECT_EQ(stats.n, 1U);
    EXPECT_DOUBLE_EQ(*stats.mean, 312.0);
    EXPECT_DOUBLE_EQ(*stats.median, 312.0);
    EXPECT_FALSE(stats.sd);
    EXPECT_DOUBLE_EQ(*stats.p10, 312.0);
    EXPECT_DOUBLE_EQ(*stats.p90, 312.0);
    EXPECT_DOUBLE_EQ(*stats.min, 312.0);
    EXPECT_DOUBLE_EQ(*stats.max, 312.0);
}

TEST(StatisticsTest, EmptySeriesHasOnlyCounts)
{
    const Statistics stats = computeStatistics({}, kUsual);
    EXPECT_EQ(stats.n, 0U);
    EXPECT_EQ(stats.lapses, 0U);
    EXPECT_EQ(stats.anticipations, 0U);
    for (const auto* value :
         {&stats.mean, &stats.median, &stats.sd, &stats.min, &stats.max, &stats.p10, &stats.p90, &stats.speed}) {
        EXPECT_FALSE(*value);
    }
}

TEST(StatisticsTest, TiesAndOddCounts)
{
    const Statistics same = computeStatistics({300.0, 300.0, 300.0}, kUsual);
    EXPECT_DOUBLE_EQ(*same.sd, 0.0);
    EXPECT_DOUBLE_EQ(*same.median, 300.0);
    EXPECT_DOUBLE_EQ(*same.p90, 300.0);
    const Statistics odd = computeStatistics({250.0, 300.0, 300.0, 310.0, 900.0}, kUsual);
    EXPECT_DOUBLE_EQ(*odd.median, 300.0);
    EXPECT_DOUBLE_EQ(*odd.mean, 412.0);
    EXPECT_DOUBLE_EQ(*odd.p10, 270.0); // h = 0.4 between 250 and 300
    EXPECT_DOUBLE_EQ(*odd.p90, 664.0); // h = 3.6 between 310 and 900
}

TEST(StatisticsTest, ThresholdsAreOptionsWithTheirEdges)
{
    const std::vector<double> rts {99.0, 100.0, 499.0, 500.0, 0.0};
    const Statistics usual = computeStatistics(rts, kUsual);
    EXPECT_EQ(usual.anticipations, 2U); // 0 and 99; 100 is not below 100
    EXPECT_EQ(usual.lapses, 1U);
    // A response in the stimulus's own millisecond has no speed and is left out of that mean only.
    EXPECT_DOUBLE_EQ(*usual.speed, (1000.0 / 99.0 + 10.0 + 1000.0 / 499.0 + 2.0) / 4.0);
    const Statistics strict = computeStatistics(rts, Thresholds {400.0, 150.0});
    EXPECT_EQ(strict.anticipations, 3U);
    EXPECT_EQ(strict.lapses, 2U);
    EXPECT_FALSE(computeStatistics({0.0}, kUsual).speed);
}

TEST(StatisticsTest, PercentileAtTheEnds)
{
    const std::vector<double> sorted {1.0, 2.0, 3.0};
    EXPECT_DOUBLE_EQ(percentileOfSorted(sorted, 0.0), 1.0);
    EXPECT_DOUBLE_EQ(percentileOfSorted(sorted, 1.0), 3.0);
    EXPECT_DOUBLE_EQ(percentileOfSorted(sorted, 0.25), 1.5);
}

TEST(StatisticsTest, StoredMeansRoundHalfAwayFromZero)
{
    EXPECT_EQ(roundHalfAway(312.5), 313.0);
    EXPECT_EQ(roundHalfAway(312.49), 312.0);
    EXPECT_EQ(roundHalfAway(-250.5), -251.0);
}

} // namespace
} // namespace report
