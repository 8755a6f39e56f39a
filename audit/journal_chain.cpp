#include "audit/journal_chain.h"

namespace audit {

namespace {

std::string entryName(std::uint64_t sequence)
{
    return "entry " + std::to_string(sequence);
}

ChainBreak at(BreakKind kind, const JournalLine& line, std::uint64_t sequence, const std::string& what)
{
    return ChainBreak {kind, line.number, sequence, "line " + std::to_string(line.number) + ": " + what};
}

// The break where entry `found` stands at `index` although entry `expected` belongs there.
ChainBreak outOfSequence(const JournalReading& reading, std::size_t index, std::uint64_t expected)
{
    const JournalLine& line = reading.lines[index];
    const std::uint64_t found = line.entry->sequence;
    bool expectedLater = false;
    for (std::size_t later = index + 1; later < reading.lines.size() && !expectedLater; ++later) {
        expectedLater = reading.lines[later].entry && reading.lines[later].entry->sequence == expected;
    }
    if (found < expected || expectedLater) {
        return at(BreakKind::Reordered, line, found,
                  entryName(found) + " stands where " + entryName(expected) + " belongs (entries were moved)");
    }
    const std::string missing = found - expected == 1
        ? entryName(expected) + " is missing"
        : "entries " + std::to_string(expected) + " to " + std::to_string(found - 1) + " are missing";
    return at(BreakKind::Removed, line, found, missing + " before " + entryName(found));
}

// The break where entry `index` does not hold the hash of the line before it (the sequence being right).
ChainBreak brokenLink(const JournalReading& reading, std::size_t index)
{
    const JournalLine& line = reading.lines[index];
    const std::uint64_t sequence = line.entry->sequence;
    const JournalLine* next = index + 1 < reading.lines.size() ? &reading.lines[index + 1] : nullptr;
    const bool nextFollows = next && next->entry && next->entry->sequence == sequence + 1;
    if (nextFollows && next->entry->previousSha256 != line.hash) {
        // Neither link of this line holds: the line itself is not the one that was written.
        return at(BreakKind::Altered, line, sequence,
                  entryName(sequence)
                      + " was altered after it was written (neither its hash of the line before "
                        "it nor the next entry's hash of it match)");
    }
    if (nextFollows && index > 0) {
        // This line is vouched for by the next; the line before it is not the one this one vouches for.
        const JournalLine& previous = reading.lines[index - 1];
        return at(BreakKind::Altered, previous, sequence - 1,
                  entryName(sequence - 1) + " was altered after it was written (" + entryName(sequence)
                      + " holds the hash of a different line)");
    }
    const std::string before = index == 0 ? std::string("the header") : entryName(sequence - 1);
    return at(BreakKind::Unlinked, line, sequence,
              entryName(sequence) + " does not follow " + before
                  + " (it holds the hash of a different line): one of them was altered, or " + entryName(sequence)
                  + " was not written by the program");
}

} // namespace

std::optional<ChainBreak> verifyChain(const JournalReading& reading)
{
    if (!reading.notAJournal.empty()) {
        return ChainBreak {BreakKind::NotAJournal, 1, 0,
                           "line 1: the file is not an audit journal: " + reading.notAJournal};
    }
    std::string previousHash = firstPreviousHash();
    for (std::size_t index = 0; index < reading.lines.size(); ++index) {
        const JournalLine& line = reading.lines[index];
        if (!line.entry) {
            return at(BreakKind::Foreign, line, 0, "no journal entry: " + line.problem);
        }
        const std::uint64_t expected = index + 1;
        if (line.entry->sequence != expected) {
            return outOfSequence(reading, index, expected);
        }
        if (line.entry->previousSha256 != previousHash) {
            return brokenLink(reading, index);
        }
        previousHash = line.hash;
    }
    return std::nullopt;
}

} // namespace audit
