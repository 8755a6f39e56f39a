#pragma once

#include "audit/journal_append.h"

#include <string>
#include <vector>

// A journal made the way the writer makes it, for the tests: each append finds the tail of the file so far
// and adds its entries there.
namespace audit::testing {

inline const EntryContext kStation {"2026-12-08T14:03:12+01:00", "lab-2", "novakova"};

// Appends `entries` to the journal `file` as the writer does, the table having had `rowsAtStart` rows
// before the change when the journal begins with it.
inline void append(std::string& file, std::vector<JournalEntry> entries, std::uint32_t rowsAtStart = 0)
{
    const JournalTail tail = journalTail(file, 0, "journal.csv");
    file.resize(tail.appendOffset);
    file += journalAppend(tail, std::move(entries), rowsAtStart);
}

inline JournalEntry edit(std::uint32_t row, const std::string& rowBytes, const std::string& field,
                         const std::string& oldValue, const std::string& newValue)
{
    return makeEntry(kStation, Action::FieldEdited, row, rowBytes, {field, oldValue, newValue});
}

inline JournalEntry entry(Action action, std::uint32_t row, const std::string& rowBytes)
{
    return makeEntry(kStation, action, row, rowBytes);
}

// The file's lines, each with its CR LF (the last without, when it has none).
inline std::vector<std::string> linesOf(const std::string& file)
{
    std::vector<std::string> lines;
    for (std::size_t begin = 0; begin < file.size();) {
        const std::size_t end = file.find("\r\n", begin);
        const std::size_t next = end == std::string::npos ? file.size() : end + 2;
        lines.push_back(file.substr(begin, next - begin));
        begin = next;
    }
    return lines;
}

inline std::string join(const std::vector<std::string>& lines)
{
    std::string file;
    for (const std::string& line : lines) {
        file += line;
    }
    return file;
}

} // namespace audit::testing
