#include "report/change_history.h"

#include "audit/journal_chain.h"
#include "audit/journal_reader.h"
#include "base/file.h"
#include "report/report_error.h"
#include "text/messages.h"

namespace report {

std::optional<std::string> readJournalBeside(const std::string& tablePath)
{
    const std::string path = audit::journalPath(tablePath);
    const std::unique_ptr<base::File> file = base::openFile(path, base::OpenMode::ReadOnly);
    if (!file) {
        return std::nullopt;
    }
    std::string bytes;
    char block[65536];
    for (std::size_t got = 0; (got = file->readAt(bytes.size(), block, sizeof block)) > 0;) {
        bytes.append(block, got);
    }
    return bytes;
}

std::unique_ptr<ChangeHistory> ChangeHistory::openBeside(const std::string& tablePath)
{
    const std::optional<std::string> bytes = readJournalBeside(tablePath);
    return bytes ? std::make_unique<ChangeHistory>(audit::journalPath(tablePath), *bytes) : nullptr;
}

ChangeHistory::ChangeHistory(const std::string& path, const std::string& bytes)
    : m_path(path)
{
    const audit::JournalReading reading = audit::readJournal(bytes);
    if (!reading.notAJournal.empty()) {
        throw fileError(text::messages::kCannotReadFile, path, reading.notAJournal);
    }
    if (const std::optional<audit::ChainBreak> broken = audit::verifyChain(reading)) {
        m_problems.push_back(broken->message);
    }
    if (reading.torn) {
        m_problems.push_back("line " + std::to_string(reading.torn->number)
                             + ": an entry cut short (an append that never finished)");
    }
    for (const audit::JournalLine& line : reading.lines) {
        if (line.entry) {
            m_entries.push_back(*line.entry);
        }
    }
    for (const audit::JournalEntry& entry : m_entries) {
        if (entry.action == audit::Action::FieldEdited || entry.action == audit::Action::RowDeleted
            || entry.action == audit::Action::RowUndeleted) {
            RowChanges& row = m_rows[entry.row];
            ++row.count;
            row.last = &entry;
            row.all.push_back(&entry);
        }
    }
}

const RowChanges& ChangeHistory::forRow(std::uint32_t record) const
{
    static const RowChanges kNone;
    const auto found = m_rows.find(record);
    return found == m_rows.end() ? kNone : found->second;
}

std::string lastChangeText(const RowChanges& changes)
{
    return changes.last ? changes.last->time + " " + changes.last->station + " " + changes.last->user : "";
}

} // namespace report
