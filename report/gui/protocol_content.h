#pragma once

#include "report/analysis.h"
#include "report/history.h"
#include "report/norms/norm_ranking.h"
#include "report/results_reader.h"
#include "report/station_timing.h"
#include "report/test_source.h"
#include "report/timing_record.h"

#include <cstdint>
#include <vector>

#include <QDateTime>
#include <QString>

namespace report::gui {

// Everything one protocol shows.
struct ProtocolContent
{
    StoredTest test;
    TestAnalysis analysis;
    std::vector<HistoryPoint> history; // the person's tests up to this one; shown from two on
    Thresholds thresholds;
    QString tableName; // the table's file name
    QDateTime created; // when the protocol was made
    // The norm ranked by, when one was chosen: the table (kept here, since the ranks point into it), the
    // threshold and the ranks of the whole block.
    norms::NormRanking norms;
    std::optional<norms::TestRanks> ranks;
    StationTiming station; // who stored the test, and the station's self-test before it
    // The test's changes after it was stored, from the audit journal beside the table, one line each
    // ("Po uložení změněno pole PRIJM ..."); empty when there were none or no journal tells.
    std::vector<QString> changes;
};

// The date order of the system's short date format (day before month, or month before day).
DateOrder systemDateOrder();

// Reads the test stored as `record` and what its protocol needs. `identities` are the table's rows among
// which the person's earlier tests are found (all of them, or those with the person's birth number);
// when null, the table is searched. Throws ReportError "row N does not exist:
// the table has M rows" / "row N is marked deleted", and what the reader throws.
// With `ranking`'s table the test is ranked against it.
ProtocolContent loadProtocol(ResultsReader& reader, const TimingRecord* timing, std::uint32_t record,
                             const std::vector<TestIdentity>* identities, const AnalysisOptions& options,
                             const norms::NormRanking& ranking = {});

// Reads the test `id` of `source` (a table's record number, the database's test number) and what its
// protocol needs; the history follows the person through everything the source holds. A test from
// the database is named by its office and station where a table's is named by the table. With `ranking`'s
// table the test is ranked against it; the station's timing is read beside a table (the database keeps
// none: the content says so). Throws what TestSource::read() throws.
ProtocolContent loadProtocol(TestSource& source, std::uint64_t id, const AnalysisOptions& options,
                             const norms::NormRanking& ranking = {});

} // namespace report::gui
