#include "audit/journal_chain.h"
#include "audit/test_journal.h"

#include <functional>
#include <gtest/gtest.h>

namespace audit {
namespace {

using namespace audit::testing;

// Five entries: a test stored, two fields of row 1 edited in one post, row 2 deleted, a row stored.
std::vector<std::string> fiveEntries()
{
    std::string file;
    append(file, {entry(Action::TestStored, 3, " Jan Novák 8501011234")}, 2);
    append(file,
           {edit(1, " Jana Nováková, Marie", "PRIJM", "Novák", "Nováková"),
            edit(1, " Jana Nováková, Marie", "JMENO", "Jana", "Jana, Marie")});
    append(file, {entry(Action::RowDeleted, 2, "*Petr Dvořák")});
    append(file, {entry(Action::RowStored, 4, " pokus")});
    return linesOf(file); // [0] is the header, [k] entry k
}

// Entry `k` of `lines` rewritten the way a tamperer who knows the format would, linked as it was.
void rewrite(std::vector<std::string>& lines, std::size_t k, const std::function<void(JournalEntry&)>& change)
{
    std::string problem;
    std::optional<JournalEntry> e = parseEntryLine(lines[k].substr(0, lines[k].size() - 2), problem);
    ASSERT_TRUE(e) << problem;
    change(*e);
    lines[k] = entryLine(*e, e->previousSha256);
}

struct Tampering
{
    const char* name;
    std::function<void(std::vector<std::string>&)> tamper;
    std::optional<BreakKind> kind; // nullopt: the chain holds
    std::string message;
    std::uint64_t tornLine = 0; // 0: none
};

class TamperingTest : public ::testing::TestWithParam<Tampering>
{ };

INSTANTIATE_TEST_SUITE_P(
    Journals, TamperingTest,
    ::testing::Values(
        Tampering {"untouched", [](auto&) {}, std::nullopt, ""},
        Tampering {"entryRemoved", [](auto& l) { l.erase(l.begin() + 3); }, BreakKind::Removed,
                   "line 4: entry 3 is missing before entry 4"},
        Tampering {"firstEntryRemoved", [](auto& l) { l.erase(l.begin() + 1); }, BreakKind::Removed,
                   "line 2: entry 1 is missing before entry 2"},
        Tampering {"twoEntriesRemoved", [](auto& l) { l.erase(l.begin() + 2, l.begin() + 4); }, BreakKind::Removed,
                   "line 3: entries 2 to 3 are missing before entry 4"},
        Tampering {"valueAltered", [](auto& l) { rewrite(l, 3, [](JournalEntry& e) { e.newValue = "Jana"; }); },
                   BreakKind::Altered,
                   "line 4: entry 3 was altered after it was written (entry 4 holds the hash of a different line)"},
        Tampering {"rowHashAltered",
                   [](auto& l) { rewrite(l, 2, [](JournalEntry& e) { e.rowSha256 = std::string(64, 'e'); }); },
                   BreakKind::Altered,
                   "line 3: entry 2 was altered after it was written (entry 3 holds the hash of a different line)"},
        Tampering {"linkAltered",
                   [](auto& l) { rewrite(l, 3, [](JournalEntry& e) { e.previousSha256 = std::string(64, '1'); }); },
                   BreakKind::Altered,
                   "line 4: entry 3 was altered after it was written (neither its hash of the line before it nor "
                   "the next entry's hash of it match)"},
        Tampering {"twoEntriesSwapped", [](auto& l) { std::swap(l[3], l[4]); }, BreakKind::Reordered,
                   "line 4: entry 4 stands where entry 3 belongs (entries were moved)"},
        Tampering {"entryRepeated", [](auto& l) { l.push_back(l[2]); }, BreakKind::Reordered,
                   "line 7: entry 2 stands where entry 6 belongs (entries were moved)"},
        Tampering {"appendedByHandWithoutTheRightHash",
                   [](auto& l) {
                       l.push_back(l[5]);
                       rewrite(l, 6, [](JournalEntry& e) { e.sequence = 6; });
                   },
                   BreakKind::Unlinked,
                   "line 7: entry 6 does not follow entry 5 (it holds the hash of a different line): one of them was "
                   "altered, or entry 6 was not written by the program"},
        Tampering {"foreignLine", [](auto& l) { l.insert(l.begin() + 3, "a,b,c\r\n"); }, BreakKind::Foreign,
                   "line 4: no journal entry: it has 3 values, an entry has 12"},
        Tampering {"lineCutShortInTheMiddle", [](auto& l) { l[2].erase(l[2].size() - 12, 10); }, BreakKind::Foreign,
                   "line 3: no journal entry: the previous line's hash is not 64 lowercase hexadecimal digits"},
        Tampering {"savedAgainWithOtherQuotes", [](auto& l) { l[1].replace(l[1].find("lab-2"), 5, "\"lab-2\""); },
                   BreakKind::Foreign,
                   "line 2: no journal entry: it is not written the way the journal writes its entries"},
        Tampering {"lineEndsConverted",
                   [](auto& l) {
                       for (auto& line : l) {
                           line.erase(line.size() - 2, 1);
                       }
                   },
                   BreakKind::NotAJournal,
                   "line 1: the file is not an audit journal: its first line is not the journal's header"},
        Tampering {"lastLineCutByACrash", [](auto& l) { l[5].resize(l[5].size() - 30); }, std::nullopt, "", 6},
        // What the chain cannot show (JOURNAL_FORMAT.md): the last entries removed, the last entry altered,
        // an entry added by whoever computes its hash.
        Tampering {"lastEntryRemoved", [](auto& l) { l.pop_back(); }, std::nullopt, ""},
        Tampering {"lastEntryAltered", [](auto& l) { rewrite(l, 5, [](JournalEntry& e) { e.row = 9; }); }, std::nullopt,
                   ""},
        Tampering {"appendedByHandWithTheRightHash",
                   [](auto& l) {
                       JournalEntry e = entry(Action::RowUndeleted, 2, " Petr Dvořák");
                       e.sequence = 6;
                       l.push_back(entryLine(e, lineHash(l[5])));
                   },
                   std::nullopt, ""}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_P(TamperingTest, ReportsTheFirstBreak)
{
    std::vector<std::string> lines = fiveEntries();
    GetParam().tamper(lines);
    const JournalReading reading = readJournal(join(lines));
    const std::optional<ChainBreak> found = verifyChain(reading);
    ASSERT_EQ(found.has_value(), GetParam().kind.has_value()) << (found ? found->message : "no break");
    if (found) {
        EXPECT_EQ(found->kind, *GetParam().kind);
        EXPECT_EQ(found->message, GetParam().message);
    }
    EXPECT_EQ(reading.torn ? reading.torn->number : 0U, GetParam().tornLine);
}

TEST(JournalChainTest, EmptyOrOnlyBegunJournalsHoldNoBreak)
{
    for (const char* file : {"", "seq,time,sta",
                             "seq,time,station,user,action,row,field,old_value,new_value,"
                             "row_sha256,rows_at_start,previous_sha256\r"}) {
        const JournalReading reading = readJournal(file);
        EXPECT_EQ(verifyChain(reading), std::nullopt) << file;
        EXPECT_TRUE(reading.lines.empty());
        EXPECT_EQ(reading.torn.has_value(), file[0] != '\0');
    }
    EXPECT_EQ(verifyChain(readJournal("Název,Příjmení\r\n"))->kind, BreakKind::NotAJournal);
}

TEST(JournalChainTest, DamagedLinesAreCountedButFewAreKept)
{
    std::vector<std::string> lines = fiveEntries();
    lines.insert(lines.begin() + 3, 100000, "\r\n");
    const JournalReading reading = readJournal(join(lines));
    EXPECT_EQ(reading.damagedLines, 100000U);
    EXPECT_EQ(reading.lines.size(), 5 + kDamagedLinesKept);
    EXPECT_EQ(verifyChain(reading)->message, "line 4: no journal entry: it has 1 value, an entry has 12");
    EXPECT_EQ(reading.lines.back().number, 100006U) << "entry 5 keeps its line number";
}

} // namespace
} // namespace audit
