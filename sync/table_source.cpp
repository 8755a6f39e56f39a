#include "sync/table_source.h"

#include "base/local_date.h"
#include "report/analysis.h"
#include "report/report_error.h"
#include "report/timing_lines.h"
#include "results/timing_record.h"
#include "storage/dbf_format.h"
#include "storage/dbf_table.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace collection {

namespace {

using results::kDate;
using results::kFirstList;
using results::kResultFieldCount;
using results::kSurname;
constexpr std::size_t kLastList = kResultFieldCount - 1;

} // namespace

TableSource::TableSource(const std::string& path)
    : m_path(path)
{
    storage::TableOptions options;
    options.notice = [this](const std::string& text) { m_notices.push_back(text); };
    m_table = storage::OpenTableFile(path, storage::OpenMode::ReadOnly, storage::IfMissing::Fail, {}, options);
    m_decoder.emplace(m_table->fields(), path);
}

TableSource::~TableSource()
{
    storage::CloseTableFile(m_table); // read-only: writes nothing
}

std::uint32_t TableSource::refresh()
{
    return m_table->refreshRowCount();
}

std::vector<unsigned char> TableSource::header() const
{
    const auto& header = m_table->header();
    const std::size_t size = std::min<std::size_t>(header.size(), storage::dbf::kMainHeaderSize);
    return std::vector<unsigned char>(header.begin(), header.begin() + static_cast<std::ptrdiff_t>(size));
}

RecordImage TableSource::read(std::uint32_t record)
{
    storage::RowBuffer row;
    m_table->loadRow(record, row);
    RecordImage image;
    image.record = record;
    image.bytes.assign(row.data(), row.data() + row.size());
    image.flag = image.bytes.empty() ? 0 : image.bytes[0];
    image.content = central::sha256(image.bytes.data() + 1, image.bytes.size() - 1);
    const auto span = [&](std::size_t first, std::size_t last) {
        std::string bytes;
        for (std::size_t i = first; i <= last; ++i) {
            const storage::TableFieldDef& field = m_decoder->field(i);
            bytes.append(reinterpret_cast<const char*>(row.data()) + field.offset,
                         static_cast<std::size_t>(field.width));
        }
        return central::sha256(bytes);
    };
    image.head = span(kSurname, kDate);
    image.lists = span(kFirstList, kLastList);
    return image;
}

DecodedRecord TableSource::decode(const RecordImage& image) const
{
    storage::RowBuffer row(image.bytes.size());
    std::copy(image.bytes.begin(), image.bytes.end(), row.data());
    // The database's columns hold texts as the table engine reads them, without blanks on either side.
    const report::StoredTest test = m_decoder->decode(row, image.record, report::RecordDecoder::Texts::Trimmed);
    // The report's own analysis finds the damaged lists and the counts and means that disagree with them.
    const report::TestAnalysis analysis = report::analyse(test, {});
    DecodedRecord decoded;
    decoded.values = test.values;
    decoded.birthKey = test.identity.birthNumberKey();
    decoded.date = report::parseTestDate(test.identity.date, report::DateOrder::DayMonth, base::localToday().year);
    for (const report::RowIssue& issue : analysis.issues) {
        decoded.issues.push_back(report::describe(issue));
    }
    decoded.hasError = analysis.hasErrors();
    if (!decoded.date) {
        decoded.issues.push_back("DATE: '" + test.identity.date + "' is not a date");
    }
    for (std::size_t n = 0; n < decoded.times.size(); ++n) {
        const report::SeriesAnalysis& series = analysis.series[n];
        decoded.times[n] = {series.valid, series.fullWidth, series.storedMs};
    }
    return decoded;
}

namespace {

template<typename Number>
std::optional<Number> parseNumber(const std::string& text)
{
    Number value {};
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Column positions of the timing record, from its header line.
struct TimingColumns
{
    std::vector<std::string> names;

    int find(std::string_view name) const
    {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] == name) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
};

const std::string& column(const std::vector<std::string>& fields, int index)
{
    static const std::string empty;
    return index >= 0 && static_cast<std::size_t>(index) < fields.size() ? fields[static_cast<std::size_t>(index)]
                                                                         : empty;
}

// Splits `bytes` into complete CSV records (a quoted field may span lines); `offsets` gets each record's end
// offset relative to `bytes`. A record without its line end is left out.
void completeRecords(const std::string& bytes, std::vector<std::string>& records, std::vector<std::size_t>& ends)
{
    std::size_t start = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '"') {
            quoted = !quoted;
        } else if (bytes[i] == '\n' && !quoted) {
            std::size_t stop = i;
            if (stop > start && bytes[stop - 1] == '\r') {
                --stop;
            }
            records.push_back(bytes.substr(start, stop - start));
            ends.push_back(i + 1);
            start = i + 1;
        }
    }
}

} // namespace

std::vector<TimingGroup> readTimingGroups(const std::string& path, std::uint64_t from, std::uint64_t until)
{
    std::vector<TimingGroup> groups;
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in || until == 0) {
        return groups;
    }
    std::string first;
    if (!std::getline(in, first) || in.eof()) {
        return groups; // the header is still being written
    }
    const std::uint64_t headerEnd = first.size() + 1;
    if (!first.empty() && first.back() == '\r') {
        first.pop_back();
    }
    TimingColumns columns;
    report::splitCsvRecord(first.rfind("\xEF\xBB\xBF", 0) == 0 ? first.substr(3) : first, ',', columns.names);
    for (const std::size_t needed : {report::kTestTimeColumn, report::kTableRowColumn, report::kBlockColumn,
                                     report::kSeriesColumn, report::kRtUsColumn, report::kRtStoredMsColumn}) {
        const std::string_view name = results::kTimingColumns[needed];
        if (columns.find(name) < 0) {
            throw report::ReportError(path + " is not a timing record: it has no column " + std::string(name));
        }
    }
    // Where each of the record's columns stands in this file.
    std::array<int, results::kTimingColumnCount> position {};
    for (std::size_t c = 0; c < position.size(); ++c) {
        position[c] = columns.find(results::kTimingColumns[c]);
    }
    const std::uint64_t begin = std::max(from, headerEnd);
    if (until <= begin) {
        return groups;
    }
    std::string bytes(static_cast<std::size_t>(until - begin), '\0');
    in.clear();
    in.seekg(static_cast<std::streamoff>(begin));
    if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
        throw report::ReportError("Cannot read file " + path);
    }
    std::vector<std::string> records;
    std::vector<std::size_t> ends;
    completeRecords(bytes, records, ends);
    std::vector<std::string> fields;
    std::uint64_t offset = begin;
    for (std::size_t i = 0; i < records.size(); ++i) {
        report::splitCsvRecord(records[i], ',', fields);
        const std::uint64_t end = begin + ends[i];
        const auto get = [&](std::size_t c) -> const std::string& { return column(fields, position[c]); };
        const auto row = parseNumber<std::uint32_t>(get(report::kTableRowColumn));
        const std::string& time = get(report::kTestTimeColumn);
        if (row) {
            if (groups.empty() || groups.back().tableRow != *row || groups.back().testTime != time
                || groups.back().end != offset) {
                groups.push_back({*row, time, offset, offset, {}});
            }
            TimingLine line;
            std::string* const values[] = {&line.testTime,
                                           nullptr, // table_row: the group's
                                           &line.line,
                                           &line.block,
                                           &line.series,
                                           &line.foreperiodProgrammedMs,
                                           &line.foreperiodMeasuredUs,
                                           &line.onsetUs,
                                           &line.responseUs,
                                           &line.rtUs,
                                           &line.rtStoredMs,
                                           &line.premature,
                                           &line.input,
                                           &line.responseStamp,
                                           &line.onsetStamp};
            static_assert(std::size(values) == results::kTimingColumnCount, "one member per column");
            for (std::size_t c = 0; c < results::kTimingColumnCount; ++c) {
                if (values[c]) {
                    *values[c] = get(c);
                }
            }
            groups.back().lines.push_back(std::move(line));
            groups.back().end = end;
        } else if (!groups.empty() && groups.back().end == offset) {
            groups.back().end = end; // a line without a row belongs to no test; passed over with its group
        }
        offset = end;
    }
    return groups;
}

bool trialsMatch(const TimingGroup& group, const std::array<report::StoredTimes, report::kSeriesCount>& times)
{
    std::array<std::vector<std::uint32_t>, report::kSeriesCount> trials;
    for (const TimingLine& line : group.lines) {
        const auto series = parseNumber<int>(line.series);
        if (line.block != "measured" || !series || *series < 1 || *series > report::kSeriesCount) {
            continue;
        }
        const auto stored = parseNumber<std::uint32_t>(line.rtStoredMs);
        if (!parseNumber<std::int64_t>(line.rtUs) || !stored) {
            return false;
        }
        trials[static_cast<std::size_t>(*series - 1)].push_back(*stored);
    }
    std::size_t compared = 0;
    for (std::size_t n = 0; n < trials.size(); ++n) {
        const report::StoredTimes& stored = times[n];
        if (!stored.valid) {
            continue;
        }
        const bool prefixAllowed = stored.fullWidth && trials[n].size() > stored.values.size();
        if (trials[n].size() != stored.values.size() && !prefixAllowed) {
            return false;
        }
        for (std::size_t i = 0; i < stored.values.size(); ++i) {
            if (trials[n][i] != stored.values[i]) {
                return false;
            }
            ++compared;
        }
    }
    return compared > 0;
}

} // namespace collection
