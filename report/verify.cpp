#include "report/verify.h"

#include "audit/journal_replay.h"
#include "report/change_history.h"
#include "report/command_line.h"
#include "storage/dbf_table.h"

#include <vector>

namespace report {

namespace {

// Where the entry at `index` of `reading` stands: "entry 5 (line 6)".
std::string entryAt(const audit::JournalReading& reading, std::size_t index)
{
    const audit::JournalLine& line = reading.lines[index];
    return "entry " + std::to_string(line.entry ? line.entry->sequence : 0) + " (line " + std::to_string(line.number)
        + ")";
}

std::string rowFinding(const audit::JournalReading& reading, const audit::RowReplay& row)
{
    switch (row.state) {
    case audit::RowState::Consistent: {
        std::string text = "consistent";
        if (row.changes > 0) {
            text += ", changed " + std::to_string(row.changes) + (row.changes == 1 ? " time" : " times")
                + " in Tivora after it was stored, last by " + entryAt(reading, row.lastChange);
        }
        return text;
    }
    case audit::RowState::ChangedOutside:
        return "changed outside Tivora: its bytes are not those " + entryAt(reading, row.lastEntry) + " recorded";
    case audit::RowState::BeforeJournal:
        return "stored before the journal began";
    case audit::RowState::AddedOutside:
        return "added outside Tivora: the journal has no entry for it";
    case audit::RowState::Missing:
        break;
    }
    return "missing from the table: " + entryAt(reading, row.lastEntry) + " is about it";
}

struct TableRows
{
    std::shared_ptr<storage::TableFile> file;
    std::uint32_t count = 0;
};

TableRows openRows(const std::string& path)
{
    TableRows rows;
    storage::TableOptions options;
    options.notice = [](const std::string&) {}; // a lagging header row count is normal while stations append
    rows.file = storage::OpenTableFile(path, storage::OpenMode::ReadOnly, storage::IfMissing::Fail, {}, options);
    rows.count = rows.file->refreshRowCount();
    return rows;
}

// Prints the findings; returns whether everything is consistent.
bool printFindings(const std::string& table, const TableRows& rows, const std::optional<std::string>& journal,
                   std::ostream& out)
{
    const audit::JournalReading reading = audit::readJournal(journal ? *journal : std::string());
    const audit::Replay replay = audit::replayJournal(reading, rows.count, [&rows](std::uint32_t row) {
        storage::RowBuffer buffer;
        rows.file->loadRow(row, buffer);
        return std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size());
    });
    std::size_t entries = 0;
    for (const audit::JournalLine& line : reading.lines) {
        entries += line.entry ? 1U : 0U;
    }
    out << "table " << table << ": " << rows.count << (rows.count == 1 ? " row" : " rows") << '\n';
    out << "journal " << audit::journalPath(table) << ": "
        << (journal ? std::to_string(entries) + (entries == 1 ? " entry" : " entries") : "none") << '\n';
    for (const audit::RowReplay& row : replay.rows) {
        out << "row " << row.row << ": " << rowFinding(reading, row) << '\n';
    }
    for (const audit::RowReplay& row : replay.missing) {
        out << "row " << row.row << ": " << rowFinding(reading, row) << '\n';
    }
    if (replay.startKnown && replay.rowsAtStart > rows.count) {
        out << "the table has " << rows.count << " rows, but had " << replay.rowsAtStart
            << " when the journal began: rows were removed\n";
    }
    if (replay.chainBreak) {
        out << "journal broken at " << replay.chainBreak->message << '\n';
    }
    if (replay.torn) {
        out << "journal: line " << replay.torn->number << " was cut short (" << replay.torn->bytes
            << " bytes): an append that never finished; not a break of the chain\n";
    }
    const bool unvouched = !journal && rows.count > 0;
    if (unvouched) {
        out << "no journal beside the table: none of its rows is vouched for\n";
    }
    return replay.consistent() && !unvouched;
}

} // namespace

int runVerify(const std::string& table, std::ostream& out, std::ostream& err)
{
    try {
        const TableRows rows = openRows(table);
        const std::optional<std::string> journal = readJournalBeside(table);
        const bool consistent = printFindings(table, rows, journal, out);
        out << (consistent ? "consistent\n" : "NOT consistent\n");
        return consistent ? kExitOk : kExitInconsistent;
    } catch (const std::exception& error) {
        err << "tivora-report: " << error.what() << '\n';
        return kExitFailure;
    }
}

} // namespace report
