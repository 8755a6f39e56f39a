#pragma once

#include "audit/journal_entry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reading a whole journal: its lines taken apart, each either an entry or damage named with the reason,
// and a last line cut short by a crash told apart from damage.
namespace audit {

// One line after the header.
struct JournalLine
{
    std::uint64_t number = 0;          // line number in the file, the header being line 1
    std::string hash;                  // lineHash() of the line's bytes, CR LF included
    std::optional<JournalEntry> entry; // nullopt: the line is damaged
    std::string problem;               // why it is damaged ("it has 11 values, an entry has 12")
};

// The file's last line when it has no CR LF: what an append cut short by a crash or a power loss leaves
// (every append writes whole lines and ends them with CR LF), or a reader meeting an append still under way.
struct TornLine
{
    std::uint64_t number = 0; // its line number
    std::uint64_t offset = 0; // where it begins in the file
    std::uint64_t bytes = 0;  // its length
};

struct JournalReading
{
    // Empty when the file begins with the journal's header (or is empty, or holds only a torn beginning
    // of it); otherwise why it is no journal, and `lines` is empty.
    std::string notAJournal;
    // After the header, in the file's order, the torn line not included. Of the damaged lines only the
    // first kDamagedLinesKept are kept: the first is the chain's break, and the others add nothing to the
    // replay, while a hostile file of empty lines would otherwise take gigabytes.
    std::vector<JournalLine> lines;
    std::uint64_t damagedLines = 0; // all of them, kept or not
    std::optional<TornLine> torn;
};

inline constexpr std::uint64_t kDamagedLinesKept = 100;

// Takes the journal `bytes` (the whole file) apart. Never throws for any content; throws
// crypto::CryptoError only when the system's hash fails.
JournalReading readJournal(std::string_view bytes);

} // namespace audit
