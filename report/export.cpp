#include "report/export.h"

#include "base/file.h"
#include "base/local_date.h"
#include "report/output_file.h"
#include "report/pseudonymised.h"
#include "report/report_error.h"
#include "results/result_record.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

namespace report {

namespace {

// The statistic columns of each block, in order; the header prefixes them with "s1_" ... "all_".
constexpr const char* kStatisticColumns[]
    = {"n", "mean", "median", "sd", "min", "max", "p10", "p90", "speed", "lapses", "anticipations", "premature"};

void optionalNumber(TableSink& sink, const std::optional<double>& value)
{
    if (value) {
        sink.number(*value);
    } else {
        sink.empty();
    }
}

void writeStatistics(TableSink& sink, const Statistics& stats, bool valid)
{
    if (!valid) {
        for (std::size_t i = 0; i < std::size(kStatisticColumns); ++i) {
            sink.empty();
        }
        return;
    }
    sink.integer(static_cast<std::int64_t>(stats.n));
    for (const auto* value :
         {&stats.mean, &stats.median, &stats.sd, &stats.min, &stats.max, &stats.p10, &stats.p90, &stats.speed}) {
        optionalNumber(sink, *value);
    }
    sink.integer(static_cast<std::int64_t>(stats.lapses));
    sink.integer(static_cast<std::int64_t>(stats.anticipations));
    if (stats.premature) {
        sink.integer(*stats.premature);
    } else {
        sink.empty();
    }
}

void writeValue(TableSink& sink, const storage::FieldValue& value)
{
    if (const auto* text = std::get_if<std::string>(&value)) {
        sink.text(*text);
    } else if (const auto* whole = std::get_if<std::int64_t>(&value)) {
        sink.integer(*whole);
    } else if (const auto* number = std::get_if<double>(&value)) {
        sink.number(*number);
    } else {
        sink.empty();
    }
}

// A column of the timing record as written: a whole number as a number cell, anything else as text.
void passThrough(TableSink& sink, const std::string& text)
{
    std::int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty()) {
        sink.empty();
    } else if (result.ec == std::errc() && result.ptr == text.data() + text.size()) {
        sink.integer(value);
    } else {
        sink.text(text);
    }
}

// True when `path` is named as the timing record of a table beside it that is the file `table` names (a
// table read through a link has its record beside the file linked to, under that file's name).
bool isTimingRecordOf(const std::string& path, const std::string& table)
{
    const std::string suffix = results::kTimingRecordSuffix;
    const std::filesystem::path named = std::filesystem::u8path(path);
    std::string name = named.filename().u8string();
    const auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
        return text;
    };
    if (name.size() <= suffix.size() || lower(name.substr(name.size() - suffix.size())) != suffix) {
        return false;
    }
    const std::string stem = lower(name.substr(0, name.size() - suffix.size()));
    const std::optional<std::string> tableIdentity = base::fileIdentity(table);
    std::error_code error;
    const std::filesystem::path folder = named.has_parent_path() ? named.parent_path() : std::filesystem::path(".");
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string candidate = lower(entry->path().filename().u8string());
        const bool beside = candidate == stem
            || (candidate.rfind(stem + ".", 0) == 0 && candidate.find('.', stem.size() + 1) == std::string::npos);
        if (beside && base::fileIdentity(entry->path().u8string()) == tableIdentity) {
            return true;
        }
    }
    return false;
}

void writeChanges(TableSink& sink, std::uint32_t record, const ChangeHistory* changes)
{
    if (!changes) {
        sink.empty();
        sink.empty();
        return;
    }
    const RowChanges& row = changes->forRow(record);
    sink.integer(row.count);
    sink.text(lastChangeText(row));
}

void note(ExportSummary& summary, const StoredTest& test, const TestAnalysis& analysis)
{
    for (const RowIssue& issue : analysis.issues) {
        summary.problems.push_back(problemLine(test.identity.record, issue));
    }
    summary.rowsWithErrors += analysis.hasErrors() ? 1U : 0U;
}

} // namespace

const char* meanCheckWord(MeanCheck check)
{
    switch (check) {
    case MeanCheck::Matches:
        return "matches";
    case MeanCheck::Differs:
        return "differs";
    case MeanCheck::ShortTotal:
        return "16-bit total";
    case MeanCheck::NotPossible:
        return "not possible";
    case MeanCheck::NotApplicable:
        break;
    }
    return "";
}

std::unique_ptr<ChangeHistory> changesForExport(const std::function<std::unique_ptr<ChangeHistory>()>& open,
                                                ExportSummary& summary)
{
    try {
        std::unique_ptr<ChangeHistory> changes = open();
        for (const std::string& problem : changes ? changes->problems() : std::vector<std::string> {}) {
            summary.problems.push_back("warning: " + changes->path() + ": " + problem);
        }
        return changes;
    } catch (const std::exception& error) {
        summary.problems.push_back(std::string("warning: ") + error.what() + "; the change columns are left empty");
        return nullptr;
    }
}

void writeTexts(TableSink& sink, const std::vector<std::string>& texts)
{
    for (const std::string& text : texts) {
        text.empty() ? sink.empty() : sink.text(text);
    }
}

void writeTestHeader(TableSink& sink, const std::vector<std::string>& after, const norms::NormRanking* ranking)
{
    sink.text("row");
    for (const storage::TableFieldDef& field : results::resultTableFields()) {
        sink.text(field.name);
    }
    for (const std::string block : {"s1_", "s2_", "s3_", "s4_", "all_"}) {
        for (const char* column : kStatisticColumns) {
            sink.text(block + column);
        }
    }
    for (int n = 1; n <= kSeriesCount; ++n) {
        sink.text("s" + std::to_string(n) + "_mean_check");
    }
    sink.text("timing_record");
    sink.text("issues");
    sink.text("changes");
    sink.text("last_change");
    if (ranking && ranking->table) {
        norms::writeNormHeader(sink);
    }
    writeTexts(sink, after);
    sink.endRow();
}

void writeTestRow(TableSink& sink, const StoredTest& test, const TestAnalysis& analysis,
                  const std::vector<std::string>& after, const norms::NormRanking* ranking,
                  const Thresholds& thresholds, const ChangeHistory* changes)
{
    sink.integer(test.identity.record);
    for (const storage::FieldValue& value : test.values) {
        writeValue(sink, value);
    }
    for (const SeriesAnalysis& series : analysis.series) {
        writeStatistics(sink, series.stats, series.valid);
    }
    writeStatistics(sink, analysis.all, analysis.allValid);
    for (const SeriesAnalysis& series : analysis.series) {
        sink.text(meanCheckWord(series.meanCheck));
    }
    sink.integer(analysis.fineValues ? 1 : 0);
    sink.text(describeAll(analysis.issues));
    writeChanges(sink, test.identity.record, changes);
    if (ranking && ranking->table) {
        norms::writeNormColumns(sink, *ranking->table, norms::rankStoredTest(*ranking, test, analysis, thresholds));
    }
    writeTexts(sink, after);
    sink.endRow();
}

void writeTrialHeader(TableSink& sink, const std::vector<std::string>& after)
{
    for (const char* column :
         {"row", "series", "trial", "rt_ms", "rt_us", "line", "foreperiod_programmed_ms", "foreperiod_measured_us",
          "premature", "input", "response_stamp", "onset_stamp", "test_time", "changes", "last_change"}) {
        sink.text(column);
    }
    writeTexts(sink, after);
    sink.endRow();
}

std::size_t writeTrialRows(TableSink& sink, const StoredTest& test, const TestAnalysis& analysis,
                           const std::vector<std::string>& after, const ChangeHistory* changes)
{
    std::size_t lines = 0;
    for (const SeriesAnalysis& series : analysis.series) {
        if (!series.valid) {
            continue;
        }
        const auto& fine = analysis.fineTrials[static_cast<std::size_t>(series.number - 1)];
        for (std::size_t i = 0; i < series.storedMs.size(); ++i) {
            sink.integer(test.identity.record);
            sink.integer(series.number);
            sink.integer(static_cast<std::int64_t>(i + 1));
            sink.integer(series.storedMs[i]);
            if (analysis.fineValues && i < fine.size()) {
                const TimingTrial& trial = fine[i];
                sink.integer(trial.rtUs);
                for (const std::string* text :
                     {&trial.line, &trial.foreperiodProgrammedMs, &trial.foreperiodMeasuredUs, &trial.premature}) {
                    passThrough(sink, *text);
                }
                for (const std::string* text :
                     {&trial.input, &trial.responseStamp, &trial.onsetStamp, &trial.testTime}) {
                    sink.text(*text);
                }
            } else {
                for (int column = 0; column < 9; ++column) {
                    sink.empty();
                }
            }
            writeChanges(sink, test.identity.record, changes);
            writeTexts(sink, after);
            sink.endRow();
            ++lines;
        }
    }
    return lines;
}

void refuseToReplaceInputs(const std::string& output, const std::string& table)
{
    const std::string target = outputTarget(output);
    const std::optional<std::string> identity = base::fileIdentity(target);
    if (!identity) {
        return;
    }
    if (identity == base::fileIdentity(table)) {
        throw fileError(text::messages::kCannotWriteFile, output, "it is the results table being read");
    }
    if (identity == base::fileIdentity(results::timingRecordPath(table)) || isTimingRecordOf(target, table)) {
        throw fileError(text::messages::kCannotWriteFile, output, "it is the timing record of the table being read");
    }
    if (identity == base::fileIdentity(audit::journalPath(table))) {
        throw fileError(text::messages::kCannotWriteFile, output, "it is the audit journal of the table being read");
    }
}

std::unique_ptr<TableSink> openExportSink(const std::string& outputPath, const ExportOptions& options,
                                          PseudonymisingSink*& persons)
{
    std::unique_ptr<TableSink> sink = options.format == ExportFormat::Xlsx ? makeXlsxSink(outputPath, "tests")
                                                                           : makeCsvSink(outputPath, options.csv);
    persons = nullptr;
    if (options.pseudonymKey) {
        // Without the identity: the sink leaves out its columns and writes the person's pseudonym, age and sex.
        auto pseudonymising = std::make_unique<PseudonymisingSink>(std::move(sink));
        persons = pseudonymising.get();
        sink = std::move(pseudonymising);
    }
    return sink;
}

ExportSummary exportTests(ResultsReader& reader, const TimingRecord* timing, const std::string& outputPath,
                          const ExportOptions& options, const std::vector<std::uint32_t>* records)
{
    if (outputPath != "-") {
        refuseToReplaceInputs(outputPath, reader.path());
    }
    PseudonymisingSink* persons = nullptr;
    std::unique_ptr<TableSink> sink = openExportSink(outputPath, options, persons);
    const int currentYear = base::localToday().year;
    const bool trials = options.format == ExportFormat::Trials;
    trials ? writeTrialHeader(*sink) : writeTestHeader(*sink, {}, &options.norms);
    ExportSummary summary;
    const std::unique_ptr<ChangeHistory> changes
        = changesForExport([&reader] { return ChangeHistory::openBeside(reader.path()); }, summary);
    const auto write = [&](const StoredTest& test) {
        const TestAnalysis analysis = analyse(test, options.analysis, timing);
        PersonFacts person;
        if (persons) {
            person = personFacts(*options.pseudonymKey, test.identity, currentYear);
            persons->setPerson(person);
        }
        if (trials) {
            summary.trials += writeTrialRows(*sink, test, analysis, {}, changes.get());
        } else {
            writeTestRow(*sink, test, analysis, {}, &options.norms, options.analysis.thresholds, changes.get());
        }
        ++summary.tests;
        note(summary, test, analysis);
        for (const std::string& problem : person.problems) {
            summary.problems.push_back("row " + std::to_string(test.identity.record) + ": error: " + problem);
        }
        summary.rowsWithErrors += !person.problems.empty() && !analysis.hasErrors() ? 1U : 0U;
    };
    if (records) {
        for (const std::uint32_t record : *records) {
            if (const auto test = reader.read(record)) {
                write(*test);
            }
        }
        reader.checkUnchanged();
    } else {
        reader.forEach(write);
    }
    sink->finish();
    return summary;
}

} // namespace report
