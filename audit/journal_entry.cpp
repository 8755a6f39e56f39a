#include "audit/journal_entry.h"

#include "audit/journal_csv.h"
#include "audit/journal_error.h"
#include "crypto/primitives.h"
#include "text/utf8.h"

#include <array>
#include <charconv>
#include <vector>

namespace audit {

const char* const kJournalHeader = "seq,time,station,user,action,row,field,old_value,new_value,row_sha256,"
                                   "rows_at_start,previous_sha256\r\n";

namespace {

constexpr std::size_t kColumnCount = 12;

constexpr std::array<Action, 6> kActions = {Action::TestStored,  Action::RowStored,  Action::RowInserted,
                                            Action::FieldEdited, Action::RowDeleted, Action::RowUndeleted};

// "2026-12-08T14:03:12+01:00": digits where the pattern has 'd', the other characters as they stand.
bool isLocalTime(std::string_view time)
{
    constexpr std::string_view kPattern = "dddd-dd-ddTdd:dd:dd+dd:dd";
    if (time.size() != kPattern.size()) {
        return false;
    }
    for (std::size_t i = 0; i < time.size(); ++i) {
        const bool digit = time[i] >= '0' && time[i] <= '9';
        const bool sign = time[i] == '+' || time[i] == '-';
        if (kPattern[i] == 'd' ? !digit : kPattern[i] == '+' ? !sign : time[i] != kPattern[i]) {
            return false;
        }
    }
    return true;
}

template<typename Number>
bool parseNumber(const std::string& text, Number& value)
{
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

std::optional<Action> actionNamed(const std::string& name)
{
    for (const Action action : kActions) {
        if (name == actionName(action)) {
            return action;
        }
    }
    return std::nullopt;
}

// The entry in `values`, or the reason there is none. Checks each value's syntax; entryProblem() the rest.
std::optional<JournalEntry> entryOf(const std::vector<std::string>& values, std::string& problem)
{
    JournalEntry entry;
    std::optional<Action> action = actionNamed(values[4]);
    if (!parseNumber(values[0], entry.sequence)) {
        problem = "the sequence number is not a whole number";
    } else if (!action) {
        problem = "the action is none of the journal's";
    } else if (!parseNumber(values[5], entry.row)) {
        problem = "the row is not a whole number from 1 to 4294967295";
    } else if (!values[10].empty() && !parseNumber(values[10], entry.rowsAtStart.emplace())) {
        problem = "the rows at the start are not a whole number from 0 to 4294967295";
    } else {
        entry.time = values[1];
        entry.station = values[2];
        entry.user = values[3];
        entry.action = *action;
        entry.field = values[6];
        entry.oldValue = values[7];
        entry.newValue = values[8];
        entry.rowSha256 = values[9];
        entry.previousSha256 = values[11];
        problem = entryProblem(entry);
    }
    return problem.empty() ? std::optional<JournalEntry>(std::move(entry)) : std::nullopt;
}

// The line of a well-formed `entry` with its CR LF, however long.
std::string writtenLine(const JournalEntry& entry)
{
    std::string line = std::to_string(entry.sequence);
    for (const std::string* text : {&entry.time, &entry.station, &entry.user}) {
        line += ',';
        appendValue(line, *text);
    }
    line += ',' + std::string(actionName(entry.action)) + ',' + std::to_string(entry.row);
    for (const std::string* text : {&entry.field, &entry.oldValue, &entry.newValue}) {
        line += ',';
        appendValue(line, *text);
    }
    line += ',' + entry.rowSha256 + ',' + (entry.rowsAtStart ? std::to_string(*entry.rowsAtStart) : "") + ','
        + entry.previousSha256;
    return line + "\r\n";
}

} // namespace

const char* actionName(Action action)
{
    switch (action) {
    case Action::TestStored:
        return "test_stored";
    case Action::RowStored:
        return "row_stored";
    case Action::RowInserted:
        return "row_inserted";
    case Action::FieldEdited:
        return "field_edited";
    case Action::RowDeleted:
        return "row_deleted";
    case Action::RowUndeleted:
        break;
    }
    return "row_undeleted";
}

std::string journalPath(const std::string& tablePath)
{
    const std::size_t name = tablePath.find_last_of(std::string_view("/\\")) + 1; // 0 without a directory
    const std::size_t dot = tablePath.rfind('.');
    const std::size_t baseEnd = dot != std::string::npos && dot > name ? dot : tablePath.size();
    return tablePath.substr(0, baseEnd) + "_audit.csv";
}

std::string lineHash(std::string_view line)
{
    return crypto::toHex(crypto::sha256(line));
}

const std::string& firstPreviousHash()
{
    static const std::string hash = lineHash(kJournalHeader);
    return hash;
}

JournalEntry makeEntry(const EntryContext& context, Action action, std::uint32_t row, std::string_view rowBytes,
                       const FieldChange& change)
{
    JournalEntry entry;
    entry.time = context.time;
    entry.station = context.station;
    entry.user = context.user;
    entry.action = action;
    entry.row = row;
    entry.field = change.field;
    entry.oldValue = change.oldValue;
    entry.newValue = change.newValue;
    entry.rowSha256 = crypto::toHex(crypto::sha256(rowBytes));
    return entry;
}

std::string entryProblem(const JournalEntry& entry)
{
    const bool edit = entry.action == Action::FieldEdited;
    if (entry.sequence == 0) {
        return "the sequence number is 0, entries count from 1";
    }
    if (!isLocalTime(entry.time)) {
        return "the time is not a local time with its offset (2026-12-08T14:03:12+01:00)";
    }
    for (const std::string* text : {&entry.station, &entry.user, &entry.field, &entry.oldValue, &entry.newValue}) {
        if (!text::isValidUtf8(*text)) {
            return "a text is not UTF-8";
        }
    }
    if (entry.row == 0) {
        return "the row is 0, rows count from 1";
    }
    if (edit && entry.field.empty()) {
        return "a field_edited entry names no field";
    }
    if (!edit && (!entry.field.empty() || !entry.oldValue.empty() || !entry.newValue.empty())) {
        return std::string("a ") + actionName(entry.action) + " entry has a field or values";
    }
    if (!crypto::isSha256Hex(entry.rowSha256)) {
        return "the row's hash is not 64 lowercase hexadecimal digits";
    }
    if (entry.rowsAtStart.has_value() != (entry.sequence == 1)) {
        return entry.sequence == 1 ? "entry 1 lacks the rows at the start" : "only entry 1 has the rows at the start";
    }
    if (!crypto::isSha256Hex(entry.previousSha256)) {
        return "the previous line's hash is not 64 lowercase hexadecimal digits";
    }
    return {};
}

std::string entryLine(JournalEntry entry, const std::string& previousLineHash)
{
    entry.previousSha256 = previousLineHash;
    const std::string problem = entryProblem(entry);
    if (!problem.empty()) {
        throw JournalError("the journal entry cannot be written: " + problem);
    }
    std::string line = writtenLine(entry);
    if (line.size() > kMaxLineBytes + 2) {
        throw JournalError("the journal entry cannot be written: its line would be longer than "
                           + std::to_string(kMaxLineBytes) + " bytes");
    }
    return line;
}

std::optional<JournalEntry> parseEntryLine(std::string_view line, std::string& problem)
{
    problem.clear();
    if (line.size() > kMaxLineBytes) {
        problem = "it is longer than " + std::to_string(kMaxLineBytes) + " bytes";
        return std::nullopt;
    }
    if (!text::isValidUtf8(line)) {
        problem = "it is not UTF-8 text";
        return std::nullopt;
    }
    std::vector<std::string> values;
    problem = splitValues(line, values);
    if (problem.empty() && values.size() != kColumnCount) {
        problem = "it has " + std::to_string(values.size()) + (values.size() == 1 ? " value" : " values")
            + ", an entry has " + std::to_string(kColumnCount);
    }
    if (!problem.empty()) {
        return std::nullopt;
    }
    std::optional<JournalEntry> entry = entryOf(values, problem);
    // Only the one way of writing each entry is accepted: a line re-quoted or re-escaped by other hands
    // (a spreadsheet saving it again, an editor) is no line of ours.
    if (entry && writtenLine(*entry) != std::string(line) + "\r\n") {
        problem = "it is not written the way the journal writes its entries";
        entry.reset();
    }
    return entry;
}

} // namespace audit
