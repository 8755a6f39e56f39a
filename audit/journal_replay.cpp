#include "audit/journal_replay.h"

#include "crypto/primitives.h"

#include <algorithm>
#include <map>

namespace audit {

namespace {

bool isChange(Action action)
{
    return action == Action::FieldEdited || action == Action::RowDeleted || action == Action::RowUndeleted;
}

// Where the journal's rows begin: entry 1's count, the table as it is for a journal without entries.
void findStart(const JournalReading& reading, std::uint32_t tableRows, Replay& replay)
{
    bool anyEntry = false;
    for (const JournalLine& line : reading.lines) {
        if (line.entry && line.entry->sequence == 1 && line.entry->rowsAtStart) {
            replay.rowsAtStart = *line.entry->rowsAtStart;
            return;
        }
        anyEntry = anyEntry || line.entry.has_value();
    }
    replay.startKnown = !anyEntry;
    replay.rowsAtStart = anyEntry ? 0 : tableRows;
}

} // namespace

const char* describe(RowState state)
{
    switch (state) {
    case RowState::Consistent:
        return "consistent";
    case RowState::ChangedOutside:
        return "changed outside the program";
    case RowState::BeforeJournal:
        return "stored before the journal began";
    case RowState::AddedOutside:
        return "added outside the program";
    case RowState::Missing:
        break;
    }
    return "missing from the table";
}

bool Replay::consistent() const
{
    const bool allThere = missing.empty() && (!startKnown || rowsAtStart <= tableRows);
    return !chainBreak && allThere && std::all_of(rows.begin(), rows.end(), [](const RowReplay& row) {
        return row.state == RowState::Consistent || row.state == RowState::BeforeJournal;
    });
}

Replay replayJournal(const JournalReading& reading, std::uint32_t tableRows, const RowBytesReader& readRow)
{
    Replay replay;
    replay.chainBreak = verifyChain(reading);
    replay.torn = reading.torn;
    replay.tableRows = tableRows;
    findStart(reading, tableRows, replay);

    // Rows beyond the table are kept apart: their numbers come from the journal, which may name any.
    replay.rows.resize(tableRows);
    std::map<std::uint32_t, RowReplay> beyond;
    for (std::size_t index = 0; index < reading.lines.size(); ++index) {
        if (const auto& entry = reading.lines[index].entry) {
            RowReplay& row = entry->row <= tableRows ? replay.rows[entry->row - 1] : beyond[entry->row];
            row.lastEntry = index;
            if (isChange(entry->action)) {
                ++row.changes;
                row.lastChange = index;
            }
        }
    }
    for (std::uint32_t number = 1; number <= tableRows; ++number) {
        RowReplay& row = replay.rows[number - 1];
        row.row = number;
        if (row.lastEntry == kNoEntry) {
            row.state = number <= replay.rowsAtStart ? RowState::BeforeJournal : RowState::AddedOutside;
        } else {
            const std::string& expected = reading.lines[row.lastEntry].entry->rowSha256;
            row.state = crypto::toHex(crypto::sha256(readRow(number))) == expected ? RowState::Consistent
                                                                                   : RowState::ChangedOutside;
        }
    }
    for (auto& [number, row] : beyond) {
        row.row = number;
        row.state = RowState::Missing;
        replay.missing.push_back(row);
    }
    return replay;
}

} // namespace audit
