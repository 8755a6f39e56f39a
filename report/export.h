#pragma once

#include "crypto/key_file.h"
#include "report/analysis.h"
#include "report/change_history.h"
#include "report/norms/norm_ranking.h"
#include "report/results_reader.h"
#include "report/table_sink.h"
#include "report/timing_record.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace report {

enum class ExportFormat {
    Csv,    // one line per test: the 25 fields as typed values, then the statistics
    Xlsx,   // the same as a workbook
    Trials, // CSV, one line per trial: row, series, trial number, reaction time, and the timing record's values
};

struct ExportOptions
{
    ExportFormat format = ExportFormat::Csv;
    CsvOptions csv;
    AnalysisOptions analysis;
    // With a norm table, the per-test table ends with the norm's columns (writeNormHeader()); without one
    // the export is as it always was.
    norms::NormRanking norms;
    // When set, the export leaves out the names and the birth number and gives each person a pseudonym
    // under this key, the age at the test and the sex instead (pseudonymised.h).
    std::optional<crypto::Key> pseudonymKey;
};

// What an export did, and the problems of the rows it wrote ("row 7: SER1A: ...").
struct ExportSummary
{
    std::size_t tests = 0;
    std::size_t trials = 0;
    std::size_t rowsWithErrors = 0;
    std::vector<std::string> problems; // errors and warnings, in row order
};

// Writes the tests of `reader` to `outputPath` in `options.format`: every shown row in record order, or
// only `records` (in that order; rows marked deleted meanwhile are left out) when given. `timing` may be
// null. The changes after storing come from the audit journal beside the table; without one (or with one
// that cannot be read, a warning in the summary's problems) their columns are empty. The output is complete or not
// there at all, and never the table or its timing record. Throws ReportError and storage::TableError.
ExportSummary exportTests(ResultsReader& reader, const TimingRecord* timing, const std::string& outputPath,
                          const ExportOptions& options, const std::vector<std::uint32_t>* records = nullptr);

// Throws ReportError "Cannot write file <output>: ..." when `output` may not be written (see OutputFile),
// or is the table at `table` or its timing record, under any spelling or link, also when the table is
// named through a link: an export or a protocol never replaces what it reads.
void refuseToReplaceInputs(const std::string& output, const std::string& table);

// The header and one row of the per-test table, for any sink. After the table's own columns come the
// test's changes after storing in `changes` (their number, and the last one's time, station and user),
// both empty when `changes` is null: without a journal nothing is known. With `ranking` (and its table)
// the norm's columns follow, the test ranked with the analysis' `thresholds`; `after` are text cells added
// at the end of each line (the office and station of tests from the database).
void writeTestHeader(TableSink& sink, const std::vector<std::string>& after = {},
                     const norms::NormRanking* ranking = nullptr);
void writeTestRow(TableSink& sink, const StoredTest& test, const TestAnalysis& analysis,
                  const std::vector<std::string>& after = {}, const norms::NormRanking* ranking = nullptr,
                  const Thresholds& thresholds = {}, const ChangeHistory* changes = nullptr);

// The header and the lines of one test of the per-trial table, with the test's changes and `after` as
// above. Returns the number of lines.
void writeTrialHeader(TableSink& sink, const std::vector<std::string>& after = {});
std::size_t writeTrialRows(TableSink& sink, const StoredTest& test, const TestAnalysis& analysis,
                           const std::vector<std::string>& after = {}, const ChangeHistory* changes = nullptr);

class PseudonymisingSink;

// The sink a tests export writes into: CSV or XLSX (also for the trials) at `outputPath`, behind a
// pseudonymising sink when `options` give a key; `persons` is then set to that sink (else null), for the
// export to tell it each test's person.
std::unique_ptr<TableSink> openExportSink(const std::string& outputPath, const ExportOptions& options,
                                          PseudonymisingSink*& persons);

// Writes `texts` as text cells (empty ones as empty cells).
void writeTexts(TableSink& sink, const std::vector<std::string>& texts);

// What `open` reads of the audit journal for an export's change columns: null when there is none, and
// also when it cannot be read, with a warning in `summary` (then the change columns stay empty); a
// damaged journal's problems are added as warnings.
std::unique_ptr<ChangeHistory> changesForExport(const std::function<std::unique_ptr<ChangeHistory>()>& open,
                                                ExportSummary& summary);

// The export's word for a mean check ("matches", "differs", "16-bit total", "not possible", "").
const char* meanCheckWord(MeanCheck check);

} // namespace report
