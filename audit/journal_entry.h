#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// One entry of the audit journal beside a results table (`tivora4_audit.csv` beside `tivora4.DBF`): a change
// the program made to the table, who made it where and when, what the row's bytes were afterwards, and the
// hash of the line before it, which chains the entries. JOURNAL_FORMAT.md beside this file has the format
// and what a check of it can and cannot show.
namespace audit {

// What was done to the row. Each has its name in the journal (actionName()).
enum class Action {
    TestStored,   // test_stored: a finished test appended its row
    RowStored,    // row_stored: the data window's pop-up item "pokus" appended a row
    RowInserted,  // row_inserted: the browser appended a row the examiner filled in
    FieldEdited,  // field_edited: the browser changed one field of a row (old and new value)
    RowDeleted,   // row_deleted: the browser marked a row deleted
    RowUndeleted, // row_undeleted: a deleted row was made visible again
};

// The action's name in the journal: "test_stored", "row_stored", ...
const char* actionName(Action action);

// Every column of a line, in order.
struct JournalEntry
{
    std::uint64_t sequence = 0; // seq: 1 for the first entry, one more for each after it
    std::string time;           // time: local, ISO 8601 with the offset ("2026-12-08T14:03:12+01:00")
    std::string station;        // station: the computer's host name
    std::string user;           // user: the operating-system user
    Action action = Action::TestStored;
    std::uint32_t row = 0;                    // row: 1-based record number in the table
    std::string field;                        // field: the field's name (field_edited only)
    std::string oldValue;                     // old_value: the field's text before (field_edited only)
    std::string newValue;                     // new_value: the field's text after (field_edited only)
    std::string rowSha256;                    // row_sha256: SHA-256 of the row's record bytes after the change
    std::optional<std::uint32_t> rowsAtStart; // rows_at_start: rows in the table before entry 1 (in entry 1 only)
    std::string previousSha256; // previous_sha256: SHA-256 of the previous line's bytes, its CR LF included
};

// Who changes the table where and when; the same for all the entries of one change.
struct EntryContext
{
    std::string time;    // local, ISO 8601 with the offset, as base::localDateTime() gives it
    std::string station; // host name, UTF-8
    std::string user;    // operating-system user, UTF-8
};

// A field's change, for Action::FieldEdited: its name and its text before and after, UTF-8.
struct FieldChange
{
    std::string field;
    std::string oldValue;
    std::string newValue;
};

// The journal's header line, with its CR LF: the column names.
extern const char* const kJournalHeader;

// The longest line the journal holds, CR LF not counted. A field holds at most 255 bytes, which escaping
// and quoting can make 1 530; host and user names are short. Longer lines are damage.
inline constexpr std::size_t kMaxLineBytes = 16384;

// The journal's path for the table at `tablePath`: its base name (without the extension) with "_audit.csv",
// in the same directory.
std::string journalPath(const std::string& tablePath);

// SHA-256 of `line` (a line's bytes with its CR LF) as 64 lowercase hexadecimal digits: what the next entry
// holds as previous_sha256. Throws crypto::CryptoError when the system's hash fails.
std::string lineHash(std::string_view line);

// What entry 1 holds as previous_sha256: the hash of the header line.
const std::string& firstPreviousHash();

// The entry for one change to `row` (1-based), whose record bytes after the change are `rowBytes`; `change`
// for Action::FieldEdited, empty for the others. Sequence, rows at start and the previous line's hash are
// left for the writer to fill in under the journal's lock (journalAppend()). Throws crypto::CryptoError when
// the system's hash fails.
JournalEntry makeEntry(const EntryContext& context, Action action, std::uint32_t row, std::string_view rowBytes,
                       const FieldChange& change = {});

// Why `entry` cannot be a line of the journal, or an empty text when it can: a sequence or row of 0, a time
// not in the form above, a text that is not UTF-8, a field (or values) on an action other than field_edited
// or none on one, rows at start on an entry other than the first or missing on it, a hash that is not 64
// lowercase hexadecimal digits. previousSha256 is checked too.
std::string entryProblem(const JournalEntry& entry);

// The line of `entry`, CR LF ended, linked to the line before it by `previousLineHash` (its lineHash(), or
// firstPreviousHash() for entry 1), which replaces entry.previousSha256. Throws JournalError "the journal
// entry cannot be written: <problem>" when entryProblem() names one or the line would be longer than
// kMaxLineBytes.
std::string entryLine(JournalEntry entry, const std::string& previousLineHash);

// The entry on `line` (without its CR LF), or nullopt with the reason in `problem`. Only a line exactly as
// entryLine() writes it is an entry: anything a writer of ours would not have written is damage.
std::optional<JournalEntry> parseEntryLine(std::string_view line, std::string& problem);

} // namespace audit
