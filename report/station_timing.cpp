#include "report/station_timing.h"

#include "audit/journal_entry.h"
#include "base/file.h"
#include "report/timing_lines.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <exception>

namespace report {

namespace {

// Longest companion file read: a journal of a million stored tests is about 300 MB.
constexpr std::uint64_t kMaxCompanionBytes = 1024ULL * 1024 * 1024;

std::optional<std::string> readWhole(const std::string& path)
{
    try {
        const std::unique_ptr<base::File> file = base::openFile(path, base::OpenMode::ReadOnly);
        if (!file || file->size() > kMaxCompanionBytes) {
            return std::nullopt;
        }
        std::string bytes(static_cast<std::size_t>(file->size()), '\0');
        bytes.resize(file->readAt(0, bytes.data(), bytes.size()));
        return bytes;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Calls `visit` with each complete line of `bytes` (without its line end), from the second on.
template<typename Visit>
void forEachLineAfterFirst(std::string_view bytes, Visit visit)
{
    std::size_t start = bytes.find('\n');
    while (start != std::string_view::npos && start + 1 < bytes.size()) {
        const std::size_t end = bytes.find('\n', start + 1);
        if (end == std::string_view::npos) {
            return; // a line still being written, or cut short
        }
        std::string_view line = bytes.substr(start + 1, end - start - 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        visit(line);
        start = end;
    }
}

std::optional<std::int64_t> whole(std::string_view text)
{
    std::int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Days since 1970-01-01 of a day of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool sameHost(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

} // namespace

std::optional<std::int64_t> isoSeconds(std::string_view text)
{
    // YYYY-MM-DDTHH:MM:SS then Z or +HH:MM / -HH:MM
    if (text.size() != 20 && text.size() != 25) {
        return std::nullopt;
    }
    const auto number = [&](std::size_t at, std::size_t length) { return whole(text.substr(at, length)); };
    const auto year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const auto hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':' || !year || !month
        || !day || !hour || !minute || !second || *month < 1 || *month > 12 || *day < 1 || *day > 31 || *hour > 23
        || *minute > 59 || *second > 60) {
        return std::nullopt;
    }
    std::int64_t offset = 0;
    if (text.size() == 20) {
        if (text[19] != 'Z') {
            return std::nullopt;
        }
    } else {
        const auto offsetHours = number(20, 2), offsetMinutes = number(23, 2);
        if ((text[19] != '+' && text[19] != '-') || text[22] != ':' || !offsetHours || !offsetMinutes) {
            return std::nullopt;
        }
        offset = (*offsetHours * 60 + *offsetMinutes) * 60 * (text[19] == '-' ? -1 : 1);
    }
    return daysFromCivil(*year, *month, *day) * 86400 + *hour * 3600 + *minute * 60 + *second - offset;
}

std::optional<std::pair<std::string, std::string>> storingStation(std::string_view journalBytes, std::uint32_t record)
{
    std::optional<std::pair<std::string, std::string>> found;
    forEachLineAfterFirst(journalBytes, [&](std::string_view line) {
        std::string problem;
        const std::optional<audit::JournalEntry> entry = audit::parseEntryLine(line, problem);
        if (entry && entry->row == record
            && (entry->action == audit::Action::TestStored || entry->action == audit::Action::RowStored)) {
            found = std::make_pair(entry->station, entry->time);
        }
    });
    return found;
}

std::vector<results::StationSelfTest> parseStationLog(std::string_view bytes)
{
    std::vector<results::StationSelfTest> tests;
    const std::string_view header(results::kStationLogHeader);
    if (bytes.substr(0, header.size()) != header) {
        return tests;
    }
    std::vector<std::string> fields;
    forEachLineAfterFirst(bytes, [&](std::string_view line) {
        if (!splitCsvRecord(line, ',', fields) || fields.size() != 9 || (fields[2] != "fit" && fields[2] != "unfit")) {
            return;
        }
        const auto refresh = whole(fields[3]);
        const auto foreperiodMedian = whole(fields[4]), foreperiodP95 = whole(fields[5]);
        const auto frameMedian = whole(fields[6]), frameP95 = whole(fields[7]);
        if (!isoSeconds(fields[0]) || (!fields[3].empty() && !refresh) || !foreperiodMedian || !foreperiodP95
            || !frameMedian || !frameP95) {
            return;
        }
        results::StationSelfTest test;
        test.time = fields[0];
        test.station = fields[1];
        test.fit = fields[2] == "fit";
        test.refreshHz = refresh ? std::optional(static_cast<double>(*refresh)) : std::nullopt;
        test.foreperiodMedianUs = *foreperiodMedian;
        test.foreperiodP95Us = *foreperiodP95;
        test.frameMedianUs = *frameMedian;
        test.frameP95Us = *frameP95;
        test.onsetSource = fields[8];
        tests.push_back(std::move(test));
    });
    return tests;
}

std::optional<results::StationSelfTest> latestSelfTest(const std::vector<results::StationSelfTest>& tests,
                                                       const std::string& station, const std::string& time)
{
    const std::optional<std::int64_t> limit = isoSeconds(time);
    std::optional<results::StationSelfTest> latest;
    std::optional<std::int64_t> latestTime;
    for (const results::StationSelfTest& test : tests) {
        const std::optional<std::int64_t> at = isoSeconds(test.time);
        if (limit && at && *at <= *limit && sameHost(test.station, station) && (!latestTime || *at >= *latestTime)) {
            latest = test;
            latestTime = at;
        }
    }
    return latest;
}

StationTiming stationTimingFor(const std::string& tablePath, std::uint32_t record)
{
    StationTiming timing;
    const std::optional<std::string> journal = readWhole(audit::journalPath(tablePath));
    const auto stored = journal ? storingStation(*journal, record) : std::nullopt;
    if (!stored) {
        return timing;
    }
    timing.station = stored->first;
    timing.storedAt = stored->second;
    if (const std::optional<std::string> log = readWhole(results::stationLogPath(tablePath))) {
        timing.selfTest = latestSelfTest(parseStationLog(*log), timing.station, timing.storedAt);
    }
    return timing;
}

} // namespace report
