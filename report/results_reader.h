#pragma once

#include "report/record_decoder.h"
#include "report/stored_test.h"
#include "storage/dbf_table.h"

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace report {

// Thrown when a caller's progress callback stopped a reading.
class Cancelled : public std::exception
{
public:
    const char* what() const noexcept override { return "cancelled"; }
};

// A results table opened for reading only, also while stations append to it. It never takes the
// table's lock and never writes: rows are counted from the file's size, so a record another station
// has only begun to write is not counted, and the header's row count (which lags until that station
// closes the table) is only noted. Not thread-safe.
class ResultsReader
{
public:
    // Opens the table at `path`. Throws storage::TableError ("Open: Table file not found : <path>",
    // "Cannot open file <path>", ...) and ReportError when the table lacks a field of the results
    // table ("<path> is not a results table: it has no field SER1A"); an error of the table engine that
    // does not name the file comes as ReportError "Cannot read file <path>: <the engine's text>".
    explicit ResultsReader(const std::string& path);
    ~ResultsReader();
    ResultsReader(const ResultsReader&) = delete;
    ResultsReader& operator=(const ResultsReader&) = delete;

    const std::string& path() const { return m_path; }

    // Records in the file, deleted ones included, as last counted.
    std::uint32_t recordCount() const;
    // Counts the records again, to see rows other stations appended since. Throws FileError.
    std::uint32_t refresh();

    // Stations only ever append rows, rewrite them in place and update the header's date and row count.
    // Anything else while the table is read (the file cut shorter, its structure rewritten, another
    // file put under its name) means that rows already read and rows still to come belong to different
    // tables: the reading methods below then throw ReportError "Cannot read file <path>: it was changed
    // while it was read (<what>)" instead of mixing them.

    // The test stored as record `record` (1..recordCount()), or nullopt when that row is not shown (marked
    // deleted). Throws storage::TableError for a record number outside the table, FileError, and
    // ReportError when the record is no longer whole in the file.
    std::optional<StoredTest> read(std::uint32_t record);

    // Calls `visit` with every shown row, in record order, then checks the file (checkUnchanged()).
    // Throws FileError and ReportError.
    void forEach(const std::function<void(const StoredTest&)>& visit);

    // Called with the number of records done and in all now and then while a whole table is read;
    // returns false to stop the reading, which then throws Cancelled.
    using Progress = std::function<bool(std::uint32_t done, std::uint32_t total)>;

    // The identity of every shown row, in record order; faster than forEach(). Checks the file at the
    // end. Throws FileError, ReportError and, when `progress` stops it, Cancelled.
    std::vector<TestIdentity> identities(const Progress& progress = {});

    // The identity of every shown row whose birth number has the digits `key` (TestIdentity::
    // birthNumberKey()), in record order. Compares the stored bytes, so only matching rows are decoded.
    // Checks the file at the end. Throws FileError and ReportError.
    std::vector<TestIdentity> identitiesWithBirthNumber(const std::string& key);

    // Throws ReportError when the file is not the one opened any more, is shorter than the records
    // counted, or has another structure in its header. Throws FileError.
    void checkUnchanged();

    // Notices the table engine gave while opening (a header row count that differs from the rows in the
    // file, which is normal while a station is appending).
    const std::vector<std::string>& notices() const { return m_notices; }

private:
    bool load(std::uint32_t record);

    [[noreturn]] void changed(const std::string& what) const;

    std::string m_path;
    std::shared_ptr<storage::TableFile> m_table;
    std::optional<std::string> m_identity;    // the file opened
    std::uint64_t m_sizeCounted = 0;          // the bytes the counted records fill
    std::unique_ptr<RecordDecoder> m_decoder; // where the results table's fields lie in this file
    storage::RowBuffer m_row;
    std::vector<std::string> m_notices;
};

} // namespace report
