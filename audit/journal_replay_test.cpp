#include "audit/journal_replay.h"
#include "audit/test_journal.h"

#include <gtest/gtest.h>

namespace audit {
namespace {

using namespace audit::testing;

// A story told in a few words: the table's rows before the journal, the changes the program journals
// (each leaves the row's bytes as given), then the table as a verifier finds it.
struct Story
{
    const char* name;
    std::vector<std::string> tableBefore;
    std::vector<std::pair<Action, std::pair<std::uint32_t, std::string>>> changes; // action, row, bytes after
    std::function<void(std::vector<std::string>& table, std::string& journal)> afterwards;
    std::string states; // one letter a row: C consistent, X changed outside, B before the journal, A added outside
    std::vector<std::uint32_t> missing;
    bool consistent;
    bool torn = false; // the journal's last line is cut short
};

char letter(RowState state)
{
    switch (state) {
    case RowState::Consistent:
        return 'C';
    case RowState::ChangedOutside:
        return 'X';
    case RowState::BeforeJournal:
        return 'B';
    case RowState::AddedOutside:
        return 'A';
    case RowState::Missing:
        break;
    }
    return 'M';
}

// Where a row's bytes and a journal are in a story: rows 1 and 2 were stored before the journal; the
// program stores row 3, edits row 1 and deletes row 2.
const std::vector<std::string> kOld = {" Jan Novák", " Petr Dvořák"};
const std::vector<std::pair<Action, std::pair<std::uint32_t, std::string>>> kChanges
    = {{Action::TestStored, {3, " Eva Malá"}},
       {Action::FieldEdited, {1, " Jana Nováková"}},
       {Action::RowDeleted, {2, "*Petr Dvořák"}}};
const auto kNothing = [](std::vector<std::string>&, std::string&) {};

class ReplayTest : public ::testing::TestWithParam<Story>
{ };

INSTANTIATE_TEST_SUITE_P(
    Stories, ReplayTest,
    ::testing::Values(
        Story {"noJournal", kOld, {}, kNothing, "BB", {}, true},
        Story {"everyChangeJournaled", kOld, kChanges, kNothing, "CCC", {}, true},
        Story {"valueChangedOutside", kOld, kChanges, [](auto& table, auto&) { table[2][1] = 'A'; }, "CCX", {}, false},
        Story {"undeletedOutside", kOld, kChanges, [](auto& table, auto&) { table[1][0] = ' '; }, "CXC", {}, false},
        Story {
            "rowAddedOutside", kOld, kChanges, [](auto& table, auto&) { table.push_back(" Ota"); }, "CCCA", {}, false},
        Story {"tableCutShort", kOld, kChanges, [](auto& table, auto&) { table.pop_back(); }, "CC", {3}, false},
        Story {"rowsBeforeTheJournalRemoved",
               {" a", " b", " c"},
               {{Action::TestStored, {4, " d"}}},
               [](auto& table, auto&) { table.erase(table.begin(), table.begin() + 2); },
               "BB",
               {4},
               false},
        // The first entry gone: the start is unknown, so nothing vouches for rows without entries.
        Story {"firstEntryRemoved",
               kOld,
               kChanges,
               [](auto&, auto& journal) {
                   auto lines = linesOf(journal);
                   lines.erase(lines.begin() + 1);
                   journal = join(lines);
               },
               "CCA",
               {},
               false},
        // What the table and journal cannot tell: a row older than the journal changed outside it.
        Story {"oldRowChangedOutside",
               kOld,
               {{Action::TestStored, {3, " Eva"}}},
               [](auto& table, auto&) { table[0] = " Josef"; },
               "BBC",
               {},
               true},
        // An append cut short by a crash: the row whose entry was torn is judged by the entries before it.
        // A row that had one shows as changed; a row older than the journal, whose first change was torn,
        // cannot be told from one never changed (the torn line itself is reported).
        Story {"appendTornOnARowWithEntries",
               kOld,
               {{Action::TestStored, {3, " Eva"}}, {Action::FieldEdited, {3, " Eve"}}},
               [](auto&, auto& journal) { journal.resize(journal.size() - 30); },
               "BBX",
               {},
               false,
               true},
        Story {"appendTornOnAnOldRow",
               kOld,
               kChanges,
               [](auto&, auto& journal) { journal.resize(journal.size() - 30); },
               "CBC",
               {},
               true,
               true}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_P(ReplayTest, ClassifiesEveryRow)
{
    const Story& story = GetParam();
    std::vector<std::string> table = story.tableBefore;
    std::string journal;
    for (const auto& [action, change] : story.changes) {
        const auto rowsBefore = static_cast<std::uint32_t>(table.size());
        table.resize(std::max<std::size_t>(table.size(), change.first));
        table[change.first - 1] = change.second;
        JournalEntry made = action == Action::FieldEdited ? edit(change.first, change.second, "PRIJM", "a", "b")
                                                          : entry(action, change.first, change.second);
        append(journal, {made}, rowsBefore);
    }
    story.afterwards(table, journal);

    std::vector<std::uint32_t> asked;
    const Replay replay
        = replayJournal(readJournal(journal), static_cast<std::uint32_t>(table.size()), [&](std::uint32_t row) {
              asked.push_back(row);
              return table.at(row - 1);
          });
    std::string states;
    for (const RowReplay& row : replay.rows) {
        states += letter(row.state);
    }
    EXPECT_EQ(states, story.states);
    std::vector<std::uint32_t> missing;
    for (const RowReplay& row : replay.missing) {
        missing.push_back(row.row);
    }
    EXPECT_EQ(missing, story.missing);
    EXPECT_EQ(replay.consistent(), story.consistent);
    EXPECT_EQ(replay.torn.has_value(), story.torn);
    for (const std::uint32_t row : asked) {
        EXPECT_NE(replay.rows[row - 1].lastEntry, kNoEntry) << "row " << row << " has no entry, yet it was read";
    }
}

TEST(ReplayTest, CountsTheChangesAfterStoringAndFindsTheLastOfEachRow)
{
    std::string journal;
    append(journal, {entry(Action::TestStored, 1, " a")}, 0);
    append(journal, {edit(1, " b", "PRIJM", "a", "b"), edit(1, " b", "JMENO", "", "x")});
    append(journal, {entry(Action::TestStored, 2, " c")});
    append(journal, {entry(Action::RowDeleted, 1, "*b")});
    const Replay replay = replayJournal(
        readJournal(journal), 2, [](std::uint32_t row) { return row == 1 ? std::string("*b") : std::string(" c"); });
    ASSERT_EQ(replay.rows.size(), 2U);
    EXPECT_EQ(replay.rows[0].changes, 3U);
    EXPECT_EQ(replay.rows[0].lastChange, 4U);
    EXPECT_EQ(replay.rows[0].lastEntry, 4U);
    EXPECT_EQ(replay.rows[1].changes, 0U);
    EXPECT_EQ(replay.rows[1].lastChange, kNoEntry);
    EXPECT_EQ(replay.rows[1].lastEntry, 3U);
    EXPECT_TRUE(replay.consistent());
}

} // namespace
} // namespace audit
