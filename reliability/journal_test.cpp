// The audit journal under kills and a full disk: the table and the journal never disagree about a change
// the program reported as done. A store reported as done has its entry in an unbroken chain, or the
// examiner was told the journal failed; a kill leaves at most the one change in hand without its entry,
// and the next store goes on the chain.
#include "audit/journal_replay.h"
#include "reliability/child_process.h"
#include "reliability/stored_rows.h"
#include "results/change_journal.h"
#include "results/results_table.h"
#include "storage/test_support.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/resource.h>

namespace reliability {
namespace {

// What a child reports for each store, beside its sequence.
constexpr int kJournalFailed = 1000000; // added to the sequence: stored, the journal's failure told

// Stores results from `first` on (`count` of them, 0: until killed) as the station does: the row, then the
// journal's entry; reports each after both, marked when the journal's failure was told.
int storeJournaled(const std::string& directory, int first, int count, int fd)
{
    storage::Dataset table;
    configureStation(table, directory);
    for (int sequence = first; count == 0 || sequence < first + count; ++sequence) {
        bool told = false;
        const std::uint32_t row = results::ulo_do_DBF(table, resultFor(0, sequence));
        const bool written = results::recordTableChangeOrNotify(
            table.path(), {audit::Action::TestStored, row, {}},
            [&told](const std::string& notice) { told = notice.rfind(results::messages::kJournalFailed, 0) == 0; });
        if (!report(fd, written ? sequence : (told ? kJournalFailed + sequence : -sequence))) {
            return 2;
        }
    }
    return 0;
}

// The journal beside the table in `directory` replayed against it.
audit::Replay replay(const std::string& directory, audit::JournalReading& reading)
{
    const std::string table = wholeFile(directory + results::kResultsTableName);
    reading = audit::readJournal(wholeFile(audit::journalPath(directory + results::kResultsTableName)));
    const std::size_t rows = table.size() < kHeaderLength ? 0 : (table.size() - kHeaderLength) / kRecordLength;
    return audit::replayJournal(reading, static_cast<std::uint32_t>(rows), [&](std::uint32_t row) {
        return table.substr(kHeaderLength + (row - 1) * kRecordLength, kRecordLength);
    });
}

// Checks that every row reported stored without a told failure (in `journaled`) has its entry and matches
// it, that the chain holds, and that a row without an entry is one in hand at a kill (not in `journaled`).
void expectAgreement(const std::string& directory, const std::vector<bool>& journaled)
{
    audit::JournalReading reading;
    const audit::Replay result = replay(directory, reading);
    EXPECT_FALSE(result.chainBreak) << result.chainBreak->message;
    for (const audit::RowReplay& row : result.rows) {
        const bool reported = row.row < journaled.size() && journaled[row.row];
        if (reported) {
            EXPECT_EQ(row.state, audit::RowState::Consistent) << "row " << row.row << " was reported journaled";
        } else {
            EXPECT_TRUE(row.state == audit::RowState::Consistent || row.state == audit::RowState::AddedOutside)
                << "row " << row.row << ": " << audit::describe(row.state);
        }
    }
    EXPECT_TRUE(result.missing.empty()) << "an entry for a row the table does not have";
}

TEST(JournalReliabilityTest, RandomKillsLeaveTheTableAndTheJournalAgreeing)
{
    storage::testing::TempDir dir;
    const std::string directory = dir.path("table") + "/";
    std::filesystem::create_directories(directory);
    const char* seedText = std::getenv("TIVORA_KILL_SEED");
    const unsigned seed
        = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : std::random_device {}();
    SCOPED_TRACE("TIVORA_KILL_SEED=" + std::to_string(seed));
    std::mt19937 random(seed);
    const bool traced = childrenCanBeTraced();
    int stopsPerStore = 0;
    if (traced) {
        ChildProcess calibration([&](int fd) { return storeJournaled(directory, 1, 1, fd); },
                                 ChildProcess::Start::Traced);
        stopsPerStore = calibration.stepToEnd();
    }
    std::vector<bool> journaled(2, false);
    journaled[1] = traced; // the calibration's store
    constexpr int kKills = 150;
    for (int kill = 0; kill < kKills && !HasFailure(); ++kill) {
        const int rows = static_cast<int>(readTable(directory + results::kResultsTableName).rows.size());
        ChildProcess child([&](int fd) { return storeJournaled(directory, rows + 1, 0, fd); },
                           traced ? ChildProcess::Start::Traced : ChildProcess::Start::Running);
        if (traced) {
            child.step(std::uniform_int_distribution<int>(0, 3 * stopsPerStore)(random));
        } else {
            child.watch(std::uniform_int_distribution<int>(0, 20)(random));
        }
        child.kill();
        for (const int value : child.reports()) {
            ASSERT_GT(value, 0) << "a journal failed without a word to the examiner";
            ASSERT_LT(value, kJournalFailed) << "the journal failed without a full disk or a kill";
            journaled.resize(std::max(journaled.size(), static_cast<std::size_t>(value) + 1));
            journaled[static_cast<std::size_t>(value)] = true;
        }
        expectAgreement(directory, journaled);
    }
    ChildProcess last([&](int fd) {
        return storeJournaled(
            directory, static_cast<int>(readTable(directory + results::kResultsTableName).rows.size()) + 1, 3, fd);
    });
    ASSERT_EQ(last.wait(), 0);
    audit::JournalReading reading;
    replay(directory, reading);
    EXPECT_FALSE(reading.torn) << "the next store cuts a torn line off";
    expectAgreement(directory, journaled);
}

// The disk fills at every byte of the journal's append: the row is stored, the journal either gets the
// whole entry or none of it and the examiner is told, and the next store with room journals again.
TEST(JournalReliabilityTest, AFullDiskIsToldAndLeavesNoHalfEntry)
{
    storage::testing::TempDir dir;
    const std::string directory = dir.path("table") + "/";
    std::filesystem::create_directories(directory);
    ChildProcess first([&](int fd) { return storeJournaled(directory, 1, 1, fd); });
    ASSERT_EQ(first.wait(), 0);
    std::vector<bool> journaled {false, true};
    const std::string journal = audit::journalPath(directory + results::kResultsTableName);
    const std::size_t entryBytes = wholeFile(journal).size() - std::string(audit::kJournalHeader).size();
    for (std::size_t margin = 0; margin < entryBytes + 40 && !HasFailure(); margin += 13) {
        const int sequence = static_cast<int>(journaled.size());
        const std::size_t journalBefore = wholeFile(journal).size();
        ChildProcess child([&](int fd) {
            ::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of killing the process
            // The table has room; the journal, shorter than the table, may grow by `margin` bytes.
            storage::Dataset table;
            configureStation(table, directory);
            const std::uint32_t row = results::ulo_do_DBF(table, resultFor(0, sequence));
            const rlim_t limit = journalBefore + margin;
            const rlimit fileSize {limit, limit};
            if (::setrlimit(RLIMIT_FSIZE, &fileSize) != 0) {
                return 1;
            }
            bool told = false;
            const bool written = results::recordTableChangeOrNotify(
                table.path(), {audit::Action::TestStored, row, {}},
                [&told](const std::string& notice) { told = notice.rfind(results::messages::kJournalFailed, 0) == 0; });
            report(fd, written ? 1 : (told ? 2 : 3));
            return 0;
        });
        ASSERT_EQ(child.wait(), 0);
        const std::vector<int> outcome = child.reports();
        ASSERT_EQ(outcome.size(), 1U);
        ASSERT_NE(outcome[0], 3) << "margin " << margin << ": a failed journal went untold";
        journaled.push_back(outcome[0] == 1);
        // Entries differ by a byte or two (the row's number, the hash of the line before).
        if (margin + 2 < entryBytes) {
            EXPECT_EQ(outcome[0], 2) << "margin " << margin << ": an entry longer than the room was written";
        } else if (margin >= entryBytes + 2) {
            EXPECT_EQ(outcome[0], 1) << "margin " << margin << ": an entry that fits was not written";
        }
        if (outcome[0] == 2) {
            EXPECT_EQ(wholeFile(journal).size(), journalBefore) << "margin " << margin << ": half an entry";
        }
        expectAgreement(directory, journaled);
    }
}

} // namespace
} // namespace reliability
