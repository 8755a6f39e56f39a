#include "report/norms/norm_ranking.h"

#include <algorithm>
#include <cmath>

namespace report::norms {

TestRanks rankStoredTest(const NormRanking& ranking, const StoredTest& test, const TestAnalysis& analysis,
                         const Thresholds& thresholds)
{
    const TestIdentity& who = test.identity;
    const NormSubject subject = subjectOf(who.birthNumber1, who.birthNumber2,
                                          parseTestDate(who.date, ranking.dateOrder, ranking.currentYear));
    RankOptions options;
    options.thresholdPr = ranking.thresholdPr;
    options.thresholds = thresholds;
    // A block with a list that cannot be read would be ranked by part of its trials: it gets no rank.
    const Statistics stats = analysis.allValid ? analysis.all : Statistics {};
    TestRanks result;
    result.ranks = rankTest(*ranking.table, subject, stats, options);
    for (const MeasureRank& rank : result.ranks) {
        result.group = result.group ? result.group : rank.group;
    }
    return result;
}

double shownT(double t)
{
    return std::round(t * 10.0) / 10.0;
}

void writeNormHeader(TableSink& sink)
{
    sink.text("norm_group");
    for (const Measure measure : kMeasures) {
        sink.text("pr_" + std::string(measureName(measure)));
        sink.text("t_" + std::string(measureName(measure)));
    }
    sink.text("norm_notes");
}

void writeNormColumns(TableSink& sink, const NormTable& table, const TestRanks& ranks)
{
    ranks.group ? sink.text(describeGroup(*ranks.group)) : sink.empty();
    std::vector<std::string> notes;
    for (const MeasureRank& rank : ranks.ranks) {
        rank.wholePr ? sink.integer(*rank.wholePr) : sink.empty();
        rank.t ? sink.number(shownT(*rank.t)) : sink.empty();
        if (rank.noNorm) {
            const std::string note = describeNoNorm(rank, table);
            if (std::find(notes.begin(), notes.end(), note) == notes.end()) {
                notes.push_back(note);
            }
        }
    }
    std::string joined;
    for (const std::string& note : notes) {
        joined += (joined.empty() ? "" : "; ") + note;
    }
    sink.text(joined);
}

} // namespace report::norms
