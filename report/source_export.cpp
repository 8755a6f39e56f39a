#include "report/source_export.h"

#include "base/local_date.h"
#include "report/pseudonymised.h"
#include "report/row_issue.h"

#include <memory>

namespace report {

ExportSummary exportFrom(TestSource& source, const TestFilter& filter, const std::string& outputPath,
                         const ExportOptions& options, const TestSource::Progress& progress)
{
    if (outputPath != "-") {
        source.refuseAsOutput(outputPath);
    }
    PseudonymisingSink* persons = nullptr;
    std::unique_ptr<TableSink> sink = openExportSink(outputPath, options, persons);
    const int currentYear = base::localToday().year;
    const bool places = source.hasPlaces();
    const std::vector<std::string> placeHeader
        = places ? std::vector<std::string> {"office", "station"} : std::vector<std::string> {};
    const bool trials = options.format == ExportFormat::Trials;
    trials ? writeTrialHeader(*sink, placeHeader) : writeTestHeader(*sink, placeHeader, &options.norms);
    ExportSummary summary;
    const std::unique_ptr<ChangeHistory> changes
        = changesForExport([&source] { return source.changeHistory(); }, summary);
    std::vector<std::string> place;
    source.forEach(
        filter,
        [&](const SourcedTest& sourced) {
            const StoredTest& test = sourced.test;
            const TestAnalysis analysis = analyse(test, options.analysis, sourced.timing);
            PersonFacts person;
            if (persons) {
                person = personFacts(*options.pseudonymKey, test.identity, currentYear);
                persons->setPerson(person);
            }
            if (places) {
                place.resize(2); // assigned in place: a million tests, no new strings each
                place[0] = sourced.office;
                place[1] = sourced.station;
            }
            if (trials) {
                summary.trials += writeTrialRows(*sink, test, analysis, place, changes.get());
            } else {
                writeTestRow(*sink, test, analysis, place, &options.norms, options.analysis.thresholds, changes.get());
            }
            ++summary.tests;
            const auto problem = [&](const std::string& line) {
                summary.problems.push_back(places ? "test " + std::to_string(sourced.id) + " ("
                                                   + printableText(sourced.office) + "): " + line
                                                  : line);
            };
            for (const RowIssue& issue : analysis.issues) {
                problem(problemLine(test.identity.record, issue));
            }
            for (const std::string& text : person.problems) {
                problem("row " + std::to_string(test.identity.record) + ": error: " + text);
            }
            summary.rowsWithErrors += analysis.hasErrors() || !person.problems.empty() ? 1U : 0U;
        },
        progress);
    sink->finish();
    return summary;
}

} // namespace report
