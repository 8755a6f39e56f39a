#include "audit/journal_entry.h"
#include "audit/journal_error.h"

#include <gtest/gtest.h>

namespace audit {
namespace {

const EntryContext kContext {"2026-12-08T14:03:12+01:00", "lab-2", "novakova"};
const std::string kRow = " Jan       Novák     8501011234";

JournalEntry editOf(const std::string& oldValue, const std::string& newValue)
{
    JournalEntry entry = makeEntry(kContext, Action::FieldEdited, 7, kRow, {"PRIJM", oldValue, newValue});
    entry.sequence = 2;
    return entry;
}

// The line without its CR LF, checked to be one line of the file.
std::string lineOf(const JournalEntry& entry)
{
    const std::string line = entryLine(entry, firstPreviousHash());
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
    const std::string content = line.substr(0, line.size() - 2);
    EXPECT_EQ(content.find_first_of("\r\n"), std::string::npos) << "an entry never spans two lines";
    return content;
}

TEST(JournalEntryTest, AnyTextRoundTripsOnOneLine)
{
    const std::string texts[] = {"",
                                 "Příliš žluťoučký kůň úpěl ďábelské ódy",
                                 "Novák, Jan",
                                 "\"quoted\" and \"\"doubled\"\"",
                                 "line\r\nbreak\rCR\nLF",
                                 "\\r is no line break, \\\\ no backslash, \\x0D no CR",
                                 " leading and trailing spaces ",
                                 std::string("NUL\0tab\tDEL\x7F", 12),
                                 "=HYPERLINK(\"http://x\";\"y\")",
                                 "│┼╬ box drawing of the old code pages",
                                 std::string(255, '"'),
                                 std::string(255, '\n')};
    for (const std::string& text : texts) {
        JournalEntry entry = editOf(text, text + "2");
        entry.station = text;
        entry.user = text;
        entry.previousSha256 = firstPreviousHash();
        const std::string line = lineOf(entry);
        std::string problem;
        const std::optional<JournalEntry> read = parseEntryLine(line, problem);
        ASSERT_TRUE(read) << problem << " in: " << line;
        EXPECT_EQ(read->oldValue, text);
        EXPECT_EQ(read->newValue, text + "2");
        EXPECT_EQ(read->station, text);
        EXPECT_EQ(read->user, text);
        EXPECT_EQ(read->field, "PRIJM");
        EXPECT_EQ(read->row, 7U);
        EXPECT_EQ(read->sequence, 2U);
        EXPECT_EQ(read->rowSha256, entry.rowSha256);
        EXPECT_EQ(read->previousSha256, firstPreviousHash());
    }
}

TEST(JournalEntryTest, LineAsWritten)
{
    JournalEntry entry = makeEntry(kContext, Action::TestStored, 3, "row bytes");
    entry.sequence = 1;
    entry.rowsAtStart = 2;
    EXPECT_EQ(entryLine(entry, std::string(64, 'a')),
              "1,2026-12-08T14:03:12+01:00,lab-2,novakova,test_stored,3,,,,"
              "c535e64984205a96140a42a78f0c522567bb40c3b4dbf104736c2c1bda7daf39" // sha256sum of "row bytes"
              ",2,"
                  + std::string(64, 'a') + "\r\n");
    // JOURNAL_FORMAT.md gives entry 1's link, the hash of the header line.
    EXPECT_EQ(firstPreviousHash(), "c984b5ef50ccab59ad046ab4b37e2daf378c60f7772f281aed95a8f85587863b");
    EXPECT_EQ(journalPath("data/tivora4.DBF"), "data/tivora4_audit.csv");
    EXPECT_EQ(journalPath("C:\\lab.d\\tivora4"), "C:\\lab.d\\tivora4_audit.csv");
}

struct Refusal
{
    const char* name;
    void (*spoil)(JournalEntry&);
    const char* problem;
};

class EntryRefusalTest : public ::testing::TestWithParam<Refusal>
{ };

INSTANTIATE_TEST_SUITE_P(
    Entries, EntryRefusalTest,
    ::testing::Values(
        Refusal {"sequenceZero", [](JournalEntry& e) { e.sequence = 0; },
                 "the sequence number is 0, entries count from 1"},
        Refusal {"timeWithoutOffset", [](JournalEntry& e) { e.time = "2026-12-08T14:03:12"; },
                 "the time is not a local time with its offset (2026-12-08T14:03:12+01:00)"},
        Refusal {"textNotUtf8", [](JournalEntry& e) { e.newValue = "Nov\xA0k"; }, "a text is not UTF-8"},
        Refusal {"rowZero", [](JournalEntry& e) { e.row = 0; }, "the row is 0, rows count from 1"},
        Refusal {"editWithoutField", [](JournalEntry& e) { e.field.clear(); }, "a field_edited entry names no field"},
        Refusal {"deletionWithValues", [](JournalEntry& e) { e.action = Action::RowDeleted; },
                 "a row_deleted entry has a field or values"},
        Refusal {"rowHashUppercase", [](JournalEntry& e) { e.rowSha256 = std::string(64, 'A'); },
                 "the row's hash is not 64 lowercase hexadecimal digits"},
        Refusal {"startOnEntryTwo", [](JournalEntry& e) { e.rowsAtStart = 5; },
                 "only entry 1 has the rows at the start"},
        Refusal {"noStartOnEntryOne", [](JournalEntry& e) { e.sequence = 1; }, "entry 1 lacks the rows at the start"},
        Refusal {"lineTooLong", [](JournalEntry& e) { e.newValue = std::string(kMaxLineBytes, ','); },
                 "its line would be longer than 16384 bytes"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_P(EntryRefusalTest, NothingIsWrittenAndTheReasonIsGiven)
{
    JournalEntry entry = editOf("old", "new");
    GetParam().spoil(entry);
    try {
        entryLine(entry, firstPreviousHash());
        FAIL() << "written";
    } catch (const JournalError& error) {
        EXPECT_EQ(std::string(error.what()), std::string("the journal entry cannot be written: ") + GetParam().problem);
    }
}

struct DamagedLine
{
    const char* name;
    std::string line;
    const char* problem;
};

class DamagedLineTest : public ::testing::TestWithParam<DamagedLine>
{ };

// A well-formed line, taken apart to be damaged.
const std::string kHash = std::string(64, '0');
const std::string kStart = "2,2026-12-08T14:03:12+01:00,lab-2,novakova,";
const std::string kEnd = ",PRIJM,Novák,Nováková," + kHash + ",," + kHash;

INSTANTIATE_TEST_SUITE_P(
    Lines, DamagedLineTest,
    ::testing::Values(DamagedLine {"wellFormed", kStart + "field_edited,7" + kEnd, ""},
                      DamagedLine {"valueMissing", kStart + "field_edited" + kEnd, "it has 11 values, an entry has 12"},
                      DamagedLine {"bareLineFeed", kStart + "field_edited,7\n" + kEnd, "a control byte at byte 58"},
                      DamagedLine {"unclosedQuote", kStart + "field_edited,7,\"PRIJM",
                                   "a quoted value that is not closed at byte 59"},
                      DamagedLine {"textAfterQuote", kStart + "field_edited,7,\"PRIJM\"x" + kEnd.substr(6),
                                   "text after a closing quote at byte 66"},
                      DamagedLine {"quoteInsideValue", kStart + "field_edited,7,PR\"IJM" + kEnd.substr(6),
                                   "a quote inside an unquoted value at byte 61"},
                      DamagedLine {"unknownEscape", kStart + "field_edited,7,PR\\tIJM" + kEnd.substr(6),
                                   "an unknown escape in value 7"},
                      DamagedLine {"notUtf8", kStart + "field_edited,7,\xC3(" + kEnd, "it is not UTF-8 text"},
                      DamagedLine {"tooLong", std::string(kMaxLineBytes + 1, 'x'), "it is longer than 16384 bytes"},
                      DamagedLine {"unknownAction", kStart + "field_deleted,7" + kEnd,
                                   "the action is none of the journal's"},
                      DamagedLine {"negativeRow", kStart + "field_edited,-7" + kEnd,
                                   "the row is not a whole number from 1 to 4294967295"},
                      DamagedLine {"rowBeyondRange", kStart + "field_edited,4294967296" + kEnd,
                                   "the row is not a whole number from 1 to 4294967295"},
                      DamagedLine {"leadingZero", kStart + "field_edited,07" + kEnd,
                                   "it is not written the way the journal writes its entries"},
                      DamagedLine {"quotedWithoutNeed", kStart + "field_edited,7,\"PRIJM\"" + kEnd.substr(6),
                                   "it is not written the way the journal writes its entries"},
                      DamagedLine {"lowercaseEscape", kStart + "field_edited,7,PRIJM\\x0a" + kEnd.substr(6),
                                   "an unknown escape in value 7"},
                      DamagedLine {"letterEscaped", kStart + "field_edited,7,PRIJ\\x4D" + kEnd.substr(6),
                                   "it is not written the way the journal writes its entries"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_P(DamagedLineTest, NamedWithTheReason)
{
    std::string problem;
    const std::optional<JournalEntry> entry = parseEntryLine(GetParam().line, problem);
    EXPECT_EQ(problem, GetParam().problem);
    EXPECT_EQ(entry.has_value(), problem.empty());
}

} // namespace
} // namespace audit
