#pragma once

#include "central/digest.h"
#include "report/date_field.h"
#include "report/record_decoder.h"
#include "report/stored_test.h"
#include "report/timing_record.h"
#include "results/schema.h"
#include "storage/field_codec.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace storage {
class TableFile;
}

// The collector's one window onto the results table and its timing record. It reads them exactly as the
// report and the browser do: the table opened for shared reading, never its lock, records counted from
// the file's size so that a record another station is still writing is not counted; damaged fields
// recorded as issues, never read as numbers; the timing record's lines linked to a row only when their
// stored reaction times are the row's. Everything the collector knows of the table's format and its
// readers comes through this file.
namespace collection {

// One record of the table as its bytes, and the digests the collector keys it by.
struct RecordImage
{
    std::uint32_t record = 0;         // 1-based
    unsigned char flag = 0;           // the deletion flag byte: 0x20 live, 0x2A deleted
    std::vector<unsigned char> bytes; // the whole record, flag byte first
    central::Digest content {};       // SHA-256 of the record without its flag byte
    central::Digest head {};          // SHA-256 of the identity fields' bytes (PRIJM to DATE)
    central::Digest lists {};         // SHA-256 of the reaction-time lists' bytes (SER1A to SER4B)
};

// A record's values as the report reads them, for the database's typed columns.
struct DecodedRecord
{
    // The 25 fields in schema order: text, whole number, floating-point number or null. A numeric field
    // that holds no number is null, with an issue.
    std::array<storage::FieldValue, results::kResultFieldCount> values;
    std::string birthKey;                                        // digits of RC_1 and RC_2
    std::optional<report::CalendarDate> date;                    // DATE read as a date
    std::vector<std::string> issues;                             // every problem, worded as the report words it
    bool hasError = false;                                       // one of them is an error (numbers left out)
    std::array<report::StoredTimes, report::kSeriesCount> times; // the lists, to match trials against
};

// The results table at a path, opened for reading only.
class TableSource
{
public:
    // Opens the table. Throws storage::TableError ("Open: Table file not found : <path>", "Cannot open file
    // <path>", "Invalid field count : ...") and report::ReportError for a table that lacks a field of the
    // results table ("<path> is not a results table: it has no field SER1A").
    explicit TableSource(const std::string& path);
    ~TableSource();
    TableSource(const TableSource&) = delete;
    TableSource& operator=(const TableSource&) = delete;

    // Counts the whole records in the file now. Throws storage::FileError.
    std::uint32_t refresh();
    // The file's first 32 bytes (version, date, row count, lengths), as read at opening.
    std::vector<unsigned char> header() const;

    // Reads record `record` (1..refresh()). Throws storage::FileError.
    RecordImage read(std::uint32_t record);
    // The values of a record read by read(), deleted ones too. Never throws for what the record holds.
    DecodedRecord decode(const RecordImage& image) const;

    // Notices the table engine gave while opening (a header's row count behind the file's records).
    const std::vector<std::string>& notices() const { return m_notices; }

private:
    std::string m_path;
    std::shared_ptr<storage::TableFile> m_table;
    std::optional<report::RecordDecoder> m_decoder; // the report's, for this file's fields
    std::vector<std::string> m_notices;
};

// One trial line of the timing record, its columns as written.
struct TimingLine
{
    std::string testTime, line, block, series, foreperiodProgrammedMs, foreperiodMeasuredUs, onsetUs, responseUs, rtUs,
        rtStoredMs, premature, input, responseStamp, onsetStamp;
};

// The lines one store appended for one table row.
struct TimingGroup
{
    std::uint32_t tableRow = 0;
    std::string testTime;
    std::uint64_t begin = 0; // file offset of its first line
    std::uint64_t end = 0;   // file offset behind its last line end
    std::vector<TimingLine> lines;
};

// Reads the complete lines of the timing record at `path` between the offsets `from` and `until` (a
// line cut by `until` or still being written is left for later) and groups them by store. Empty when the
// file does not exist. Throws report::ReportError when it exists but cannot be read or lacks a column.
std::vector<TimingGroup> readTimingGroups(const std::string& path, std::uint64_t from, std::uint64_t until);

// True when `group`'s measured trials are the row's reaction times, series by series, by the rule the
// report uses (report::TimingRecord::match): every series whose lists were read holds exactly the row's
// values (a list the table may have cut: the row's values begin the group's), and at least one value was
// compared.
bool trialsMatch(const TimingGroup& group, const std::array<report::StoredTimes, report::kSeriesCount>& times);

} // namespace collection
