#include "report/analysis.h"

#include "report/series_list.h"

#include <cmath>

namespace report {

namespace {

bool isPresent(const StoredSeries& stored, const DecodedSeries& decoded)
{
    return stored.count.value_or(0) > 0 || !decoded.values.empty() || !decoded.issues.empty()
        || stored.premature.value_or(0) != 0;
}

// Compares the stored mean with the lists, as the program computed it: the total over the stored count.
MeanCheck checkMean(const StoredSeries& stored, SeriesAnalysis& series, std::vector<RowIssue>& issues)
{
    const std::int64_t count = stored.count.value_or(0);
    if (!series.valid || !stored.mean || count <= 0) {
        return MeanCheck::NotApplicable;
    }
    if (series.storedMs.size() != static_cast<std::size_t>(count)) {
        // Values were lost (a list cut by the table) or added or removed by hand: the count warning says
        // so, and the stored mean cannot be recomputed.
        return MeanCheck::NotPossible;
    }
    std::uint64_t total = 0;
    for (const std::uint32_t value : series.storedMs) {
        total += value;
    }
    const double computed = static_cast<double>(total) / static_cast<double>(count);
    if (roundHalfAway(computed) == *stored.mean) {
        return MeanCheck::Matches;
    }
    const double shortMean = static_cast<double>(total % 65536U) / static_cast<double>(count);
    const bool fromShortTotal = roundHalfAway(shortMean) == *stored.mean;
    issues.push_back({fromShortTotal ? IssueKind::MeanFromShortTotal : IssueKind::MeanDiffers,
                      series.number,
                      meanField(series.number),
                      {},
                      0,
                      *stored.mean,
                      computed});
    return fromShortTotal ? MeanCheck::ShortTotal : MeanCheck::Differs;
}

void useFineValues(const TimingLookup& timing, std::uint32_t record, TestAnalysis& analysis)
{
    std::array<StoredTimes, kSeriesCount> stored;
    for (std::size_t n = 0; n < stored.size(); ++n) {
        const SeriesAnalysis& series = analysis.series[n];
        stored[n] = {series.valid, series.fullWidth, series.storedMs};
    }
    TimingMatch match = timing.match(record, stored);
    if (match.issue) {
        analysis.issues.push_back(std::move(*match.issue));
    }
    if (!match.trials) {
        return;
    }
    analysis.fineValues = true;
    analysis.fineTrials = std::move(*match.trials);
    for (std::size_t n = 0; n < stored.size(); ++n) {
        SeriesAnalysis& series = analysis.series[n];
        if (series.valid) {
            series.rtMs.clear();
            for (const TimingTrial& trial : analysis.fineTrials[n]) {
                series.rtMs.push_back(static_cast<double>(trial.rtUs) / 1000.0);
            }
        }
    }
}

} // namespace

TestAnalysis analyse(const StoredTest& test, const AnalysisOptions& options, const TimingLookup* timing)
{
    TestAnalysis analysis;
    analysis.issues = test.issues;
    std::vector<RowIssue> checks;
    for (int n = 1; n <= kSeriesCount; ++n) {
        const StoredSeries& stored = test.series[static_cast<std::size_t>(n - 1)];
        SeriesAnalysis& series = analysis.series[static_cast<std::size_t>(n - 1)];
        const DecodedSeries decoded
            = decodeSeriesLists(n, stored.listA, stored.listB, listAField(n), listBField(n), kListFieldWidth);
        analysis.issues.insert(analysis.issues.end(), decoded.issues.begin(), decoded.issues.end());
        series.number = n;
        series.present = isPresent(stored, decoded);
        series.valid = decoded.ok();
        series.fullWidth = decoded.fullWidth;
        series.storedMs = decoded.values;
        series.rtMs.assign(decoded.values.begin(), decoded.values.end());
        if (series.valid && stored.count && static_cast<std::int64_t>(decoded.values.size()) != *stored.count
            && series.present) {
            checks.push_back({IssueKind::CountDiffers,
                              n,
                              countField(n),
                              {},
                              0,
                              static_cast<double>(*stored.count),
                              static_cast<double>(decoded.values.size())});
        }
        series.meanCheck = checkMean(stored, series, checks);
    }
    analysis.issues.insert(analysis.issues.end(), checks.begin(), checks.end());
    if (timing) {
        useFineValues(*timing, test.identity.record, analysis);
    }
    std::vector<double> block;
    std::int64_t premature = 0;
    bool prematureKnown = true;
    analysis.allValid = true;
    for (SeriesAnalysis& series : analysis.series) {
        const StoredSeries& stored = test.series[static_cast<std::size_t>(series.number - 1)];
        if (series.valid) {
            series.stats = computeStatistics(series.rtMs, options.thresholds);
            series.stats.premature = stored.premature;
            block.insert(block.end(), series.rtMs.begin(), series.rtMs.end());
        } else {
            analysis.allValid = false;
        }
        prematureKnown = prematureKnown && (stored.premature || !series.present);
        premature += stored.premature.value_or(0);
    }
    if (analysis.allValid) {
        analysis.all = computeStatistics(block, options.thresholds);
        if (prematureKnown) {
            analysis.all.premature = premature;
        }
    }
    return analysis;
}

} // namespace report
