#pragma once

#include "audit/journal_chain.h"
#include "audit/journal_reader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The journal replayed against the table it lies beside: for every row, whether the table still holds what
// the journal's last entry for it says, and where the journal does not speak of a row, whether it was there
// before the journal began. Pure: the table is reached only through its row count and a reader of a row's
// bytes.
namespace audit {

enum class RowState {
    Consistent,     // its bytes are those the journal's last entry for it says
    ChangedOutside, // its bytes differ from those the journal's last entry for it says
    BeforeJournal,  // no entry, and it was in the table before the journal began
    AddedOutside,   // no entry, and it was not in the table when the journal began
    Missing,        // the journal has an entry for it, but the table ends before it
};

// "consistent", "changed outside the program", ...: the state in words for a report.
const char* describe(RowState state);

inline constexpr std::size_t kNoEntry = static_cast<std::size_t>(-1);

struct RowReplay
{
    std::uint32_t row = 0; // 1-based
    RowState state = RowState::BeforeJournal;
    std::size_t lastEntry = kNoEntry;  // index in JournalReading::lines of the last entry for the row
    std::uint32_t changes = 0;         // its field edits, deletions and undeletions in the journal
    std::size_t lastChange = kNoEntry; // index of the last of those
};

struct Replay
{
    // The table's rows when the journal began, from entry 1; without entry 1 in a journal that has entries
    // it is unknown (false), and rows without entries count as added outside.
    bool startKnown = true;
    std::uint32_t rowsAtStart = 0;
    // Rows 1 to the table's row count, in order.
    std::vector<RowReplay> rows;
    // The rows beyond the table's end that the journal has entries for, in order (all Missing). Rows that
    // were there when the journal began but are no longer show as rowsAtStart above the table's count.
    std::vector<RowReplay> missing;
    std::uint32_t tableRows = 0;
    std::optional<ChainBreak> chainBreak; // verifyChain()'s report
    std::optional<TornLine> torn;         // a last line cut short: reported, no break

    // True when the chain holds, no row is missing, and every row is consistent or older than the journal.
    bool consistent() const;
};

// Reads the bytes (flag byte and fields) of row `row` (1-based, at most the table's row count). May throw;
// the exception leaves replayJournal().
using RowBytesReader = std::function<std::string(std::uint32_t row)>;

// Replays `reading` against a table of `tableRows` rows whose bytes `readRow` gives. Every entry that is
// one counts, in the file's order, even past a break of the chain (the break is reported beside the rows:
// what follows it is not vouched for). A journal without entries (none, or no file at all: an empty
// reading) began with the table as it is, so every row is older than it. readRow is asked only for rows
// the journal has an entry for.
Replay replayJournal(const JournalReading& reading, std::uint32_t tableRows, const RowBytesReader& readRow);

} // namespace audit
