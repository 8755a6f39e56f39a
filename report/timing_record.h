#pragma once

#include "report/stored_test.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The per-trial timing record that stations may keep beside the results table (`tivora4_timing.csv` for
// `tivora4.DBF`): one CSV line per trial with microsecond stamps, appended once per stored test. The
// report uses its finer reaction times where a test in it provably belongs to a row of the table, and
// works from the table alone everywhere else.
namespace report {

// One measured trial of a series as the timing record has it. Columns the report only passes on are
// kept as written.
struct TimingTrial
{
    int series = 0;               // 1..4
    std::int64_t rtUs = 0;        // response minus onset, microseconds
    std::uint32_t rtStoredMs = 0; // the value the table holds for this trial
    std::string testTime;         // test_time
    std::string line;             // line
    std::string foreperiodProgrammedMs;
    std::string foreperiodMeasuredUs;
    std::string premature;
    std::string input;
    std::string responseStamp;
    std::string onsetStamp;
};

// The trials of one test, series by series (index 0 is series 1), in trial order.
using TimingSeries = std::array<std::vector<TimingTrial>, kSeriesCount>;

// What a row holds for one series, to match a test of the timing record against.
struct StoredTimes
{
    bool valid = false;                // the lists decoded; a series that did not is not compared
    bool fullWidth = false;            // list B fills its field: the table may have cut later values
    std::vector<std::uint32_t> values; // the reaction times the lists hold
};

class TimingRecord
{
public:
    // The record's file name for the table at `tablePath`: "<table base name>_timing.csv" beside it.
    static std::string pathBeside(const std::string& tablePath);

    // The record beside the table at `tablePath`, or nullptr when there is none. Throws ReportError
    // when it exists but cannot be read or lacks a column the report needs.
    static std::unique_ptr<TimingRecord> openBeside(const std::string& tablePath);

    // Reads the record at `path` and indexes its tests by table row. A last line without its line end
    // (a test still being written) is left out. Throws ReportError.
    explicit TimingRecord(const std::string& path);

    const std::string& path() const { return m_path; }

    // Number of tests found in the record.
    std::size_t testCount() const { return m_groups.size(); }

    // The finer trials of the test stored as table row `record`, when the record holds a test for that
    // row whose stored reaction times are the row's, series by series (for a list the table may have
    // cut, the row's values must begin the test's, and only as many trials are returned). Of several
    // such tests (a table replaced while the record stayed) the last is taken. A test matches only
    // when at least one reaction time was compared: a row whose lists are all damaged or empty has
    // nothing to prove it. nullopt when none matches. Throws ReportError when the file can no longer be
    // read.
    std::optional<TimingSeries> match(std::uint32_t record, const std::array<StoredTimes, kSeriesCount>& stored) const;

private:
    // The lines of one test: all from one store, with one table row.
    struct Group
    {
        std::uint32_t record = 0;
        std::uint64_t begin = 0; // file offset of its first line
        std::uint64_t end = 0;   // file offset behind its last line end
    };

    void readHeader(const std::string& line);
    void index();
    TimingSeries parseGroup(const Group& group, bool& usable) const;

    std::string m_path;
    mutable std::ifstream m_file;
    std::vector<Group> m_groups; // sorted by record, file order within a record
    // Column positions, from the header line.
    int m_testTime = -1, m_tableRow = -1, m_line = -1, m_block = -1, m_series = -1, m_rtUs = -1, m_rtStoredMs = -1,
        m_foreperiodProgrammed = -1, m_foreperiodMeasured = -1, m_premature = -1, m_input = -1, m_responseStamp = -1,
        m_onsetStamp = -1;
};

// Splits one CSV record (RFC 4180, without its line end) into `fields`: quoted fields may hold the
// delimiter, line ends and doubled quotes.
void splitCsvRecord(std::string_view record, char delimiter, std::vector<std::string>& fields);

} // namespace report
