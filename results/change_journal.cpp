#include "results/change_journal.h"

#include "audit/journal_append.h"
#include "base/error.h"
#include "base/local_date.h"
#include "results/station_identity.h"
#include "text/cp852.h"
#include "text/messages.h"

#include <algorithm>

namespace results {

namespace {

// Bytes of a table's main header the journal needs: the header length at 8 and the record length at 10,
// both 16-bit little-endian.
constexpr std::size_t kHeaderLengthAt = 8;
constexpr std::size_t kRecordLengthAt = 10;

[[noreturn]] void cannotRead(const std::string& path, const std::string& why)
{
    throw base::FileError(text::formatMessage(text::messages::kCannotReadFile, {path}) + ": " + why);
}

// The table's layout as its header gives it now, and its rows from the file's size.
struct TableLayout
{
    std::uint64_t headerLength = 0;
    std::uint64_t recordLength = 0;
    std::uint32_t rows = 0;
};

TableLayout readLayout(base::File& table)
{
    unsigned char header[12] = {};
    if (table.readAt(0, header, sizeof header) < sizeof header) {
        cannotRead(table.path(), "it is shorter than a table's header");
    }
    TableLayout layout;
    layout.headerLength = header[kHeaderLengthAt] | std::uint64_t {header[kHeaderLengthAt + 1]} << 8;
    layout.recordLength = header[kRecordLengthAt] | std::uint64_t {header[kRecordLengthAt + 1]} << 8;
    if (layout.recordLength < 1 || layout.headerLength < 33) {
        cannotRead(table.path(), "its header is damaged");
    }
    const std::uint64_t size = table.size();
    layout.rows = size < layout.headerLength
        ? 0
        : static_cast<std::uint32_t>((size - layout.headerLength) / layout.recordLength);
    return layout;
}

std::string rowBytes(base::File& table, const TableLayout& layout, std::uint32_t row)
{
    if (row < 1 || row > layout.rows) {
        cannotRead(table.path(), "it has no row " + std::to_string(row));
    }
    std::string bytes(layout.recordLength, '\0');
    if (table.readAt(layout.headerLength + (row - 1) * layout.recordLength, bytes.data(), bytes.size())
        < bytes.size()) {
        cannotRead(table.path(), "row " + std::to_string(row) + " is not whole");
    }
    return bytes;
}

audit::JournalTail readTail(base::File& journal)
{
    const std::uint64_t size = journal.size();
    const std::uint64_t from = size > audit::kTailWindow ? size - audit::kTailWindow : 0;
    std::string end(static_cast<std::size_t>(size - from), '\0');
    end.resize(journal.readAt(from, end.data(), end.size()));
    return audit::journalTail(end, from, journal.path());
}

bool appends(audit::Action action)
{
    return action == audit::Action::TestStored || action == audit::Action::RowStored
        || action == audit::Action::RowInserted;
}

std::string fieldText(const storage::RowBuffer& row, const storage::TableFieldDef& field)
{
    if (row.size() < field.offset + static_cast<std::size_t>(field.width)) {
        return {};
    }
    std::string_view bytes(reinterpret_cast<const char*>(row.data()) + field.offset,
                           static_cast<std::size_t>(field.width));
    while (!bytes.empty() && static_cast<unsigned char>(bytes.front()) <= 0x20) {
        bytes.remove_prefix(1);
    }
    while (!bytes.empty() && static_cast<unsigned char>(bytes.back()) <= 0x20) {
        bytes.remove_suffix(1);
    }
    return text::decodeCp852(bytes);
}

} // namespace

void appendJournalEntries(base::File& journal, base::File& table, const TableChange& change,
                          const audit::EntryContext& context)
{
    if (change.action == audit::Action::FieldEdited && change.fields.empty()) {
        return;
    }
    base::FileLock lock(journal);
    const audit::JournalTail tail = readTail(journal);
    const TableLayout layout = readLayout(table);
    const std::string bytes = rowBytes(table, layout, change.row);
    std::vector<audit::JournalEntry> entries;
    if (change.action == audit::Action::FieldEdited) {
        for (const audit::FieldChange& field : change.fields) {
            entries.push_back(audit::makeEntry(context, change.action, change.row, bytes, field));
        }
    } else {
        entries.push_back(audit::makeEntry(context, change.action, change.row, bytes));
    }
    // Rows before an appended one were there before the change; an edit leaves the count as it is.
    const std::uint32_t rowsAtStart = appends(change.action) ? change.row - 1 : layout.rows;
    const std::string lines = audit::journalAppend(tail, std::move(entries), rowsAtStart);
    try {
        if (journal.size() > tail.appendOffset) {
            journal.truncate(tail.appendOffset); // a torn line of an append that never finished
        }
        journal.writeAt(tail.appendOffset, lines.data(), lines.size());
        journal.sync();
    } catch (const base::FileError&) {
        // Leave no half entry behind: the next append would have to cut it off, and a reader meanwhile
        // would take it for a crash.
        try {
            journal.truncate(tail.appendOffset);
        } catch (const base::FileError&) {
            // The first failure is the one to report.
        }
        throw;
    }
}

void recordTableChange(const std::string& tablePath, const TableChange& change)
{
    const audit::EntryContext context {base::localDateTime(), stationName(), operatingSystemUser()};
    const std::unique_ptr<base::File> table = base::openFile(tablePath, base::OpenMode::ReadOnly);
    if (!table) {
        cannotRead(tablePath, "it is not there");
    }
    const std::unique_ptr<base::File> journal = base::openOrCreateFile(audit::journalPath(tablePath));
    appendJournalEntries(*journal, *table, change, context);
}

bool recordTableChangeOrNotify(const std::string& tablePath, const TableChange& change,
                               const storage::NoticeSink& notice)
{
    try {
        recordTableChange(tablePath, change);
        return true;
    } catch (const std::exception& error) {
        if (notice) {
            notice(std::string(messages::kJournalFailed) + error.what());
        }
    } catch (...) {
        if (notice) {
            notice(messages::kJournalFailed);
        }
    }
    return false;
}

std::vector<audit::FieldChange> changedFields(const std::vector<storage::TableFieldDef>& fields,
                                              const storage::RowBuffer& before, const storage::RowBuffer& after)
{
    std::vector<audit::FieldChange> changes;
    for (const storage::TableFieldDef& field : fields) {
        const std::size_t end = field.offset + static_cast<std::size_t>(field.width);
        if (end > before.size() || end > after.size()
            || std::equal(before.data() + field.offset, before.data() + end, after.data() + field.offset)) {
            continue;
        }
        changes.push_back({field.name, fieldText(before, field), fieldText(after, field)});
    }
    return changes;
}

storage::ChangeObserver journalObserver(storage::Dataset& table)
{
    return [&table](const storage::RowChange& change) {
        TableChange recorded;
        recorded.row = change.record;
        switch (change.kind) {
        case storage::RowChange::Kind::Appended:
            recorded.action = audit::Action::RowInserted;
            break;
        case storage::RowChange::Kind::Rewritten:
            recorded.action = audit::Action::FieldEdited;
            recorded.fields = changedFields(table.fields(), change.before, change.after);
            break;
        case storage::RowChange::Kind::Deleted:
            recorded.action = audit::Action::RowDeleted;
            break;
        }
        recordTableChangeOrNotify(table.path(), recorded, table.noticeHandler());
    };
}

} // namespace results
