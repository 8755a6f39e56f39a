#pragma once

#include "audit/journal_entry.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the writer of the journal does under the table's lock, without the file: find where the journal ends
// and what the next entry links to, and make the bytes of the entries to append.
//
//   lock; size = file size; end = the last min(size, kTailWindow) bytes
//   tail = journalTail(end, size - end.size(), path)
//   bytes = journalAppend(tail, entries, rowsBeforeTheChange)
//   cut the file to tail.appendOffset; write bytes there; sync; unlock
namespace audit {

// How many of the file's last bytes journalTail() needs: a torn line and a whole line before it, each at
// most kMaxLineBytes and its CR LF, and the CR LF before that.
inline constexpr std::size_t kTailWindow = 2 * (kMaxLineBytes + 2) + 2;

struct JournalTail
{
    std::uint64_t appendOffset = 0; // where the next line goes; a torn line there is overwritten
    bool needsHeader = true;        // the file holds no complete header yet
    std::uint64_t nextSequence = 1;
    std::string previousHash; // what the next entry links to
};

// Where the journal whose last bytes are `end`, from offset `endOffset` to the end of the file, goes on:
// after its last complete line. A torn last line (no CR LF) is left behind: the append that wrote it never
// finished, and the change it was to record stays in the table. Throws JournalError "Cannot write file
// <path>: <reason>" when no entry may follow: the file is no journal, or its last complete line is no
// entry (damage is for the user to see, not to be built on). `end` must hold the whole file or at least
// its last kTailWindow bytes.
JournalTail journalTail(std::string_view end, std::uint64_t endOffset, const std::string& path);

// The bytes to write at tail.appendOffset for `entries` (made by makeEntry()): the header first when the
// journal begins, then one line each, numbered and linked from `tail` on. Entry 1 gets `rowsAtStart`, the
// table's row count before the change it records. Throws JournalError as entryLine() does; nothing is to be
// written then.
std::string journalAppend(const JournalTail& tail, std::vector<JournalEntry> entries, std::uint32_t rowsAtStart);

} // namespace audit
