// Any bytes as an audit journal beside a table of a few rows (the first byte: how many). Reading it never
// fails; every line is an entry that is written back to exactly its own bytes, or damage named in printable
// words without the line's content; the chain's first break is named at a line the journal has; the replay
// classifies every row of the table and reads only those; and whatever the writer continues, it continues
// so that a journal whose chain held still holds, with the entry it appended last.
#include "audit/journal_append.h"
#include "audit/journal_error.h"
#include "audit/journal_replay.h"
#include "fuzz/fuzz_support.h"

namespace {

bool printableAscii(const std::string& text)
{
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    return !text.empty();
}

void checkReading(const audit::JournalReading& reading)
{
    for (const audit::JournalLine& line : reading.lines) {
        if (line.entry) {
            const std::string written = audit::entryLine(*line.entry, line.entry->previousSha256);
            fuzz::require(audit::lineHash(written) == line.hash, "an entry is written back to its own bytes");
        } else {
            fuzz::require(printableAscii(line.problem), "a damaged line is named in printable words");
        }
    }
}

void checkReplay(const audit::JournalReading& reading, std::uint32_t tableRows)
{
    const audit::Replay replay = audit::replayJournal(reading, tableRows, [&](std::uint32_t row) {
        fuzz::require(row >= 1 && row <= tableRows, "only the table's rows are read");
        return "row " + std::to_string(row);
    });
    fuzz::require(replay.rows.size() == tableRows, "every row of the table is classified");
    for (std::size_t i = 0; i < replay.rows.size(); ++i) {
        fuzz::require(replay.rows[i].row == i + 1, "the rows in order");
    }
    for (const audit::RowReplay& row : replay.missing) {
        fuzz::require(row.row > tableRows && row.state == audit::RowState::Missing, "missing rows are beyond the end");
    }
    if (const auto& found = replay.chainBreak) {
        fuzz::require(printableAscii(found->message), "a break is named in printable words");
        fuzz::require(found->message.rfind("line " + std::to_string(found->line) + ": ", 0) == 0, "at its line");
        fuzz::require(found->line >= 1 && found->line <= reading.lines.size() + 1, "a line the journal has");
        fuzz::require(!replay.consistent(), "a broken chain is never consistent");
    } else {
        for (std::size_t i = 0; i < reading.lines.size(); ++i) {
            fuzz::require(reading.lines[i].entry && reading.lines[i].entry->sequence == i + 1, "a chain that holds");
        }
    }
}

// The writer goes on after the journal `bytes`: a chain that held holds with one more entry.
void checkAppend(std::string bytes, bool chainHeld)
{
    audit::JournalTail tail;
    try {
        tail = audit::journalTail(bytes, 0, "audit.csv");
    } catch (const audit::JournalError& error) {
        fuzz::require(std::string(error.what()).rfind("Cannot write file audit.csv: ", 0) == 0, "named refusal");
        return;
    }
    fuzz::require(tail.appendOffset <= bytes.size(), "the writer appends within the file");
    const audit::EntryContext context {"2026-12-08T14:03:12+01:00", "lab", "user"};
    bytes.resize(tail.appendOffset);
    bytes += audit::journalAppend(tail, {audit::makeEntry(context, audit::Action::RowDeleted, 1, "*")}, 1);
    const audit::JournalReading after = audit::readJournal(bytes);
    if (chainHeld) {
        fuzz::require(!audit::verifyChain(after) && !after.torn, "the chain still holds, nothing torn");
        fuzz::require(!after.lines.empty() && after.lines.back().entry->sequence == tail.nextSequence,
                      "the appended entry is the last");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::InputReader input(data, size);
    const std::uint32_t tableRows = input.byte() % 16U;
    const std::string bytes(input.rest());
    const audit::JournalReading reading = audit::readJournal(bytes);
    checkReading(reading);
    checkReplay(reading, tableRows);
    checkAppend(bytes, !audit::verifyChain(reading));
    return 0;
}
