#include "audit/journal_append.h"
#include "audit/journal_chain.h"
#include "audit/journal_error.h"
#include "audit/test_journal.h"

#include <gtest/gtest.h>

namespace audit {
namespace {

using namespace audit::testing;

// The tail as the writer finds it reading only the file's last kTailWindow bytes.
JournalTail tailThroughWindow(const std::string& file)
{
    const std::size_t from = file.size() > kTailWindow ? file.size() - kTailWindow : 0;
    return journalTail(std::string_view(file).substr(from), from, "journal.csv");
}

TEST(JournalAppendTest, AppendsContinueTheChainAcrossACrashAndAnyFileLength)
{
    std::string file;
    append(file, {entry(Action::TestStored, 5, " first")}, 4);
    const std::string big(255, '"'); // the longest a field's text gets in a line: every byte doubled
    for (int post = 0; post < 50; ++post) {
        append(file, {edit(1, " r", "PRIJM", big, big), edit(1, " r", "JMENO", "", "Jana")});
    }
    ASSERT_GT(file.size(), 2 * kTailWindow);
    // A crash in the middle of an append of two entries: the first line whole, the second cut short.
    const std::string batch
        = journalAppend(journalTail(file, 0, "journal.csv"),
                        {entry(Action::RowDeleted, 2, "*x"), entry(Action::RowDeleted, 3, "*y")}, 0);
    const std::size_t firstLine = batch.find("\r\n") + 2;
    file += batch.substr(0, firstLine + 40);
    EXPECT_TRUE(readJournal(file).torn.has_value());

    const JournalTail tail = tailThroughWindow(file);
    const JournalTail whole = journalTail(file, 0, "journal.csv");
    EXPECT_EQ(tail.appendOffset, whole.appendOffset);
    EXPECT_EQ(tail.previousHash, whole.previousHash);
    EXPECT_EQ(tail.nextSequence, 103U);
    EXPECT_EQ(tail.appendOffset, file.size() - 40) << "the torn line is left behind, the whole one kept";
    append(file, {entry(Action::RowDeleted, 3, "*y")});

    const JournalReading reading = readJournal(file);
    EXPECT_EQ(verifyChain(reading), std::nullopt);
    EXPECT_FALSE(reading.torn);
    ASSERT_EQ(reading.lines.size(), 103U);
    EXPECT_EQ(reading.lines.front().entry->rowsAtStart, 4U);
    EXPECT_EQ(reading.lines.back().entry->action, Action::RowDeleted);
    EXPECT_EQ(reading.lines.back().entry->sequence, 103U);
}

TEST(JournalAppendTest, AJournalBeginsWithTheHeaderAndEntryOneWhereverItWasCut)
{
    for (const std::string& begun : {std::string(), std::string("seq,time"), std::string(kJournalHeader)}) {
        std::string file = begun;
        append(file, {entry(Action::RowStored, 1, " pokus")}, 0);
        const JournalReading reading = readJournal(file);
        EXPECT_EQ(verifyChain(reading), std::nullopt);
        ASSERT_EQ(reading.lines.size(), 1U);
        EXPECT_EQ(reading.lines[0].entry->rowsAtStart, 0U);
    }
}

struct Unwritable
{
    const char* name;
    std::string file;
    const char* reason;
};

class UnwritableJournalTest : public ::testing::TestWithParam<Unwritable>
{ };

INSTANTIATE_TEST_SUITE_P(
    Files, UnwritableJournalTest,
    ::testing::Values(
        Unwritable {"notAJournal", "Příjmení,Jméno\r\nNovák,Jan\r\n",
                    "it is not an audit journal (its first line is not the journal's header)"},
        Unwritable {"noLineEndNearTheEnd", std::string(kJournalHeader) + std::string(kTailWindow, 'x'),
                    "it is not an audit journal (no complete line ends it)"},
        Unwritable {"lastLineDamaged", std::string(kJournalHeader) + "a,b,c\r\n",
                    "its last line is damaged (it has 3 values, an entry has 12), so no entry can follow it"},
        Unwritable {"tornLineLongerThanAnyEntry", std::string(kJournalHeader) + std::string(kMaxLineBytes + 2, 'x'),
                    "it is not an audit journal (its last line is longer than any entry)"},
        Unwritable {"completeLineLongerThanAnyEntry",
                    std::string(kJournalHeader) + std::string(2 * kMaxLineBytes + 20, 'x') + "\r\n",
                    "its last complete line is longer than any entry, so no entry can follow it"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_P(UnwritableJournalTest, NoEntryIsBuiltOnIt)
{
    try {
        tailThroughWindow(GetParam().file);
        FAIL() << "continued";
    } catch (const JournalError& error) {
        EXPECT_EQ(std::string(error.what()), std::string("Cannot write file journal.csv: ") + GetParam().reason);
    }
}

} // namespace
} // namespace audit
