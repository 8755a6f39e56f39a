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

// The last complete line in `end` (the file's bytes from `endOffset` on), with its CR LF, which stands at
// byte `lastEnd` of `end`. The file's first line is the header: the caller checked the file begins with it.
std::string_view lastCompleteLine(std::string_view end, std::uint64_t endOffset, std::size_t lastEnd,
                                  const std::string& path)
{
    if (lastEnd == std::string_view::npos) {
        refuse(path, "it is not an audit journal (no complete line ends it)");
    }
    if (end.size() - (lastEnd + kLineEnd.size()) > kMaxLineBytes + 1) {
        refuse(path, "it is not an audit journal (its last line is longer than any entry)");
    }
    const std::size_t before = lastEnd == 0 ? std::string_view::npos : end.rfind(kLineEnd, lastEnd - 1);
    if (before == std::string_view::npos && endOffset != 0) {
        refuse(path, "its last complete line is longer than any entry, so no entry can follow it");
    }
    const std::size_t begin = before == std::string_view::npos ? 0 : before + kLineEnd.size();
    return end.substr(begin, lastEnd + kLineEnd.size() - begin);
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
    if (lastEnd == std::string_view::npos && endOffset == 0) {
        return tail; // empty, or a first write cut short: the journal begins again
    }
    const std::string_view line = lastCompleteLine(end, endOffset, lastEnd, path);
    tail.appendOffset = endOffset + lastEnd + kLineEnd.size();
    tail.needsHeader = false;
    if (tail.appendOffset == line.size()) {
        return tail; // the header: entry 1 comes next
    }
    std::string problem;
    const std::optional<JournalEntry> last = parseEntryLine(line.substr(0, line.size() - kLineEnd.size()), problem);
    if (!last) {
        refuse(path, "its last line is damaged (" + problem + "), so no entry can follow it");
    }
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
