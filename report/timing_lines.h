#pragma once

#include "results/timing_record.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace base {
class File;
}

// The lines of a timing record and what makes one a line of it. timing_record.h uses them to index and
// read the record; they never trust the file: a line is bounded in length, a quote never reaches past
// its line, and a line that is not one of the record is named, never half read.
namespace report {

// Longest line taken apart; a line of the record is under 200 bytes. Anything longer is damage, and is
// skipped without being kept in memory.
inline constexpr std::size_t kMaxTimingLineBytes = 4096;

// One line of the file: its bytes without the line end (CR LF or LF).
struct TimingLine
{
    std::uint64_t number = 0; // 1-based; the header is line 1
    std::uint64_t begin = 0;  // file offset of its first byte
    std::uint64_t end = 0;    // file offset behind its line end
    std::string text;         // of a long line only its first bytes
    bool tooLong = false;     // longer than kMaxTimingLineBytes
};

// Reads the first `size` bytes of `file` in blocks and calls `visit` with every line that has its line end,
// in order; `visit` returns false to stop. A last line without its line end (a test a station is still
// writing) is not visited; its first bytes (up to kMaxTimingLineBytes) are returned. `firstLine` and
// `firstOffset` say where the bytes read begin. Throws FileError.
std::string forEachTimingLine(base::File& file, std::uint64_t firstOffset, std::uint64_t size, std::uint64_t firstLine,
                              const std::function<bool(const TimingLine&)>& visit);

// Splits one CSV record (RFC 4180, without its line end) into `fields`: quoted fields may hold the
// delimiter and doubled quotes. Returns false when a quote is left open at the end (the rest of the
// record is then in the last field).
bool splitCsvRecord(std::string_view record, char delimiter, std::vector<std::string>& fields);

// The columns the report reads, as positions in results::kTimingColumns (a name that is no column of the
// record does not compile).
inline constexpr std::size_t kTestTimeColumn = results::timingColumn("test_time");
inline constexpr std::size_t kTableRowColumn = results::timingColumn("table_row");
inline constexpr std::size_t kLineColumn = results::timingColumn("line");
inline constexpr std::size_t kBlockColumn = results::timingColumn("block");
inline constexpr std::size_t kSeriesColumn = results::timingColumn("series");
inline constexpr std::size_t kRtUsColumn = results::timingColumn("rt_us");
inline constexpr std::size_t kRtStoredMsColumn = results::timingColumn("rt_stored_ms");

// Where each column of a record stands in its lines, from its header line: a record written by another
// version of the station may order or extend its columns differently.
struct TimingColumns
{
    std::size_t count = 0; // columns in the header
    // For each column of results::kTimingColumns its position in the header; -1 when the header lacks it.
    std::array<int, results::kTimingColumnCount> position {};

    // From the `header` line (a byte-order mark in front is skipped). Returns the name of a column the
    // report needs and the header lacks, empty when it has them all.
    std::string read(std::string_view header);

    // The field of column `column` (a position in results::kTimingColumns) of `fields`, empty when there
    // is none.
    const std::string& of(const std::vector<std::string>& fields, std::size_t column) const;
};

// A line taken apart and checked.
struct CheckedTimingLine
{
    std::optional<std::uint32_t> row; // table_row, when it reads as a row number (also in a damaged line)
    std::string damage;               // what makes it no line of the record; empty for a good line
    std::vector<std::string> fields;  // of a good line; of a damaged one as far as it was taken apart
    int series = 0;                   // 1..4 for a measured trial of a series, else 0
    std::int64_t rtUs = 0;
    std::uint32_t rtStoredMs = 0;
};

// Takes `line` apart by `columns` into `checked` and checks that it is a line of the record: as many
// fields as the header, a row number, a date and time, a block, a series, and whole numbers for the
// reaction time. `damage` words what is wrong without quoting the line's bytes. `checked` is reused
// from line to line, so that its memory is too.
void checkTimingLine(const TimingLine& line, const TimingColumns& columns, CheckedTimingLine& checked);

} // namespace report
