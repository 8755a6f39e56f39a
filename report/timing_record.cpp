#include "report/timing_record.h"

#include "report/report_error.h"
#include "storage/file.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <sstream>

namespace report {

namespace {

template<typename Number>
std::optional<Number> parseNumber(std::string_view text)
{
    Number value {};
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// Reads one CSV record into `record` (a quoted field may span lines). Returns false at the end of the
// file and for a last record without its line end, which a station may still be writing. `consumed`
// is the number of bytes read.
bool nextRecord(std::istream& in, std::string& record, std::uint64_t& consumed)
{
    record.clear();
    consumed = 0;
    std::string line;
    bool quoted = false;
    do {
        if (!std::getline(in, line)) {
            return false;
        }
        if (in.eof()) {
            return false; // no line end: not complete yet
        }
        consumed += line.size() + 1;
        if (!record.empty() || quoted) {
            record += '\n';
        }
        record += line;
        quoted ^= (std::count(line.begin(), line.end(), '"') % 2) != 0;
    } while (quoted);
    if (!record.empty() && record.back() == '\r') {
        record.pop_back();
    }
    return true;
}

const std::string& column(const std::vector<std::string>& fields, int index)
{
    static const std::string empty;
    return index >= 0 && static_cast<std::size_t>(index) < fields.size() ? fields[static_cast<std::size_t>(index)]
                                                                         : empty;
}

} // namespace

void splitCsvRecord(std::string_view record, char delimiter, std::vector<std::string>& fields)
{
    fields.clear();
    fields.emplace_back();
    bool quoted = false;
    for (std::size_t i = 0; i < record.size(); ++i) {
        const char c = record[i];
        if (quoted) {
            if (c == '"' && i + 1 < record.size() && record[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == delimiter) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
}

std::string TimingRecord::pathBeside(const std::string& tablePath)
{
    const std::size_t slash = tablePath.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = tablePath.rfind('.');
    const std::size_t nameEnd = dot == std::string::npos || dot < nameStart ? tablePath.size() : dot;
    return tablePath.substr(0, nameEnd) + "_timing.csv";
}

std::unique_ptr<TimingRecord> TimingRecord::openBeside(const std::string& tablePath)
{
    const std::string path = pathBeside(tablePath);
    if (!storage::fileExists(path)) {
        return nullptr;
    }
    return std::make_unique<TimingRecord>(path);
}

TimingRecord::TimingRecord(const std::string& path)
    : m_path(path)
    , m_file(std::filesystem::u8path(path), std::ios::binary) // a UTF-8 path, also on Windows
{
    if (!m_file) {
        throw ReportError("Cannot open file " + path);
    }
    index();
}

void TimingRecord::readHeader(const std::string& line)
{
    std::vector<std::string> names;
    splitCsvRecord(line.rfind("\xEF\xBB\xBF", 0) == 0 ? line.substr(3) : line, ',', names);
    const auto find = [&](const char* name) {
        const auto at = std::find(names.begin(), names.end(), name);
        return at == names.end() ? -1 : static_cast<int>(at - names.begin());
    };
    m_testTime = find("test_time");
    m_tableRow = find("table_row");
    m_line = find("line");
    m_block = find("block");
    m_series = find("series");
    m_rtUs = find("rt_us");
    m_rtStoredMs = find("rt_stored_ms");
    m_foreperiodProgrammed = find("foreperiod_programmed_ms");
    m_foreperiodMeasured = find("foreperiod_measured_us");
    m_premature = find("premature");
    m_input = find("input");
    m_responseStamp = find("response_stamp");
    m_onsetStamp = find("onset_stamp");
    for (const auto& [index, name] : {std::pair {m_testTime, "test_time"},
                                      {m_tableRow, "table_row"},
                                      {m_block, "block"},
                                      {m_series, "series"},
                                      {m_rtUs, "rt_us"},
                                      {m_rtStoredMs, "rt_stored_ms"}}) {
        if (index < 0) {
            throw ReportError(m_path + " is not a timing record: it has no column " + name);
        }
    }
}

void TimingRecord::index()
{
    std::string record;
    std::uint64_t consumed = 0;
    if (!nextRecord(m_file, record, consumed)) {
        return; // empty, or the header is still being written
    }
    readHeader(record);
    std::uint64_t offset = consumed;
    std::vector<std::string> fields;
    std::string groupTime;
    while (nextRecord(m_file, record, consumed)) {
        splitCsvRecord(record, ',', fields);
        const auto row = parseNumber<std::uint32_t>(column(fields, m_tableRow));
        const std::string& time = column(fields, m_testTime);
        if (row) {
            if (m_groups.empty() || m_groups.back().record != *row || groupTime != time
                || m_groups.back().end != offset) {
                m_groups.push_back({*row, offset, offset});
                groupTime = time;
            }
            m_groups.back().end = offset + consumed;
        }
        offset += consumed;
    }
    std::stable_sort(m_groups.begin(), m_groups.end(),
                     [](const Group& a, const Group& b) { return a.record < b.record; });
}

TimingSeries TimingRecord::parseGroup(const Group& group, bool& usable) const
{
    TimingSeries series;
    usable = true;
    std::string bytes(static_cast<std::size_t>(group.end - group.begin), '\0');
    m_file.clear();
    m_file.seekg(static_cast<std::streamoff>(group.begin));
    if (!m_file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
        throw ReportError("Cannot read file " + m_path);
    }
    std::istringstream lines(bytes + "\n"); // the last line's own end is inside `bytes`
    std::string record;
    std::uint64_t consumed = 0;
    std::vector<std::string> fields;
    while (nextRecord(lines, record, consumed)) {
        splitCsvRecord(record, ',', fields);
        const auto number = parseNumber<int>(column(fields, m_series));
        if (column(fields, m_block) != "measured" || !number || *number < 1 || *number > kSeriesCount) {
            continue;
        }
        const auto rtUs = parseNumber<std::int64_t>(column(fields, m_rtUs));
        const auto stored = parseNumber<std::uint32_t>(column(fields, m_rtStoredMs));
        if (!rtUs || !stored) {
            usable = false;
            continue;
        }
        TimingTrial trial {*number,
                           *rtUs,
                           *stored,
                           column(fields, m_testTime),
                           column(fields, m_line),
                           column(fields, m_foreperiodProgrammed),
                           column(fields, m_foreperiodMeasured),
                           column(fields, m_premature),
                           column(fields, m_input),
                           column(fields, m_responseStamp),
                           column(fields, m_onsetStamp)};
        series[static_cast<std::size_t>(*number - 1)].push_back(std::move(trial));
    }
    return series;
}

std::optional<TimingSeries> TimingRecord::match(std::uint32_t record,
                                                const std::array<StoredTimes, kSeriesCount>& stored) const
{
    const auto [first, last] = std::equal_range(m_groups.begin(), m_groups.end(), Group {record, 0, 0},
                                                [](const Group& a, const Group& b) { return a.record < b.record; });
    for (auto group = last; group != first;) {
        --group;
        bool usable = false;
        TimingSeries series = parseGroup(*group, usable);
        bool matches = usable;
        std::size_t compared = 0;
        for (std::size_t n = 0; matches && n < series.size(); ++n) {
            const StoredTimes& times = stored[n];
            auto& trials = series[n];
            if (!times.valid) {
                trials.clear();
                continue;
            }
            const bool prefixAllowed = times.fullWidth && trials.size() > times.values.size();
            matches = trials.size() == times.values.size() || prefixAllowed;
            for (std::size_t i = 0; matches && i < times.values.size(); ++i) {
                matches = trials[i].rtStoredMs == times.values[i];
                ++compared;
            }
            trials.resize(std::min(trials.size(), times.values.size()));
        }
        if (matches && compared > 0) {
            return series;
        }
    }
    return std::nullopt;
}

} // namespace report
