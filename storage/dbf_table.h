#pragma once

#include "base/file.h"
#include "base/local_date.h"
#include "storage/field_codec.h"
#include "storage/paged_file.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace storage {

// Receives a notice for the examiner (a wrong row count or record length in a header). The user
// interface shows it in a modal box with OK; lines are separated by CR.
using NoticeSink = std::function<void(const std::string&)>;

// Gives the local date stamped into the header at every header store.
using DateSource = std::function<base::LocalDate()>;
// Whether a table is opened for reading only or for writing too.
using OpenMode = base::OpenMode;

// Decides whether a table of these fields is the table the caller means to work on: called with the
// file's path and the fields read from its descriptors before any notice is given and before anything
// is written. Throws TableError (naming the file and why) to refuse it; the table is then not opened.
using FieldCheck = std::function<void(const std::string& path, const std::vector<TableFieldDef>& fields)>;

// How a table talks to its surroundings. Empty members mean: drop notices, use the local date, accept
// any fields.
struct TableOptions
{
    NoticeSink notice;
    DateSource today;
    FieldCheck checkFields;
};

// An open table file: a TPagedFile whose header block is the whole header (main header, descriptors,
// terminator) and whose pages are the records. Shared by every user of the same file in the process
// (see OpenTableFile()), so its row count is shared too.
//
// Writes follow two rules that keep other stations' rows safe on a shared drive: a new row goes where
// the file really ends, found under the exclusive file lock; and a header store counts the rows in the
// file itself, under the same lock, instead of trusting the count in memory.
class TableFile : public TPagedFile
{
public:
    // Reads the structure of the open `file` (see OpenTableFile()). A file that is no table, a damaged one
    // (readTableStructure()) and one that `options.checkFields` refuses throw TableError "Cannot open file
    // <path>: <reason>" before any notice, and nothing is ever written to them. `justCreated` skips the
    // row-count check. Throws FileError when reading fails.
    TableFile(std::unique_ptr<base::File> file, bool writable, const TableOptions& options, bool justCreated);

    const std::vector<TableFieldDef>& fields() const { return m_fields; }
    std::uint8_t version() const { return header().empty() ? 0 : header()[0]; }
    std::size_t recordLength() const { return pageSize(); }

    // Records in the file, deleted ones included, as last counted (at opening, after each write and by
    // refreshRowCount()).
    std::uint32_t rowCount() const { return pageCount(); }
    // Counts the rows again from the file's size, to see rows other stations appended. Throws FileError.
    std::uint32_t refreshRowCount();

    // The options given at opening; notices and dates of later calls go through them.
    void setOptions(const TableOptions& options) { m_options = options; }

    // A fresh row buffer of R spaces: live, every field null.
    RowBuffer newRow() const { return RowBuffer(recordLength()); }

    // Reads record `rowNumber` (1..rowCount) into `row`, which is resized to R. A record cut short by
    // the file's end leaves the rest of `row` as it was. Throws FileError.
    void loadRow(std::uint32_t rowNumber, RowBuffer& row);

    // The nearest visible row (flag byte exactly 0x20) from `rowNumber` on in direction `step` (+1 or
    // -1), `rowNumber` itself included, loaded into `row`. Returns its number, or 0 when there is none
    // before the end (or the beginning); then `row` holds whatever was read last. Reads only the
    // records it passes. Throws FileError.
    std::uint32_t seekVisible(std::uint32_t rowNumber, int step, RowBuffer& row);

    // Posts `row` as a new last row: sets its flag to live and writes it where the file's records end,
    // under the exclusive lock. Returns its row number. On failure nothing counts as stored, the file
    // is put back as far as possible, and FileError says what failed.
    std::uint32_t appendRow(RowBuffer& row);

    // Posts the edited `row` over record `rowNumber`, flag set to live, if that record is live in the
    // file. A record another station deleted since it was read is left deleted (writing the row would
    // bring it back) and false is returned. The check and the write run under the exclusive lock.
    // Throws FileError.
    bool rewriteRow(RowBuffer& row, std::uint32_t rowNumber);

    // Sets the deletion flag of record `rowNumber`, and nothing else of it, if it is live in the file;
    // returns false when it was no longer live (another station deleted it). The record stays and keeps
    // counting. The check and the write run under the exclusive lock. Throws FileError.
    bool markRowDeleted(std::uint32_t rowNumber);

    // Stamps today's date and the number of records in the file into the header, writes the header and
    // the end marker behind the last record. Runs under the exclusive lock and never shortens the file.
    // Throws FileError.
    void storeHeader();

    // Returns once everything written so far is on the storage device. Throws FileError.
    void sync() { file().sync(); }

private:
    void readStructure(bool justCreated);
    void notice(const std::string& text) const;
    void requireWritable() const;
    void checkRowNumber(std::uint32_t rowNumber) const;
    // The flag byte of record `rowNumber` as it is in the file now.
    unsigned char flagInFile(std::uint32_t rowNumber);

    std::vector<TableFieldDef> m_fields;
    TableOptions m_options;
};

// Creates the file at `path` from `fields` (name, type letter, width, decimals), or empties an existing
// one, writes the empty table (834 bytes for the results table) and closes it. Not allowed while this
// process has the file open. Throws TableError ("Cannot create file <path>", "Invalid field count : ...").
void CreateTableFile(const std::string& path, const std::vector<TableFieldDef>& fields,
                     const TableOptions& options = {});

// Creates the empty table at `path` only if no file of that name exists. The table is written under
// a temporary name and then given the real name without replacing anything, so a file another station
// created meanwhile is never emptied and a crash never leaves a half-written header under the real
// name. Returns true when this call created the file. Throws TableError, and FileError "Cannot create
// file <path>: <the system's reason>" when the new table cannot be written.
bool CreateTableFileIfMissing(const std::string& path, const std::vector<TableFieldDef>& fields,
                              const TableOptions& options = {});

// What OpenTableFile() does when no file of the given name exists.
enum class IfMissing {
    Fail,   // throw TableError "Open: Table file not found : <path>"
    Create, // create the empty table, as CreateTableFileIfMissing()
};

// Opens the table at `path` for reading only or for writing too (`mode`), or shares the object already
// open for that file in this process. A missing file is created from `fields` when `missing` says so;
// otherwise this throws TableError "Open: Table file not found : <path>". The field list of the result
// is always the one read from the file. Notices about the header go to `options.notice`. Throws
// FileError "Cannot open file <path>: <reason>" (also for anything but a regular file), and TableError
// "Cannot open file <path>: <reason>" for a file that is no table, a damaged one, or one that
// `options.checkFields` refuses; such a file is left as it was.
std::shared_ptr<TableFile> OpenTableFile(const std::string& path, OpenMode mode, IfMissing missing,
                                         const std::vector<TableFieldDef>& fields = {},
                                         const TableOptions& options = {});

// Opens the table at `path` on a handle of its own (never the object shared in this process), checks it as
// OpenTableFile() does, and closes it again without writing anything or giving a notice: whether the
// table opens now, for writing when `writable` is set. Throws as OpenTableFile() does, and TableError
// "Open: Table file not found : <path>" for a missing file.
void CheckTableFile(const std::string& path, bool writable, const TableOptions& options = {});

// Stores the header if the table was opened writable, then releases this user's share; the file is
// closed when its last user has released it. `table` is empty afterwards, also when the header store
// throws FileError.
void CloseTableFile(std::shared_ptr<TableFile>& table);

// The header block of an empty table made of `fields`, dated `today`, followed by the end marker.
// Throws TableError "Invalid field count : ..." for fewer than 1 or more than 4095 fields.
std::vector<unsigned char> emptyTableImage(const std::vector<TableFieldDef>& fields, const base::LocalDate& today);

} // namespace storage
