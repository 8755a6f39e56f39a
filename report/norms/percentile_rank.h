#pragma once

#include "report/birth_number.h"
#include "report/date_field.h"
#include "report/norms/norm_table.h"
#include "report/statistics.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A person's result against a norm: the percentile rank (PR) and the T-score in the group of their age
// and sex at the test, and how the PR stands to a threshold. Both are oriented so that more is better:
// a fast, steady, attentive person gets a high PR and T whatever the measure.
//
// The PR is the share of the norm group, in percent, whose performance was worse than or equal to the
// person's, read off the group's percentile points by linear interpolation. With points (k_i, v_i), k the
// rank and v the value, not descending, and P(k) the straight lines through them:
// - where a higher value is better (speed), PR(x) = the highest k with P(k) <= x: between two points
//   k_i + (x - v_i) / (v_{i+1} - v_i) * (k_{i+1} - k_i); on a run of equal points, its highest rank;
// - where a lower value is better (all other measures), PR(x) = 100 - the lowest k with P(k) >= x: the
//   share that was slower, or made more lapses, or as many; on a run of equal points, 100 - its lowest
//   rank.
// Beyond the first and last point the PR stays at the end it passed: with points P1 to P99 it is 1 to 99
// (with P5 to P95, 5 to 95). T = 50 + 10 z, with z = (x - mean) / SD of the group, and its sign turned
// where a lower value is better. The PR is shown and judged as a whole number (rounded, halves up).
namespace report::norms {

// Why a result gets no rank. A rank is never given in its place.
enum class NoNorm {
    BirthNumberInvalid, // the birth number breaks a rule (see birthNumberIssue)
    TestDateUnreadable, // the test date gives no day of the calendar
    BornAfterTest,      // the birth number's date is after the test day
    NoGroup,            // the norm has no group for the person's age and sex
    MeasureMissing,     // the group has no norm for the measure
    GroupSmall,         // the group's norm of the measure comes from fewer than kSmallGroup people
    ThresholdsDiffer,   // lapses or anticipations counted at other thresholds than the norm's
    NoValue,            // the test does not define the measure (no reaction times, the SD of one value)
};

enum class Verdict { Below, At, Above };

// Who is compared: age and sex at the test, or why nobody can be.
struct NormSubject
{
    std::optional<int> age;
    std::optional<Sex> sex;
    std::optional<NoNorm> reason; // BirthNumberInvalid, TestDateUnreadable or BornAfterTest
    std::optional<BirthNumberIssue> birthNumberIssue;
};

// The subject of a test whose birth number has the stored parts `part1` and `part2`, taken on `testDay`
// (nullopt when its date could not be read).
NormSubject subjectOf(std::string_view part1, std::string_view part2, const std::optional<CalendarDate>& testDay);

struct RankOptions
{
    int thresholdPr = 16; // 0..100: a whole PR below it is below the threshold
    // The thresholds the report counts lapses and anticipations with; ranks of those measures need the
    // norm's to be the same.
    Thresholds thresholds;
};

// One measure of one test against the norm. Exactly one of `pr` and `noNorm` is set.
struct MeasureRank
{
    Measure measure = Measure::MeanRt;
    std::optional<int> age; // the subject's, when known
    std::optional<Sex> sex;
    std::optional<double> value;      // the test's, when it has one
    const NormGroup* group = nullptr; // the group compared with (points into the table), when there is one
    std::optional<double> pr;         // as interpolated, within the table's first and last rank
    std::optional<int> wholePr;       // pr rounded: what is shown and judged
    std::optional<double> t;          // only when the norm gives the measure's mean and SD
    std::optional<Verdict> verdict;   // wholePr against the threshold
    std::optional<NoNorm> noNorm;
    std::optional<BirthNumberIssue> birthNumberIssue; // with NoNorm::BirthNumberInvalid
};

// The PR of `value` (a finite number) by the points `points` at the ranks `ranks`, as defined above.
// Preconditions: ranks and points of the same length, at least two, ranks ascending within 1..99, points
// not descending.
double percentileRank(const std::vector<int>& ranks, const std::vector<double>& points, double value,
                      bool higherBetter);

// The T-score of `value` for a norm of `mean` and `sd` (above 0), as defined above.
double tScore(double mean, double sd, double value, bool higherBetter);

// `wholePr` against `thresholdPr`.
Verdict verdictOf(int wholePr, int thresholdPr);

// `measure` of a test whose whole measured block has `stats`, for `subject`, against `table`. The result
// points into `table`.
MeasureRank rankMeasure(const NormTable& table, const NormSubject& subject, Measure measure, const Statistics& stats,
                        const RankOptions& options);

// Every measure of kMeasures, in that order.
std::vector<MeasureRank> rankTest(const NormTable& table, const NormSubject& subject, const Statistics& stats,
                                  const RankOptions& options);

// Why `rank` has no norm, in English: "no norm: the group 18-24, men has mean_rt from 25 people, fewer
// than 30". Precondition: rank.noNorm is set.
std::string describeNoNorm(const MeasureRank& rank, const NormTable& table);

} // namespace report::norms
