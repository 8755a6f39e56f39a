#pragma once

#include "report/analysis.h"
#include "report/date_field.h"
#include "report/norms/percentile_rank.h"
#include "report/stored_test.h"
#include "report/table_sink.h"

#include <memory>
#include <string>
#include <vector>

// A stored test against a chosen norm table: what the protocol shows and what the exports add as columns.
namespace report::norms {

// The norm a report ranks by, and how. Without a table nothing is ranked and nothing is added.
struct NormRanking
{
    std::shared_ptr<const NormTable> table;
    int thresholdPr = 16;                      // a whole PR below it is below the threshold
    DateOrder dateOrder = DateOrder::DayMonth; // how the tests' DATE texts are read
    int currentYear = 2000;                    // the century of two-digit years in them
};

// Every measure of one test, in kMeasures order, and the group the person was compared with.
struct TestRanks
{
    std::vector<MeasureRank> ranks; // point into the ranking's table
    const NormGroup* group = nullptr;
};

// The ranks of `test`, whose analysis is `analysis` (made with `thresholds`), by the whole measured block.
// A block that could not be read in full is ranked as one without values. Precondition: ranking.table set.
TestRanks rankStoredTest(const NormRanking& ranking, const StoredTest& test, const TestAnalysis& analysis,
                         const Thresholds& thresholds);

// The columns the exports add at the end of the per-test table: norm_group, then pr_<measure> and
// t_<measure> for each measure of kMeasures, then norm_notes (the reasons of the measures without a
// rank, "no norm: ...", each once, separated by "; ").
void writeNormHeader(TableSink& sink);
void writeNormColumns(TableSink& sink, const NormTable& table, const TestRanks& ranks);

// The T-score as shown and exported: one decimal place.
double shownT(double t);

} // namespace report::norms
