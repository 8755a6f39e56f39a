#pragma once

#include "report/stored_test.h"
#include "storage/dbf_table.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace report {

// A results table opened for reading only, also while stations append to it. It never takes the
// table's lock and never writes: rows are counted from the file's size, so a record another station
// has only begun to write is not counted, and the header's row count (which lags until that station
// closes the table) is only noted. Not thread-safe.
class ResultsReader
{
public:
    // Opens the table at `path`. Throws storage::TableError ("Open: Table file not found : <path>",
    // "Cannot open file <path>", ...) and ReportError when the table lacks a field of the results
    // table ("<path> is not a results table: it has no field SER1A").
    explicit ResultsReader(const std::string& path);
    ~ResultsReader();
    ResultsReader(const ResultsReader&) = delete;
    ResultsReader& operator=(const ResultsReader&) = delete;

    const std::string& path() const { return m_path; }

    // Records in the file, deleted ones included, as last counted.
    std::uint32_t recordCount() const;
    // Counts the records again, to see rows other stations appended since. Throws FileError.
    std::uint32_t refresh();

    // The test stored as record `record` (1..recordCount()), or nullopt when that row is not shown (marked
    // deleted). Throws storage::TableError for a record number outside the table and FileError.
    std::optional<StoredTest> read(std::uint32_t record);

    // Calls `visit` with every shown row, in record order. Throws FileError.
    void forEach(const std::function<void(const StoredTest&)>& visit);

    // The identity of every shown row, in record order; faster than forEach(). Throws FileError.
    std::vector<TestIdentity> identities();

    // The identity of every shown row whose birth number has the digits `key` (TestIdentity::
    // birthNumberKey()), in record order. Compares the stored bytes, so only matching rows are decoded.
    // Throws FileError.
    std::vector<TestIdentity> identitiesWithBirthNumber(const std::string& key);

    // Notices the table engine gave while opening (a header row count that differs from the rows in the
    // file, which is normal while a station is appending).
    const std::vector<std::string>& notices() const { return m_notices; }

private:
    bool load(std::uint32_t record);
    TestIdentity identityOf(std::uint32_t record) const;
    StoredTest decode(std::uint32_t record) const;
    std::string rawText(std::size_t schemaIndex) const;
    void appendDigits(std::size_t schemaIndex, std::string& out) const;
    storage::FieldValue value(std::size_t schemaIndex) const;

    std::string m_path;
    std::shared_ptr<storage::TableFile> m_table;
    std::array<std::size_t, storage::kResultFieldCount> m_fieldIndex {}; // schema field -> file field
    storage::RowBuffer m_row;
    std::vector<std::string> m_notices;
};

} // namespace report
