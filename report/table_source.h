#pragma once

#include "report/results_reader.h"
#include "report/test_source.h"
#include "report/timing_record.h"

#include <memory>
#include <ostream>
#include <string>

namespace report {

// The tests of one results table and the timing record beside it, read as ResultsReader reads them:
// shared, never locked, also while stations append.
class TableSource : public TestSource
{
public:
    // Opens the table at `path` and its timing record; a record that cannot be read and its damaged lines
    // are named on `warnings` ("tivora-report: warning: ..."), and the table alone is used. Throws what
    // ResultsReader's constructor throws.
    TableSource(const std::string& path, std::ostream& warnings);

    ResultsReader& reader() { return m_reader; }
    const TimingRecord* timing() const { return m_timing.get(); }

    std::string describe() const override { return m_reader.path(); }
    bool hasPlaces() const override { return false; }
    void refuseAsOutput(const std::string& output) const override;
    // Refuses a filter by office or station: a table is one office's.
    void forEach(const TestFilter& filter, const Visit& visit, const Progress& progress = {}) override;
    // The test stored as record `id`. Throws ReportError "row N does not exist: the table has M rows" and
    // "row N is marked deleted".
    SourcedTest read(std::uint64_t id) override;
    std::vector<HistoryPoint> history(const SourcedTest& current, const AnalysisOptions& options, DateOrder order,
                                      int currentYear) override;
    // The journal beside the table.
    std::unique_ptr<ChangeHistory> changeHistory() const override;

private:
    void forPerson(const TestFilter& filter, const Visit& visit);

    ResultsReader m_reader;
    std::unique_ptr<TimingRecord> m_timing;
};

} // namespace report
