#include "audit/journal_append.h"

#include "audit/journal_error.h"

#include <algorithm>

namespace audit {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

[[noreturn]] void refuse(const std::string& path, const std::string& reason)
{
    throw JournalError("Cannot write file " + path + ": " + reason);
}

} // namespace

JournalTail journalTail(std::string_view end, std::uint64_t endOffset, const std::string& path)
{
    const std::string_view header(kJournalHeader);
    JournalTail tail;
    tail.previousHash = firstPreviousHash();
    const std::size_t headerPart = std::min(end.size(), header.size());
    if (endOffset == 0 && end.substr(0, headerPart) != header.substr(0, headerPart)) {
        refuse(path, "it is not an audit journal (its first line is not the journal's header)");
    }
    const std::size_t lastEnd = end.rfind(kLineEnd);
    if (lastEnd == std::string_view::npos) {
        // Empty, or a first write cut short: the journal begins again.
        if (endOffset == 0 && header.substr(0, end.size()) == end) {
            return tail;
        }
        refuse(path, "it is not an audit journal (no complete line ends it)");
    }
    if (end.size() - (lastEnd + kLineEnd.size()) > kMaxLineBytes + 1) {
        refuse(path, "it is not an audit journal (its last line is longer than any entry)");
    }
    tail.appendOffset = endOffset + lastEnd + kLineEnd.size();
    const std::size_t before = lastEnd == 0 ? std::string_view::npos : end.rfind(kLineEnd, lastEnd - 1);
    const std::size_t begin = before == std::string_view::npos ? 0 : before + kLineEnd.size();
    if (before == std::string_view::npos && endOffset != 0) {
        refuse(path, "its last complete line is longer than any entry, so no entry can follow it");
    }
    const std::string_view line = end.substr(begin, lastEnd + kLineEnd.size() - begin);
    if (endOffset + begin == 0) {
        if (line != header) {
            refuse(path, "it is not an audit journal (its first line is not the journal's header)");
        }
        tail.needsHeader = false;
        return tail;
    }
    std::string problem;
    const std::optional<JournalEntry> last = parseEntryLine(line.substr(0, line.size() - kLineEnd.size()), problem);
    if (!last) {
        refuse(path, "its last line is damaged (" + problem + "), so no entry can follow it");
    }
    tail.needsHeader = false;
    tail.nextSequence = last->sequence + 1;
    tail.previousHash = lineHash(line);
    return tail;
}

std::string journalAppend(const JournalTail& tail, std::vector<JournalEntry> entries, std::uint32_t rowsAtStart)
{
    std::string bytes = tail.needsHeader ? kJournalHeader : "";
    std::string previous = tail.previousHash;
    std::uint64_t sequence = tail.nextSequence;
    for (JournalEntry& entry : entries) {
        entry.sequence = sequence++;
        entry.rowsAtStart = entry.sequence == 1 ? std::optional<std::uint32_t>(rowsAtStart) : std::nullopt;
        const std::string line = entryLine(std::move(entry), previous);
        previous = lineHash(line);
        bytes += line;
    }
    return bytes;
}

} // namespace audit
