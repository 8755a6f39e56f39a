#include "report/timing_lines.h"

#include "base/file.h"

#include <algorithm>
#include <charconv>

namespace report {

namespace {

constexpr std::size_t kBlockBytes = 64 * 1024;

template<typename Number>
std::optional<Number> parseNumber(std::string_view text)
{
    Number value {};
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "2026-12-08T14:03:12" at the start, as the stations stamp a test.
bool isDateTime(std::string_view text)
{
    static constexpr std::string_view kPattern = "dddd-dd-ddTdd:dd:dd";
    if (text.size() < kPattern.size()) {
        return false;
    }
    for (std::size_t i = 0; i < kPattern.size(); ++i) {
        if (kPattern[i] == 'd' ? !isDigit(text[i]) : text[i] != kPattern[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string forEachTimingLine(base::File& file, std::uint64_t firstOffset, std::uint64_t size, std::uint64_t firstLine,
                              const std::function<bool(const TimingLine&)>& visit)
{
    std::string block(
        static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, size - std::min(size, firstOffset))), '\0');
    TimingLine line;
    line.number = firstLine;
    line.begin = firstOffset;
    for (std::uint64_t offset = firstOffset; offset < size;) {
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - offset));
        const std::size_t got = file.readAt(offset, block.data(), wanted);
        if (got == 0) {
            break; // cut short since it was measured: what was read so far counts
        }
        std::size_t from = 0;
        while (from < got) {
            const auto newline
                = static_cast<std::size_t>(std::find(block.begin() + static_cast<std::ptrdiff_t>(from),
                                                     block.begin() + static_cast<std::ptrdiff_t>(got), '\n')
                                           - block.begin());
            // Only the first bytes of a line are kept (one more than a line may have, for the CR before
            // its LF): a line without end costs no more memory than a long one.
            const std::size_t piece = newline - from;
            const std::size_t room = kMaxTimingLineBytes + 1 - std::min(line.text.size(), kMaxTimingLineBytes + 1);
            line.text.append(block, from, std::min(piece, room));
            line.tooLong = line.tooLong || piece > room;
            if (newline == got) {
                break;
            }
            line.end = offset + newline + 1;
            if (!line.tooLong && !line.text.empty() && line.text.back() == '\r') {
                line.text.pop_back();
            }
            line.tooLong = line.tooLong || line.text.size() > kMaxTimingLineBytes;
            if (!visit(line)) {
                return {};
            }
            ++line.number;
            line.begin = line.end;
            line.text.clear(); // keeps its memory for the next line
            line.tooLong = false;
            from = newline + 1;
        }
        offset += got;
    }
    return line.text;
}

bool splitCsvRecord(std::string_view record, char delimiter, std::vector<std::string>& fields)
{
    // The strings of `fields` are reused: a record read line after line allocates nothing once they
    // have grown to the lines' fields.
    std::size_t count = 1;
    const auto field = [&]() -> std::string& {
        if (fields.size() < count) {
            fields.resize(count);
        }
        return fields[count - 1];
    };
    field().clear();
    bool quoted = false;
    for (std::size_t i = 0; i < record.size(); ++i) {
        const char c = record[i];
        if (quoted) {
            if (c == '"' && i + 1 < record.size() && record[i + 1] == '"') {
                field() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == delimiter) {
            ++count;
            field().clear();
        } else {
            field() += c;
        }
    }
    fields.resize(count);
    return !quoted;
}

std::string TimingColumns::read(std::string_view header)
{
    if (header.substr(0, 3) == "\xEF\xBB\xBF") {
        header.remove_prefix(3);
    }
    std::vector<std::string> names;
    splitCsvRecord(header, ',', names);
    count = names.size();
    for (std::size_t column = 0; column < results::kTimingColumnCount; ++column) {
        const auto at = std::find(names.begin(), names.end(), results::kTimingColumns[column]);
        position[column] = at == names.end() ? -1 : static_cast<int>(at - names.begin());
    }
    for (const std::size_t needed :
         {kTestTimeColumn, kTableRowColumn, kBlockColumn, kSeriesColumn, kRtUsColumn, kRtStoredMsColumn}) {
        if (position[needed] < 0) {
            return std::string(results::kTimingColumns[needed]);
        }
    }
    return {};
}

const std::string& TimingColumns::of(const std::vector<std::string>& fields, std::size_t column) const
{
    static const std::string empty;
    const int index = position[column];
    return index >= 0 && static_cast<std::size_t>(index) < fields.size() ? fields[static_cast<std::size_t>(index)]
                                                                         : empty;
}

void checkTimingLine(const TimingLine& line, const TimingColumns& columns, CheckedTimingLine& checked)
{
    checked.row.reset();
    checked.damage.clear();
    checked.series = 0;
    if (line.tooLong) {
        checked.damage = "it is longer than " + std::to_string(kMaxTimingLineBytes) + " bytes";
        checked.fields.clear();
        return;
    }
    const bool closed = splitCsvRecord(line.text, ',', checked.fields);
    const auto field = [&](std::size_t column) -> const std::string& { return columns.of(checked.fields, column); };
    checked.row = parseNumber<std::uint32_t>(field(kTableRowColumn));
    if (checked.row == 0U) {
        checked.row.reset();
    }
    const std::string& block = field(kBlockColumn);
    const std::string& series = field(kSeriesColumn);
    const auto rtUs = parseNumber<std::int64_t>(field(kRtUsColumn));
    const auto rtStoredMs = parseNumber<std::uint32_t>(field(kRtStoredMsColumn));
    const auto seriesNumber = parseNumber<int>(series);
    if (!closed) {
        checked.damage = "a quote in it is not closed";
    } else if (line.text.find('\r') != std::string::npos) {
        checked.damage = "it holds a carriage return that does not end it (lines end with CR LF)";
    } else if (checked.fields.size() != columns.count) {
        const std::size_t count = checked.fields.size();
        checked.damage = "it has " + std::to_string(count) + (count == 1 ? " field" : " fields") + ", the header "
            + std::to_string(columns.count);
    } else if (!checked.row) {
        checked.damage = "table_row is not a row number";
    } else if (!isDateTime(field(kTestTimeColumn))) {
        checked.damage = "test_time is not a date and time";
    } else if (block != "measured" && block != "practice") {
        checked.damage = "block is neither measured nor practice";
    } else if (!series.empty() && (!seriesNumber || *seriesNumber < 1 || *seriesNumber > 4)) {
        checked.damage = "series is not 1 to 4";
    } else if (!rtUs) {
        checked.damage = "rt_us is not a whole number";
    } else if (!rtStoredMs) {
        checked.damage = "rt_stored_ms is not a whole number of milliseconds";
    } else {
        checked.series = block == "measured" && seriesNumber ? *seriesNumber : 0;
        checked.rtUs = *rtUs;
        checked.rtStoredMs = *rtStoredMs;
    }
}

} // namespace report
