#pragma once

#include "audit/journal_reader.h"

#include <cstdint>
#include <optional>
#include <string>

// The check of a journal's chain: every entry holds the hash of the line before it and the next sequence
// number, so an entry removed, altered, moved or put in by hand breaks the chain where it happened. What it
// cannot show is in JOURNAL_FORMAT.md: chiefly, whoever rewrites the whole journal from some entry on (or
// removes its last entries) leaves a chain without a break.
namespace audit {

enum class BreakKind {
    NotAJournal, // the file does not begin with the journal's header
    Foreign,     // a line that is no entry (damaged, or not written the way the journal writes)
    Removed,     // entries are missing: the sequence jumps forward
    Reordered,   // an entry stands where another belongs (moved, swapped or repeated)
    Altered,     // an entry's line is not the one the entry after it vouches for
    Unlinked,    // an entry does not hold the hash of the line before it, and nothing after it tells more
};

struct ChainBreak
{
    BreakKind kind = BreakKind::Foreign;
    std::uint64_t line = 0;     // the line number the break is reported at (the header is line 1)
    std::uint64_t sequence = 0; // the entry it concerns, 0 when the line is no entry
    std::string message;        // "line 5: entry 4 was altered after it was written (...)"
};

// The first break of the chain in `reading`, or nullopt when every line is an entry, numbered from 1 on
// without a gap and linked to the line before it. A torn last line (reading.torn) is no break: an append
// cut short never finished, and nothing follows it; the caller reports it apart.
std::optional<ChainBreak> verifyChain(const JournalReading& reading);

} // namespace audit
