#pragma once

#include "audit/journal_entry.h"
#include "engine/evaluation.h"
#include "results/result_record.h"
#include "storage/dataset.h"

#include <functional>
#include <optional>
#include <string>

// Texts of the results store.
namespace results::messages {

// Shown after a stored row when its timing record could not be written; the reason follows.
inline constexpr const char* kTimingRecordFailed = "Výsledek je uložen, ale časový záznam se nepodařilo zapsat: ";

} // namespace results::messages

// The results table (kResultsTableName): creating it, opening it for the browser, and storing one row.
namespace results {

// Refuses a table that is not the results table, so that the station never writes into another file
// of that name: its first 25 fields must be those of resultTableFields(), in order, each with the same
// name, type letter, width and decimals (a count field with decimals could not hold a count). Fields
// behind them are allowed: another program may have added a column, and a store leaves it empty. A
// storage::FieldCheck. Throws storage::TableError "Cannot open file <path>: it is not a results table (<why>)".
void checkResultsTableFields(const std::string& path, const std::vector<storage::TableFieldDef>& fields);

// Gives `table` the results table's name and fields (used when it has to be created at opening) and the
// check of its fields (checkResultsTableFields()). Allowed while open; the name only changes while closed.
void configureResultsTable(storage::Dataset& table);

// The start-up step: configures `table` as the results table and opens it (creating the file when it
// is missing), so that the results browser shows its rows. Throws storage::TableError.
void openResultsTable(storage::Dataset& table);

// Creates the empty results table in `directory` (the current directory when empty) when no file of
// that name exists there. A file another station created meanwhile is left alone. Returns true when
// this call created it. Throws storage::TableError "Cannot create file <path>".
bool createResultsTableIfMissing(const std::string& directory = {}, const storage::TableOptions& options = {});

// Checks, before a test starts, that its row could be stored in the results table of `table` (configured as
// configureResultsTable() does) now: a
// missing table is created (as the store would create it); an existing one must open for writing and
// pass the checks of opening (a table at all, undamaged, with the results table's fields). Nothing is
// written to an existing file. When `table` is open on a file that is no longer the one at its path
// (removed or replaced since it was opened), it is closed, so that the store opens the file that is there
// now (a row pending in the browser is dropped with it); otherwise it is neither opened nor closed.
// Returns the examiner's message (Czech, naming the file and the reason) when the row could not be
// stored, nothing when it could.
std::optional<std::string> checkResultsTableWritable(storage::Dataset& table);

// Stores one result row, in this order: open the table (no effect when open; a missing file is
// created), append a new row, assign fields 0 to 24 in schema order, post it, make it durable, close
// the table. A row the browser left pending is settled by the append first.
//
// When a step fails (a value out of range or too long, a failed write) the new row is cancelled, not
// left half filled for a later operation to write, and the error is rethrown with the table still
// open; a retry appends one complete row. Once the row is durable the result is stored: a header store
// that then fails at the close is passed to the table's notice handler instead of being thrown, since a
// retry would store the row twice. After a successful store each capped count of `record` is reported to
// the notice handler. Returns the stored row's record number (1-based, deleted rows counted). Throws
// TableError.
std::uint32_t ulo_do_DBF(storage::Dataset& table, const ResultRecord& record);

// The store callback of the evaluation: builds the row from the measurement and the identity that
// `subject` reports at that moment, stores it in `table` with ulo_do_DBF(), records it in the audit journal
// beside the table as `action` (a finished test, or a row stored at once from the data window), then
// appends the test's trials to the timing record beside the table. A journal or timing record that cannot
// be written is reported to the table's notice handler after the row is stored, never thrown. `table` must
// outlive the callback.
engine::StoreResult makeResultStore(storage::Dataset& table, std::function<Identity()> subject,
                                    audit::Action action = audit::Action::TestStored);

} // namespace results
