#pragma once

#include "audit/journal_entry.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the audit journal beside a results table says about the changes made to each stored test after it
// was stored, for the protocol and the exports. Only the journal is read; whether the table still agrees
// with it is for `tivora-report verify` to say.
namespace report {

// The changes after storing (field edits, deletions, undeletions) the journal holds for one row.
struct RowChanges
{
    std::uint32_t count = 0;
    const audit::JournalEntry* last = nullptr;   // the last of them; null when there are none
    std::vector<const audit::JournalEntry*> all; // all of them, in the journal's order
};

// The bytes of the journal beside the table at `tablePath`, read without its lock (appends only ever add
// whole lines at the end, and a line still being written reads as a torn last line), or nullopt when there
// is none. Throws base::FileError when it cannot be read.
std::optional<std::string> readJournalBeside(const std::string& tablePath);

class ChangeHistory
{
public:
    // The journal beside the table at `tablePath` (audit::journalPath()), or null when there is none.
    // Throws base::FileError when it cannot be read, ReportError "Cannot read file <journal>: it is not an
    // audit journal (...)" when it is no journal. Damaged lines count for nothing; their warnings are in
    // problems().
    static std::unique_ptr<ChangeHistory> openBeside(const std::string& tablePath);

    // A history of the journal `bytes` found at `path`. Throws as openBeside() does.
    ChangeHistory(const std::string& path, const std::string& bytes);
    ChangeHistory(const ChangeHistory&) = delete; // holds pointers into itself
    ChangeHistory& operator=(const ChangeHistory&) = delete;

    const std::string& path() const { return m_path; }

    // The changes of record `record` (1-based); a count of 0 when the journal holds none.
    const RowChanges& forRow(std::uint32_t record) const;

    // What is wrong with the journal ("line 5: entry 4 is missing before entry 5"): the first break of the
    // chain, a torn last line. Empty for a sound journal.
    const std::vector<std::string>& problems() const { return m_problems; }

private:
    std::string m_path;
    std::vector<audit::JournalEntry> m_entries;
    std::map<std::uint32_t, RowChanges> m_rows;
    std::vector<std::string> m_problems;
};

// "3" and "2026-12-08T14:05:40+01:00 lab-2 novakova" for an export's two columns: the number of changes
// after storing and the last of them (time, station, user; empty when there was none).
std::string lastChangeText(const RowChanges& changes);

} // namespace report
