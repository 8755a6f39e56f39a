#pragma once

#include "audit/journal_entry.h"
#include "base/file.h"
#include "storage/dataset.h"

#include <cstdint>
#include <string>
#include <vector>

// Texts of the journal's writer.
namespace results::messages {

// Shown when a change is in the table but its journal entry could not be written; the reason follows.
inline constexpr const char* kJournalFailed = "Změna je uložena, ale deník změn se nepodařilo zapsat: ";

} // namespace results::messages

// Writing the audit journal beside a results table (audit/JOURNAL_FORMAT.md): one entry for each change the
// program makes to the table, after the change is in the table. A journal that cannot be written is
// reported and never undoes the change.
namespace results {

// One change to record: what was done to which row, and for an edit the fields whose bytes it changed.
struct TableChange
{
    audit::Action action = audit::Action::TestStored;
    std::uint32_t row = 0;                  // 1-based record number
    std::vector<audit::FieldChange> fields; // FieldEdited: one entry each, in field order; else empty
};

// Appends the entries of `change` to the journal `journal` under the journal's exclusive lock: reads the
// journal's tail, drops a torn last line, writes the entries (the header first when the journal begins) in
// one write and syncs before the lock is released, so that stations appending at once keep one chain.
// The row's bytes, and for the journal's first entry the table's row count, are read from `table` (the
// table's file, open for reading) under that lock: whichever station journals last holds the bytes the
// table holds after every change journaled so far. A failed write cuts the journal back to its tail.
// Nothing is written for a FieldEdited change without fields. Throws base::FileError, audit::JournalError
// (a damaged journal is not written to) and crypto::CryptoError.
void appendJournalEntries(base::File& journal, base::File& table, const TableChange& change,
                          const audit::EntryContext& context);

// Records `change` to the table at `tablePath` in its journal (audit::journalPath()), created when missing,
// with the time now, this station and this user. Throws as appendJournalEntries() does.
void recordTableChange(const std::string& tablePath, const TableChange& change);

// As recordTableChange(), but a failure is given to `notice` (kJournalFailed and the reason) instead of
// thrown; returns whether the entries were written.
bool recordTableChangeOrNotify(const std::string& tablePath, const TableChange& change,
                               const storage::NoticeSink& notice);

// The fields whose bytes differ between the record images `before` and `after`, each with its text before
// and after as the program shows it (blanks around it dropped, code page 852 decoded), in field order.
std::vector<audit::FieldChange> changedFields(const std::vector<storage::TableFieldDef>& fields,
                                              const storage::RowBuffer& before, const storage::RowBuffer& after);

// The change observer that journals what `table` writes (storage::Dataset::setChangeObserver()): a row
// appended as row_inserted, a row rewritten as one field_edited per changed field, a deletion as
// row_deleted. Failures go to the table's notice handler. `table` must outlive the observer.
storage::ChangeObserver journalObserver(storage::Dataset& table);

} // namespace results
