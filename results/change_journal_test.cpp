#include "audit/journal_replay.h"
#include "results/change_journal.h"
#include "results/results_table.h"
#include "results/test_support.h"
#include "storage/errors.h"
#include "storage/test_process.h"
#include "storage/test_support.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace results {
namespace {

using storage::testing::FailingFile;
using storage::testing::readAll;
using storage::testing::TempDir;
using storage::testing::writeAll;

const audit::EntryContext kContext {"2026-12-08T14:03:12+01:00", "lab-2", "novakova"};

// A results table in a scratch folder, with a dataset that journals the rows it writes as the station's does.
class ChangeJournalTest : public ::testing::Test
{
protected:
    ChangeJournalTest()
    {
        m_table.setDirectory(m_dir.dir());
        m_table.setDateSource(storage::testing::fixedDate);
        m_table.setNoticeHandler([this](const std::string& notice) { m_notices.push_back(notice); });
        m_table.setChangeObserver(journalObserver(m_table));
    }

    std::string table() const { return m_dir.path(kResultsTableName); }
    std::string journal() const { return audit::journalPath(table()); }

    void store(audit::Action action, const std::string& surname)
    {
        makeResultStore(
            m_table,
            [surname] {
                return Identity {surname, "Jana", " 12345", "6789", " 8.12.2026"};
            },
            action)(testing::finishedTest());
    }

    // The journal replayed against the table as it is now.
    audit::Replay replay()
    {
        const audit::JournalReading reading = audit::readJournal(readAll(journal()));
        m_entries.clear();
        for (const audit::JournalLine& line : reading.lines) {
            if (line.entry) {
                m_entries.push_back(*line.entry);
            }
        }
        const std::string bytes = readAll(table());
        const std::size_t header = static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8;
        const std::size_t length = static_cast<unsigned char>(bytes[10]) | static_cast<unsigned char>(bytes[11]) << 8;
        const auto rows = static_cast<std::uint32_t>((bytes.size() - header) / length);
        return audit::replayJournal(
            reading, rows, [&](std::uint32_t row) { return bytes.substr(header + (row - 1) * length, length); });
    }

    TempDir m_dir;
    storage::Dataset m_table {"Table1", kResultsTableName};
    std::vector<std::string> m_notices;
    std::vector<audit::JournalEntry> m_entries;
};

// The station's changes, each in the journal with the action it stands for, an edit with every changed
// field's text before and after; the journal, begun on a table that had rows, replays consistent.
TEST_F(ChangeJournalTest, EveryChangeIsJournaledAndTheJournalReplaysConsistent)
{
    ulo_do_DBF(m_table, makeResultRecord(testing::finishedTest(), {"Starý", "Řádek", "", "", ""}));
    ulo_do_DBF(m_table, makeResultRecord(testing::finishedTest(), {"Druhý", "Řádek", "", "", ""}));
    EXPECT_FALSE(base::fileExists(journal())) << "ulo_do_DBF() leaves the journal to its caller";

    store(audit::Action::TestStored, "Novák");
    store(audit::Action::RowStored, "Pokus");
    m_table.open();
    m_table.goToRecord(3);
    m_table.setValue(kSurname, std::string("Nováková"));
    m_table.setValue(kFirstName, std::string("Jana \"M\", X"));
    m_table.setValue(kDate, std::string(" 8.12.2026")); // the same bytes: no entry
    m_table.post();
    m_table.append();
    m_table.setValue(kSurname, std::string("Vložený"));
    m_table.post();
    m_table.goToRecord(4);
    m_table.deleteRow();
    m_table.close();

    const audit::Replay result = replay();
    EXPECT_TRUE(result.consistent());
    EXPECT_TRUE(m_notices.empty()) << m_notices.front();
    ASSERT_EQ(m_entries.size(), 6U);
    const std::vector<std::tuple<audit::Action, std::uint32_t, std::string, std::string, std::string>> expected = {
        {audit::Action::TestStored, 3, "", "", ""},
        {audit::Action::RowStored, 4, "", "", ""},
        {audit::Action::FieldEdited, 3, "PRIJM", "Novák", "Nováková"},
        {audit::Action::FieldEdited, 3, "JMENO", "Jana", "Jana \"M\", X"},
        {audit::Action::RowInserted, 5, "", "", ""},
        {audit::Action::RowDeleted, 4, "", "", ""},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const audit::JournalEntry& entry = m_entries[i];
        EXPECT_EQ(std::make_tuple(entry.action, entry.row, entry.field, entry.oldValue, entry.newValue), expected[i])
            << "entry " << i + 1;
        EXPECT_FALSE(entry.station.empty());
        EXPECT_FALSE(entry.user.empty());
    }
    EXPECT_EQ(m_entries[0].rowsAtStart, std::optional<std::uint32_t>(2));
    ASSERT_EQ(result.rows.size(), 5U);
    EXPECT_EQ(result.rows[0].state, audit::RowState::BeforeJournal);
    EXPECT_EQ(result.rows[2].state, audit::RowState::Consistent);
    EXPECT_EQ(result.rows[2].changes, 2U);
    EXPECT_EQ(result.rows[3].changes, 1U) << "the deletion";
}

// A journal that cannot be written is told to the examiner and never takes the stored row with it; a
// full disk leaves the journal as it was.
TEST_F(ChangeJournalTest, AJournalThatCannotBeWrittenIsANoticeAndTheRowStays)
{
    writeAll(journal(), "name,surname\r\nNovák,Jana\r\n");
    store(audit::Action::TestStored, "Novák");
    ASSERT_EQ(m_notices.size(), 1U);
    EXPECT_EQ(m_notices[0],
              std::string(messages::kJournalFailed) + "Cannot write file " + journal()
                  + ": it is not an audit journal (its first line is not the journal's header)");
    EXPECT_EQ(readAll(journal()), "name,surname\r\nNovák,Jana\r\n") << "damage is not written over";
    m_table.open();
    EXPECT_EQ(m_table.rowCount(), 1U);
    m_table.close();

    base::removeFileQuietly(journal());
    store(audit::Action::TestStored, "Druhý");
    const std::string before = readAll(journal());
    auto tableFile = base::openFile(table(), base::OpenMode::ReadOnly);
    const TableChange change {audit::Action::RowDeleted, 2, {}};
    for (const std::size_t budget : {std::size_t {0}, std::size_t {1}, std::size_t {100}}) {
        FailingFile file(base::openOrCreateFile(journal()), budget);
        EXPECT_THROW(appendJournalEntries(file, *tableFile, change, kContext), base::FileError) << budget;
        EXPECT_EQ(readAll(journal()), before) << "budget " << budget;
    }
    EXPECT_TRUE(replay().consistent());
    EXPECT_EQ(replay().rows[0].state, audit::RowState::BeforeJournal) << "the row stored before the journal began";
}

// An append cut short by a crash leaves a torn line; the next append cuts it off and links to the last
// whole entry, so the chain goes on unbroken.
TEST_F(ChangeJournalTest, TheNextAppendCutsOffATornLine)
{
    store(audit::Action::TestStored, "Novák");
    const std::string whole = readAll(journal());
    writeAll(journal(), whole + "2,2026-12-08T14:0");
    store(audit::Action::TestStored, "Druhý");
    const audit::JournalReading reading = audit::readJournal(readAll(journal()));
    EXPECT_FALSE(reading.torn);
    EXPECT_FALSE(audit::verifyChain(reading));
    EXPECT_EQ(readAll(journal()).substr(0, whole.size()), whole);
    EXPECT_TRUE(replay().consistent());
    EXPECT_EQ(m_entries.size(), 2U);
}

// Stations journaling at once, each a process of its own, keep one chain.
TEST_F(ChangeJournalTest, StationsJournalingAtOnceKeepOneChain)
{
    store(audit::Action::TestStored, "Novák");
    constexpr int kStations = 4;
    constexpr int kChangesEach = 20;
    std::vector<std::unique_ptr<storage::testing::TestProcess>> stations;
    for (int station = 0; station < kStations; ++station) {
        stations.push_back(std::make_unique<storage::testing::TestProcess>(
            STATION_TOOL, std::vector<std::string> {"journal-append", table(), std::to_string(kChangesEach)}));
    }
    for (const auto& station : stations) {
        EXPECT_EQ(station->wait(), 0);
    }
    const audit::JournalReading reading = audit::readJournal(readAll(journal()));
    EXPECT_EQ(reading.lines.size(), std::size_t {1 + kStations * kChangesEach});
    EXPECT_FALSE(audit::verifyChain(reading));
    EXPECT_TRUE(replay().consistent());
}

} // namespace
} // namespace results
