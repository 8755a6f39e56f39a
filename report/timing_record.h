#pragma once

#include "report/row_issue.h"
#include "report/stored_test.h"
#include "report/timing_lines.h"

#include <array>
#include <cstdint>
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

// A test of the record matched to a row, or why the record's values are not used for the row.
struct TimingMatch
{
    std::optional<TimingSeries> trials; // the matching test's trials, cut to what the row's lists hold
    std::optional<RowIssue> issue;      // a test that belongs to the row but cannot be used, and why
};

// Where the analysis finds the finer trials of a row: the timing record beside a table, or the trials
// collected with a test.
class TimingLookup
{
public:
    virtual ~TimingLookup() = default;
    // The finer trials of the test stored as row `record` whose stored reaction times are `stored`, or
    // why there are none that can be used (see TimingRecord::match()).
    virtual TimingMatch match(std::uint32_t record, const std::array<StoredTimes, kSeriesCount>& stored) const = 0;
};

// Matches the trials of one test against a row as TimingRecord::match() matches a test of the record:
// used when they hold the row's stored reaction times, cut to what the row's lists hold, and refused
// with TimingValueImplausible (the trial's program line as the line) when an rt_us is no reaction time
// of its stored milliseconds. Empty when they do not hold the row's times.
TimingMatch matchTrials(TimingSeries series, const std::array<StoredTimes, kSeriesCount>& stored);

class TimingRecord : public TimingLookup
{
public:
    // The record beside the table at `tablePath` (results::timingRecordPath()), or nullptr when there is none. Opened
    // as the table engine opens files (storage::openFile). Throws FileError when it exists but cannot be opened, and
    // what the constructor throws.
    static std::unique_ptr<TimingRecord> openBeside(const std::string& tablePath);

    // Reads the record in `file` and indexes its tests by table row: the lines of one store, with one
    // table row and one test time, following each other. A last line without its line end (a test still
    // being written) is left out. A line that is not a line of the record (see checkTimingLine()) is
    // named in problems() and left out; the test it lies in cannot match a row. Memory stays bounded by
    // the number of lines, whatever a line holds. Throws ReportError when the file has no header the
    // report can use, and FileError.
    explicit TimingRecord(std::unique_ptr<base::File> file);
    ~TimingRecord() override;

    const std::string& path() const;

    // Number of tests found in the record.
    std::size_t testCount() const { return m_groups.size(); }

    // What is wrong with lines of the record, in file order ("line 57: a quote in it is not closed"); at
    // most the first 20, then one line saying how many more there are. Never holds the lines' bytes.
    const std::vector<std::string>& problems() const { return m_problems; }

    // The finer trials of the test stored as table row `record`, when the record holds a test for that
    // row whose stored reaction times are the row's, series by series (for a list the table may have
    // cut, the row's values must begin the test's, and only as many trials are returned). Of several
    // such tests (a table replaced while the record stayed) the last is taken. A test matches only
    // when at least one reaction time was compared: a row whose lists are all damaged or empty has
    // nothing to prove it.
    // The matched test is used only when every trial returned has an rt_us that is a reaction time
    // (0 or more) and rounds to its rt_stored_ms; otherwise `issue` says which line is not
    // (TimingValueImplausible) and no trials are given. When no test matches but a test of the row has
    // a damaged line, `issue` names it (TimingLineDamaged). Throws ReportError when the file can no
    // longer be read.
    TimingMatch match(std::uint32_t record, const std::array<StoredTimes, kSeriesCount>& stored) const override;

private:
    // The lines of one test.
    struct Group
    {
        std::uint32_t record = 0;
        std::uint64_t begin = 0;       // file offset of its first line
        std::uint64_t end = 0;         // file offset behind its last line end
        std::uint64_t firstLine = 0;   // its first line's number
        std::uint64_t damagedLine = 0; // the first line in it that is no line of the record; 0 for none
        std::size_t lines = 0;
    };

    void index();
    void addLine(const TimingLine& line, const CheckedTimingLine& checked, std::string& groupTime);
    void noteProblem(std::uint64_t line, const std::string& what);
    // The measured trials of `group` by series, and the line number of each.
    TimingSeries parseGroup(const Group& group,
                            std::array<std::vector<std::uint64_t>, kSeriesCount>& lineNumbers) const;

    std::unique_ptr<base::File> m_file;
    std::uint64_t m_size = 0; // the bytes indexed
    TimingColumns m_columns;
    std::vector<Group> m_groups; // sorted by record, file order within a record
    std::vector<std::string> m_problems;
    std::uint64_t m_problemCount = 0;
};

} // namespace report
