#include "report/source_export.h"

#include "report/row_issue.h"

#include <memory>

namespace report {

ExportSummary exportFrom(TestSource& source, const TestFilter& filter, const std::string& outputPath,
                         const ExportOptions& options, const TestSource::Progress& progress)
{
    if (outputPath != "-") {
        source.refuseAsOutput(outputPath);
    }
    std::unique_ptr<TableSink> sink = options.format == ExportFormat::Xlsx ? makeXlsxSink(outputPath, "tests")
                                                                           : makeCsvSink(outputPath, options.csv);
    const bool places = source.hasPlaces();
    const std::vector<std::string> placeHeader
        = places ? std::vector<std::string> {"office", "station"} : std::vector<std::string> {};
    const bool trials = options.format == ExportFormat::Trials;
    trials ? writeTrialHeader(*sink, placeHeader) : writeTestHeader(*sink, placeHeader);
    ExportSummary summary;
    std::vector<std::string> place;
    source.forEach(
        filter,
        [&](const SourcedTest& sourced) {
            const StoredTest& test = sourced.test;
            const TestAnalysis analysis = analyse(test, options.analysis, sourced.timing);
            if (places) {
                place = {sourced.office, sourced.station};
            }
            if (trials) {
                summary.trials += writeTrialRows(*sink, test, analysis, place);
            } else {
                writeTestRow(*sink, test, analysis, place);
            }
            ++summary.tests;
            for (const RowIssue& issue : analysis.issues) {
                const std::string line = problemLine(test.identity.record, issue);
                summary.problems.push_back(places ? "test " + std::to_string(sourced.id) + " ("
                                                   + printableText(sourced.office) + "): " + line
                                                  : line);
            }
            summary.rowsWithErrors += analysis.hasErrors() ? 1U : 0U;
        },
        progress);
    sink->finish();
    return summary;
}

} // namespace report
