#include "audit/journal_reader.h"

namespace audit {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// True when `bytes` may be the beginning of the header line, cut short.
bool beginsHeader(std::string_view bytes)
{
    return std::string_view(kJournalHeader).substr(0, bytes.size()) == bytes;
}

JournalLine lineAt(std::string_view content, std::string_view withEnd, std::uint64_t number)
{
    JournalLine line;
    line.number = number;
    line.hash = lineHash(withEnd);
    line.entry = parseEntryLine(content, line.problem);
    return line;
}

} // namespace

JournalReading readJournal(std::string_view bytes)
{
    JournalReading reading;
    const std::string_view header(kJournalHeader);
    if (bytes.substr(0, header.size()) != header) {
        if (bytes.find(kLineEnd) == std::string_view::npos && beginsHeader(bytes)) {
            // Nothing, or a first write cut short: the header and entry 1 are written at once.
            if (!bytes.empty()) {
                reading.torn = TornLine {1, 0, bytes.size()};
            }
        } else {
            reading.notAJournal = "its first line is not the journal's header";
        }
        return reading;
    }
    std::uint64_t number = 1;
    for (std::size_t begin = header.size(); begin < bytes.size();) {
        ++number;
        const std::size_t end = bytes.find(kLineEnd, begin);
        if (end == std::string_view::npos) {
            reading.torn = TornLine {number, begin, bytes.size() - begin};
            break;
        }
        const std::size_t next = end + kLineEnd.size();
        JournalLine line = lineAt(bytes.substr(begin, end - begin), bytes.substr(begin, next - begin), number);
        reading.damagedLines += line.entry ? 0U : 1U;
        if (line.entry || reading.damagedLines <= kDamagedLinesKept) {
            reading.lines.push_back(std::move(line));
        }
        begin = next;
    }
    return reading;
}

} // namespace audit
