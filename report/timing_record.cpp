#include "report/timing_record.h"

#include "base/file.h"
#include "report/report_error.h"
#include "report/statistics.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace report {

namespace {

constexpr std::size_t kMaxProblemsNamed = 20;
// More lines than any test has (the program has at most 122 trial lines); a longer run of lines of one
// row and time is not one test.
constexpr std::size_t kMaxTestLines = 1024;

// True when `series` holds the row's `stored` reaction times, series by series, and at least one was
// compared; cuts `series` to what the row holds (a list the table cut matches on its first values).
bool holdsTheRows(TimingSeries& series, const std::array<StoredTimes, kSeriesCount>& stored)
{
    std::size_t compared = 0;
    for (std::size_t n = 0; n < series.size(); ++n) {
        const StoredTimes& times = stored[n];
        auto& trials = series[n];
        if (!times.valid) {
            trials.clear();
            continue;
        }
        const bool prefixAllowed = times.fullWidth && trials.size() > times.values.size();
        if (trials.size() != times.values.size() && !prefixAllowed) {
            return false;
        }
        for (std::size_t i = 0; i < times.values.size(); ++i, ++compared) {
            if (trials[i].rtStoredMs != times.values[i]) {
                return false;
            }
        }
        trials.resize(times.values.size());
    }
    return compared > 0;
}

// The first trial returned whose rt_us is no reaction time of its stored milliseconds: below 0, or not
// rounding to them (halves away from zero, as the station rounds).
std::optional<std::pair<std::size_t, std::size_t>> implausible(const TimingSeries& series)
{
    for (std::size_t n = 0; n < series.size(); ++n) {
        for (std::size_t i = 0; i < series[n].size(); ++i) {
            const TimingTrial& trial = series[n][i];
            const double ms = roundHalfAway(static_cast<double>(trial.rtUs) / 1000.0);
            if (trial.rtUs < 0 || ms != static_cast<double>(trial.rtStoredMs)) {
                return std::pair {n, i};
            }
        }
    }
    return std::nullopt;
}

} // namespace

TimingMatch matchTrials(TimingSeries series, const std::array<StoredTimes, kSeriesCount>& stored)
{
    if (!holdsTheRows(series, stored)) {
        return {};
    }
    if (const auto bad = implausible(series)) {
        const TimingTrial& trial = series[bad->first][bad->second];
        std::size_t line = 0;
        std::from_chars(trial.line.data(), trial.line.data() + trial.line.size(), line);
        return {std::nullopt,
                RowIssue {IssueKind::TimingValueImplausible, trial.series, "rt_us", std::to_string(trial.rtUs), line,
                          static_cast<double>(trial.rtStoredMs), 0.0}};
    }
    return {std::move(series), std::nullopt};
}

std::unique_ptr<TimingRecord> TimingRecord::openBeside(const std::string& tablePath)
{
    std::unique_ptr<base::File> file = base::openFile(results::timingRecordPath(tablePath), base::OpenMode::ReadOnly);
    if (!file) {
        return nullptr;
    }
    return std::make_unique<TimingRecord>(std::move(file));
}

TimingRecord::TimingRecord(std::unique_ptr<base::File> file)
    : m_file(std::move(file))
{
    index();
}

TimingRecord::~TimingRecord() = default;

const std::string& TimingRecord::path() const
{
    return m_file->path();
}

void TimingRecord::noteProblem(std::uint64_t line, const std::string& what)
{
    ++m_problemCount;
    if (m_problems.size() < kMaxProblemsNamed) {
        m_problems.push_back("line " + std::to_string(line) + ": " + what);
    } else if (m_problems.size() == kMaxProblemsNamed) {
        m_problems.emplace_back();
    }
    if (m_problemCount > kMaxProblemsNamed) {
        m_problems.back() = "and " + std::to_string(m_problemCount - kMaxProblemsNamed) + " more lines like these";
    }
}

void TimingRecord::index()
{
    m_size = m_file->size();
    bool headerRead = false;
    std::string missing;
    std::string groupTime;
    bool carriageReturnsAlone = false;
    CheckedTimingLine checked;
    const std::string rest = forEachTimingLine(*m_file, 0, m_size, 1, [&](const TimingLine& line) {
        if (!headerRead) {
            headerRead = true;
            carriageReturnsAlone = line.text.find('\r') != std::string::npos;
            missing = line.tooLong ? "test_time" : m_columns.read(line.text);
            return missing.empty() && !carriageReturnsAlone;
        }
        checkTimingLine(line, m_columns, checked);
        addLine(line, checked, groupTime);
        return true;
    });
    // Without a line feed in it the whole file would be one unfinished line, and so empty.
    const std::size_t carriageReturn = rest.find('\r');
    if (carriageReturnsAlone
        || (!headerRead && carriageReturn != std::string::npos && carriageReturn + 1 < rest.size())) {
        throw ReportError(path() + " cannot be read: its lines end with a carriage return alone, not CR LF");
    }
    if (!missing.empty()) {
        throw ReportError(path() + " is not a timing record: it has no column " + missing);
    }
    std::stable_sort(m_groups.begin(), m_groups.end(),
                     [](const Group& a, const Group& b) { return a.record < b.record; });
}

void TimingRecord::addLine(const TimingLine& line, const CheckedTimingLine& checked, std::string& groupTime)
{
    Group* open = m_groups.empty() || m_groups.back().end != line.begin ? nullptr : &m_groups.back();
    if (!checked.damage.empty()) {
        noteProblem(line.number, checked.damage);
        // A damaged line inside a test (the row it names, or no readable row) belongs to that test; one
        // that names another row begins a test of that row, of which the next lines may be the rest.
        if (open && (!checked.row || *checked.row == open->record)) {
            open->end = line.end;
            open->damagedLine = open->damagedLine != 0 ? open->damagedLine : line.number;
            ++open->lines;
        } else if (checked.row) {
            m_groups.push_back({*checked.row, line.begin, line.end, line.number, line.number, 1});
            groupTime.clear(); // not known: the next good line of the row says it
        }
        return;
    }
    const std::string& time = m_columns.of(checked.fields, kTestTimeColumn);
    const bool continues = open && open->record == *checked.row && open->lines < kMaxTestLines
        && (groupTime == time || (groupTime.empty() && open->damagedLine != 0));
    if (continues) {
        open->end = line.end;
        ++open->lines;
    } else {
        m_groups.push_back({*checked.row, line.begin, line.end, line.number, 0, 1});
    }
    if (groupTime != time) {
        groupTime = time;
    }
}

TimingSeries TimingRecord::parseGroup(const Group& group,
                                      std::array<std::vector<std::uint64_t>, kSeriesCount>& lineNumbers) const
{
    TimingSeries series;
    CheckedTimingLine checked;
    forEachTimingLine(*m_file, group.begin, group.end, group.firstLine, [&](const TimingLine& line) {
        checkTimingLine(line, m_columns, checked);
        if (!checked.damage.empty() || checked.series == 0) {
            return true;
        }
        const auto column = [&](std::size_t at) { return m_columns.of(checked.fields, at); };
        const auto n = static_cast<std::size_t>(checked.series - 1);
        series[n].push_back({checked.series, checked.rtUs, checked.rtStoredMs, column(kTestTimeColumn),
                             column(kLineColumn), column(results::timingColumn("foreperiod_programmed_ms")),
                             column(results::timingColumn("foreperiod_measured_us")),
                             column(results::timingColumn("premature")), column(results::timingColumn("input")),
                             column(results::timingColumn("response_stamp")),
                             column(results::timingColumn("onset_stamp"))});
        lineNumbers[n].push_back(line.number);
        return true;
    });
    return series;
}

TimingMatch TimingRecord::match(std::uint32_t record, const std::array<StoredTimes, kSeriesCount>& stored) const
{
    if (m_file->size() < m_size) {
        throw fileError(text::messages::kCannotReadFile, path(),
                        "it was changed while it was read (it is shorter than it was)");
    }
    const auto [first, last] = std::equal_range(m_groups.begin(), m_groups.end(), Group {record},
                                                [](const Group& a, const Group& b) { return a.record < b.record; });
    std::uint64_t damaged = 0;
    for (auto group = last; group != first;) {
        --group;
        std::array<std::vector<std::uint64_t>, kSeriesCount> lineNumbers;
        TimingSeries series = parseGroup(*group, lineNumbers);
        if (holdsTheRows(series, stored)) {
            if (const auto bad = implausible(series)) {
                const TimingTrial& trial = series[bad->first][bad->second];
                return {std::nullopt,
                        RowIssue {IssueKind::TimingValueImplausible, trial.series, "rt_us", std::to_string(trial.rtUs),
                                  static_cast<std::size_t>(lineNumbers[bad->first][bad->second]),
                                  static_cast<double>(trial.rtStoredMs), 0.0}};
            }
            return {std::move(series), std::nullopt};
        }
        damaged = damaged != 0 ? damaged : group->damagedLine;
    }
    if (damaged != 0) {
        return {std::nullopt,
                RowIssue {IssueKind::TimingLineDamaged, 0, {}, {}, static_cast<std::size_t>(damaged), 0.0, 0.0}};
    }
    return {};
}

} // namespace report
