#include "report/norms/percentile_rank.h"

#include "report/row_issue.h"

#include <cassert>
#include <cmath>

namespace report::norms {

namespace {

// The rank k where the lines through the points reach `value` between points i and i + 1, whose values
// differ.
double between(const std::vector<int>& ranks, const std::vector<double>& points, std::size_t i, double value)
{
    const double share = (value - points[i]) / (points[i + 1] - points[i]);
    return ranks[i] + share * (ranks[i + 1] - ranks[i]);
}

std::string sexText(Sex sex)
{
    return sex == Sex::Male ? "men" : "women";
}

// Why the norm of `measure` cannot be used with `options`, if it cannot.
bool thresholdsDiffer(const NormTable& table, Measure measure, const RankOptions& options)
{
    if (measure == Measure::Lapses) {
        return table.lapseMs != options.thresholds.lapseMs;
    }
    if (measure == Measure::Anticipations) {
        return table.anticipationMs != options.thresholds.anticipationMs;
    }
    return false;
}

} // namespace

NormSubject subjectOf(std::string_view part1, std::string_view part2, const std::optional<CalendarDate>& testDay)
{
    NormSubject subject;
    const ParsedBirthNumber parsed = parseBirthNumber(part1, part2);
    if (!parsed.valid()) {
        subject.reason = NoNorm::BirthNumberInvalid;
        subject.birthNumberIssue = parsed.issue;
        return subject;
    }
    subject.sex = parsed.number->sex;
    if (!testDay) {
        subject.reason = NoNorm::TestDateUnreadable;
        return subject;
    }
    subject.age = ageOn(parsed.number->birthDate, {testDay->year, testDay->month, testDay->day});
    if (!subject.age) {
        subject.reason = NoNorm::BornAfterTest;
    }
    return subject;
}

double percentileRank(const std::vector<int>& ranks, const std::vector<double>& points, double value, bool higherBetter)
{
    assert(ranks.size() == points.size() && ranks.size() >= 2);
    assert(std::isfinite(value)); // the search below relies on comparisons that hold for numbers only
    const std::size_t last = points.size() - 1;
    if (higherBetter) {
        if (value < points.front()) {
            return ranks.front();
        }
        if (value >= points.back()) {
            return ranks.back();
        }
        std::size_t i = last; // the last point at or below the value: it lies below the last point
        while (points[i] > value) {
            --i;
        }
        return between(ranks, points, i, value);
    }
    if (value <= points.front()) {
        return 100.0 - ranks.front();
    }
    if (value > points.back()) {
        return 100.0 - ranks.back();
    }
    std::size_t i = 0; // the first point at or above the value: it lies above the first point
    while (points[i] < value) {
        ++i;
    }
    return 100.0 - between(ranks, points, i - 1, value);
}

double tScore(double mean, double sd, double value, bool higherBetter)
{
    assert(sd > 0.0);
    const double z = (value - mean) / sd;
    return 50.0 + 10.0 * (higherBetter ? z : -z);
}

Verdict verdictOf(int wholePr, int thresholdPr)
{
    if (wholePr < thresholdPr) {
        return Verdict::Below;
    }
    return wholePr == thresholdPr ? Verdict::At : Verdict::Above;
}

MeasureRank rankMeasure(const NormTable& table, const NormSubject& subject, Measure measure, const Statistics& stats,
                        const RankOptions& options)
{
    MeasureRank rank;
    rank.measure = measure;
    rank.age = subject.age;
    rank.sex = subject.sex;
    rank.value = measureValue(stats, measure);
    const MeasureNorm* norm = nullptr;
    if (subject.reason) {
        rank.noNorm = subject.reason;
        rank.birthNumberIssue = subject.birthNumberIssue;
    } else if (!(rank.group = table.groupFor(*subject.age, *subject.sex))) {
        rank.noNorm = NoNorm::NoGroup;
    } else if (!(norm = rank.group->find(measure))) {
        rank.noNorm = NoNorm::MeasureMissing;
    } else if (norm->small()) {
        rank.noNorm = NoNorm::GroupSmall;
    } else if (thresholdsDiffer(table, measure, options)) {
        rank.noNorm = NoNorm::ThresholdsDiffer;
    } else if (!rank.value || !std::isfinite(*rank.value)) {
        rank.noNorm = NoNorm::NoValue;
    }
    if (rank.noNorm) {
        return rank;
    }
    const bool higher = higherIsBetter(measure);
    rank.pr = percentileRank(table.ranks, norm->points, *rank.value, higher);
    rank.wholePr = static_cast<int>(roundHalfAway(*rank.pr));
    rank.verdict = verdictOf(*rank.wholePr, options.thresholdPr);
    if (norm->mean && norm->sd) {
        rank.t = tScore(*norm->mean, *norm->sd, *rank.value, higher);
    }
    return rank;
}

std::vector<MeasureRank> rankTest(const NormTable& table, const NormSubject& subject, const Statistics& stats,
                                  const RankOptions& options)
{
    std::vector<MeasureRank> ranks;
    for (const Measure measure : kMeasures) {
        ranks.push_back(rankMeasure(table, subject, measure, stats, options));
    }
    return ranks;
}

std::string describeNoNorm(const MeasureRank& rank, const NormTable& table)
{
    assert(rank.noNorm);
    const std::string measure(measureName(rank.measure));
    switch (*rank.noNorm) {
    case NoNorm::BirthNumberInvalid:
        return "no norm: " + describe(*rank.birthNumberIssue);
    case NoNorm::TestDateUnreadable:
        return "no norm: the test date gives no age";
    case NoNorm::BornAfterTest:
        return "no norm: the birth number's date is after the test day";
    case NoNorm::NoGroup:
        return "no norm: the norm has no group for age " + std::to_string(*rank.age) + ", " + sexText(*rank.sex);
    case NoNorm::MeasureMissing:
        return "no norm: the norm has no " + measure + " for the group " + describeGroup(*rank.group);
    case NoNorm::GroupSmall:
        return "no norm: the group " + describeGroup(*rank.group) + " has " + measure + " from "
            + std::to_string(rank.group->find(rank.measure)->n) + " people, fewer than " + std::to_string(kSmallGroup);
    case NoNorm::ThresholdsDiffer: {
        const bool lapses = rank.measure == Measure::Lapses;
        const std::optional<double> counted = lapses ? table.lapseMs : table.anticipationMs;
        return "no norm: the norm counts " + measure + (lapses ? " from " : " below ")
            + (counted ? plainNumber(*counted) + " ms" : "an unstated time") + ", the report otherwise";
    }
    case NoNorm::NoValue:
        return "no norm: the test gives no " + measure;
    }
    return "no norm";
}

} // namespace report::norms
