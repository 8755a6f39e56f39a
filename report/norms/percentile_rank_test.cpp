#include "report/norms/percentile_rank.h"

#include <gtest/gtest.h>

namespace report::norms {
namespace {

// Points at P10, P50 and P90; ranks worked out by hand from the definition in percentile_rank.h.
const char* const kNorm = "tivora-norms,1\n"
                          "name,Hand norm\nversion,1\nsource,Lab\n"
                          "collected_from,2024-01-01\ncollected_to,2025-12-31\n"
                          "lapse_ms,500\nanticipation_ms,100\n"
                          "age_from,age_to,sex,measure,n,flag,mean,sd,P10,P50,P90\n"
                          "18,24,M,mean_rt,40,,270,50,200,250,350\n"
                          "18,24,M,speed,40,,3.2,0.4,2.5,3,4\n"
                          "18,24,M,lapses,40,,,,0,0,2\n"
                          "18,24,M,sd_rt,40,,40,10,20,40,60\n"
                          "25,34,M,mean_rt,29,small,280,50,210,260,360\n"
                          "18,34,F,mean_rt,30,,290,60,220,270,380\n";

struct RankCase
{
    Measure measure;
    double value;
    double pr;
};

class PercentileRankTest : public ::testing::TestWithParam<RankCase>
{ };

TEST_P(PercentileRankTest, IsTheShareThatDidWorseOrEqual)
{
    const NormTable table = parseNormTable(kNorm);
    const RankCase& expected = GetParam();
    const MeasureNorm& norm = *table.groups[0].find(expected.measure);
    EXPECT_DOUBLE_EQ(percentileRank(table.ranks, norm.points, expected.value, higherIsBetter(expected.measure)),
                     expected.pr)
        << measureName(expected.measure) << " " << expected.value;
}

INSTANTIATE_TEST_SUITE_P(
    BothDirections, PercentileRankTest,
    ::testing::Values(
        // Lower is better: 100 - the rank where the points reach the value.
        RankCase {Measure::MeanRt, 250, 50}, RankCase {Measure::MeanRt, 300, 30}, // 100 - (50 + 50/100 · 40)
        RankCase {Measure::MeanRt, 225, 70},                                      // 100 - (10 + 25/50 · 40)
        RankCase {Measure::MeanRt, 200, 90}, RankCase {Measure::MeanRt, 150, 90}, // the best end
        RankCase {Measure::MeanRt, 350, 10}, RankCase {Measure::MeanRt, 900, 10}, // the worst end
        // Higher is better: the rank where the points reach the value.
        RankCase {Measure::Speed, 3.5, 70}, RankCase {Measure::Speed, 2.75, 30}, RankCase {Measure::Speed, 3, 50},
        RankCase {Measure::Speed, 2.0, 10}, RankCase {Measure::Speed, 4.5, 90},
        // Ties: 0 lapses is as good as the best 50 % had (P10 = P50 = 0), so better than or equal to 90 %.
        RankCase {Measure::Lapses, 0, 90}, RankCase {Measure::Lapses, 1, 30}, // 100 - (50 + 1/2 · 40)
        RankCase {Measure::Lapses, 2, 10}, RankCase {Measure::Lapses, 7, 10}));

TEST(PercentileRankTest, TiesInAHigherIsBetterMeasureGiveTheirHighestRank)
{
    EXPECT_DOUBLE_EQ(percentileRank({10, 50, 90}, {1, 2, 2}, 2, true), 90);
    EXPECT_DOUBLE_EQ(percentileRank({10, 50, 90}, {1, 1, 2}, 1, true), 50);
    EXPECT_DOUBLE_EQ(percentileRank({10, 50, 90}, {1, 1, 2}, 1, false), 90);
}

TEST(PercentileRankTest, TScoreTurnsWhereLowerIsBetter)
{
    EXPECT_DOUBLE_EQ(tScore(270, 50, 300, false), 44); // z = 0.6
    EXPECT_DOUBLE_EQ(tScore(270, 50, 220, false), 60);
    EXPECT_DOUBLE_EQ(tScore(3.2, 0.4, 3.6, true), 60);
    EXPECT_DOUBLE_EQ(tScore(3.2, 0.4, 2.4, true), 30);
}

Statistics statsOf(std::vector<double> rtMs)
{
    Statistics stats = computeStatistics(rtMs, Thresholds {});
    stats.premature = 1;
    return stats;
}

// A test of a person against kNorm: birth number, test day, and what the rank of the mean RT of 300 ms is.
struct SubjectCase
{
    const char* name;
    const char* part1;
    const char* part2;
    std::optional<CalendarDate> day;
    std::optional<int> age;
    std::optional<NoNorm> noNorm;
    const char* described; // the reason, or the group
};

void PrintTo(const SubjectCase& subject, std::ostream* out)
{
    *out << subject.name;
}

class GroupEdgeTest : public ::testing::TestWithParam<SubjectCase>
{ };

TEST_P(GroupEdgeTest, PersonIsRankedInTheGroupOfTheTestDay)
{
    const NormTable table = parseNormTable(kNorm);
    const SubjectCase& expected = GetParam();
    const NormSubject subject = subjectOf(expected.part1, expected.part2, expected.day);
    const MeasureRank rank = rankMeasure(table, subject, Measure::MeanRt, statsOf({300, 300}), RankOptions {});
    EXPECT_EQ(rank.age, expected.age);
    EXPECT_EQ(rank.noNorm, expected.noNorm);
    EXPECT_EQ(rank.pr.has_value(), !expected.noNorm);
    EXPECT_EQ(rank.t.has_value(), !expected.noNorm);
    if (rank.noNorm) {
        EXPECT_EQ(describeNoNorm(rank, table), expected.described);
    } else {
        ASSERT_NE(rank.group, nullptr);
        EXPECT_EQ(describeGroup(*rank.group), expected.described);
    }
}

// 000615/0001: a man born 2000-06-15; 005615/0006: a woman born the same day (000615000 mod 11 = 1,
// 005615000 mod 11 = 6); 042101/0007: a man born 2004-01-01 with the month + 20.
INSTANTIATE_TEST_SUITE_P(
    Birthdays, GroupEdgeTest,
    ::testing::Values(
        SubjectCase {"EighteenOnTheTestDay", "000615", "0001", CalendarDate {2018, 6, 15}, 18, std::nullopt,
                     "18-24, men"},
        SubjectCase {"SeventeenTheDayBefore", "000615", "0001", CalendarDate {2018, 6, 14}, 17, NoNorm::NoGroup,
                     "no norm: the norm has no group for age 17, men"},
        SubjectCase {"LastDayOf24", "000615", "0001", CalendarDate {2025, 6, 14}, 24, std::nullopt, "18-24, men"},
        SubjectCase {"TwentyFiveOnTheTestDay", "000615", "0001", CalendarDate {2025, 6, 15}, 25, NoNorm::GroupSmall,
                     "no norm: the group 25-34, men has mean_rt from 29 people, fewer than 30"},
        SubjectCase {"WomanByHerMonth", "005615", "0006", CalendarDate {2025, 6, 15}, 25, std::nullopt, "18-34, women"},
        SubjectCase {"WomanTooOld", "005615", "0006", CalendarDate {2035, 6, 15}, 35, NoNorm::NoGroup,
                     "no norm: the norm has no group for age 35, women"},
        SubjectCase {"ManOfThe2004Range", "042101", "0007", CalendarDate {2022, 1, 1}, 18, std::nullopt, "18-24, men"},
        SubjectCase {"InvalidBirthNumber", "042101", "0008", CalendarDate {2022, 1, 1}, std::nullopt,
                     NoNorm::BirthNumberInvalid, "no norm: the birth number is not divisible by 11"},
        SubjectCase {"BlankBirthNumber", "      ", "    ", CalendarDate {2022, 1, 1}, std::nullopt,
                     NoNorm::BirthNumberInvalid, "no norm: the birth number is blank"},
        SubjectCase {"DateUnreadable", "000615", "0001", std::nullopt, std::nullopt, NoNorm::TestDateUnreadable,
                     "no norm: the test date gives no age"},
        SubjectCase {"BornAfterTheTest", "000615", "0001", CalendarDate {2000, 6, 14}, std::nullopt,
                     NoNorm::BornAfterTest, "no norm: the birth number's date is after the test day"}),
    [](const ::testing::TestParamInfo<SubjectCase>& param) { return std::string(param.param.name); });

TEST(RankTest, EveryMeasureGetsARankOrItsReason)
{
    const NormTable table = parseNormTable(kNorm);
    const NormSubject man = subjectOf("000615", "0001", CalendarDate {2020, 1, 1});
    // RTs 200, 300, 400 and 600: mean 375, 1 lapse, SD 170.78, speed 3.25 (1000/200 + ... over 4).
    const std::vector<MeasureRank> ranks = rankTest(table, man, statsOf({200, 300, 400, 600}), RankOptions {});
    ASSERT_EQ(ranks.size(), kMeasures.size());
    EXPECT_DOUBLE_EQ(*ranks[0].pr, 10); // mean_rt 375 beyond P90
    EXPECT_DOUBLE_EQ(*ranks[0].t, 29);  // 50 - 10 (375 - 270) / 50
    EXPECT_EQ(ranks[1].noNorm, NoNorm::MeasureMissing);
    EXPECT_EQ(describeNoNorm(ranks[1], table), "no norm: the norm has no median_rt for the group 18-24, men");
    EXPECT_DOUBLE_EQ(*ranks[2].pr, 10); // sd_rt 170.8 beyond P90
    EXPECT_DOUBLE_EQ(*ranks[3].pr, 55); // speed (5 + 3.333 + 2.5 + 1.667) / 4 = 3.125: 50 + 0.125 · 40
    EXPECT_DOUBLE_EQ(*ranks[4].pr, 30); // 1 lapse
    EXPECT_FALSE(ranks[4].t);           // the norm gives no spread for lapses
    EXPECT_EQ(ranks[5].noNorm, NoNorm::MeasureMissing);
    EXPECT_EQ(ranks[6].noNorm, NoNorm::MeasureMissing);

    RankOptions otherLapses;
    otherLapses.thresholds.lapseMs = 400;
    const MeasureRank lapses = rankMeasure(table, man, Measure::Lapses, statsOf({200}), otherLapses);
    EXPECT_EQ(lapses.noNorm, NoNorm::ThresholdsDiffer);
    EXPECT_EQ(describeNoNorm(lapses, table), "no norm: the norm counts lapses from 500 ms, the report otherwise");

    const MeasureRank oneValue = rankMeasure(table, man, Measure::SdRt, statsOf({200}), RankOptions {});
    EXPECT_EQ(oneValue.noNorm, NoNorm::NoValue);
    EXPECT_EQ(describeNoNorm(oneValue, table), "no norm: the test gives no sd_rt");
}

TEST(RankTest, ThresholdJudgesTheWholePr)
{
    const NormTable table = parseNormTable(kNorm);
    const NormSubject man = subjectOf("000615", "0001", CalendarDate {2020, 1, 1});
    RankOptions options;
    options.thresholdPr = 30;
    const auto judged
        = [&](double meanRt) { return rankMeasure(table, man, Measure::MeanRt, statsOf({meanRt}), options); };
    EXPECT_EQ(judged(300).wholePr, 30); // exactly PR 30
    EXPECT_EQ(judged(300).verdict, Verdict::At);
    EXPECT_DOUBLE_EQ(*judged(301).pr, 29.6); // 100 - (50 + 51/100 · 40)
    EXPECT_EQ(judged(301).wholePr, 30);
    EXPECT_EQ(judged(301).verdict, Verdict::At);
    EXPECT_EQ(judged(302).wholePr, 29); // 29.2
    EXPECT_EQ(judged(302).verdict, Verdict::Below);
    EXPECT_EQ(judged(298).verdict, Verdict::Above); // 30.8
    EXPECT_EQ(judged(298).wholePr, 31);
    options.thresholdPr = 16;
    EXPECT_EQ(judged(340).verdict, Verdict::Below); // 100 - (50 + 90/100 · 40) = 14
    EXPECT_EQ(judged(335).verdict, Verdict::At);    // 16
}

} // namespace
} // namespace report::norms
