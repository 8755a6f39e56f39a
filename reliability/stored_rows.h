#pragma once

#include "results/result_record.h"
#include "storage/dataset.h"

#include <cstdint>
#include <string>
#include <vector>

// What the reliability tests store and how they read it back: every result row names the station that
// stored it and its sequence number, so that a table can be checked row by row after crashes, full
// disks and several stations writing at once.
namespace reliability {

inline constexpr std::size_t kHeaderLength = 833;  // H of the results table
inline constexpr std::size_t kRecordLength = 2138; // R of the results table

// The result row that station `station` (0..99) stores as its `sequence`-th result (from 1). Every
// field holds a value that depends on both, long lists included, so a row that is cut, shifted or
// mixed with another does not read back as any row.
results::ResultRecord resultFor(int station, int sequence);

// The values a read of that row gives back: texts trimmed of blanks, an empty text null.
std::vector<storage::FieldValue> valuesFor(int station, int sequence);

// One record of a table as read by the engine.
struct ReadRow
{
    unsigned char flag = 0;
    std::vector<storage::FieldValue> values;
};

// A table as the engine reads it when opened read-only: its records and the notices shown at opening.
struct ReadTable
{
    std::vector<ReadRow> rows;
    std::vector<std::string> notices;
    std::uint32_t headerRowCount = 0; // the count stored in the header
};

// Opens the table at `path` read-only (changing nothing) and reads every record; records before
// `firstDecoded` get their flag only. Throws TableError.
ReadTable readTable(const std::string& path, std::uint32_t firstDecoded = 1);

// The bytes of the file at `path` (empty when it cannot be read), read in one go: the tests read tables
// of megabytes after every kill.
std::string wholeFile(const std::string& path);

// The notice shown for a header whose row count `stored` differs from the `actual` records.
std::string rowCountNotice(std::uint32_t stored, std::uint32_t actual);

// A dataset on the results table in `directory`, as the program sets it up, with headers dated
// 7 December 2026.
void configureStation(storage::Dataset& table, const std::string& directory);

// Rows of the table at `path` as python3-dbfread reads them: one line per live record, fields PRIJM,
// JMENO, POC_1SER and SER4B separated by TAB, after a first line "records <header count>". Empty
// when the reader cannot run; the caller checks the exit status in `status`.
std::vector<std::string> readWithDbfread(const std::string& path, int& status);

// The line readWithDbfread() gives for the row of `station` and `sequence`.
std::string dbfreadLineFor(int station, int sequence);

} // namespace reliability
