// Two collectors on one folder, their steps interleaved by hand: one reads the table, the other collects
// a newer state of it and commits, then the first takes the locks and passes with what it read. Nothing
// may be counted twice, and nothing the newer pass saw may be undone.
#include "central/test_server.h"
#include "results/timing_record.h"
#include "storage/test_support.h"
#include "sync/folder_pass.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace collection {
namespace {

namespace fs = std::filesystem;
using central::testing::TestServer;

// What one collector process holds: its connection and its copy of the folder's state.
struct Side
{
    std::unique_ptr<central::Connection> db;
    int officeId = 0;
    FolderState folder;

    Side(const std::string& conninfo, const std::string& dir)
    {
        db = std::make_unique<central::Connection>(central::ConnectionSettings {conninfo, {}, "test"});
        officeId = LineageStore::officeId(*db, "Kolín");
        folder.folder = dir;
        folder.station = "Stanice";
        folder.tablePath = dir + "tivora4.DBF";
        folder.timingPath = results::timingRecordPath(folder.tablePath);
        folder.stationId = LineageStore(*db, officeId).stationId(folder.station);
    }

    Snapshot read() const { return Snapshot(folder.tablePath, fs::file_size(folder.timingPath)); }

    // One pass in its transaction with `snapshot`, as the collector does it.
    PassOutcome pass(Snapshot& snapshot)
    {
        LineageStore store(*db, officeId);
        central::Transaction transaction(*db);
        const PassOutcome outcome = runPass(store, folder, snapshot, {}, "test");
        transaction.commit();
        folder.lineage = outcome.lineage;
        folder.known = outcome.lineage && !outcome.renumbered;
        return outcome;
    }

    PassOutcome pass()
    {
        Snapshot snapshot = read();
        return pass(snapshot);
    }
};

// Stores test `sequence` of station 3 as another station does: in a process of its own, since a table
// open in this process is shared by every user in it.
void storeElsewhere(const std::string& folder, int sequence)
{
    central::testing::Process station({STATION_FEED, folder, "3", std::to_string(sequence), "1"},
                                      folder + "../station.log");
    ASSERT_EQ(station.wait(), 0);
}

struct RaceCase
{
    const char* name;
    bool collectedBefore; // the first collector passed once before it read the table
    bool edit;            // between its read and its pass, record 2's surname is edited (else a test is stored)
    int tests;
    const char* history; // the versions' surnames, by test and version
    const char* events;
};

class StaleSnapshotTest : public ::testing::TestWithParam<RaceCase>
{ };

TEST_P(StaleSnapshotTest, APassReadBeforeAnotherCommitsAddsNothingTwice)
{
    const RaceCase& c = GetParam();
    TestServer& server = TestServer::shared();
    const std::string database = server.createDatabase();
    server.addOffice(database, "Kolín", "sync_kolin");
    const auto admin = server.connect(database);
    storage::testing::TempDir dir;
    const std::string folder = dir.path("stanice") + "/";
    fs::create_directories(folder);
    storeElsewhere(folder, 1);
    storeElsewhere(folder, 2);
    storeElsewhere(folder, 3);
    Side first(server.conninfo(database, "sync_kolin"), folder);
    Side second(server.conninfo(database, "sync_kolin"), folder);
    if (c.collectedBefore) {
        ASSERT_EQ(first.pass().tests, 3U);
    }

    Snapshot stale = first.read();
    if (c.edit) {
        storage::testing::setByte(folder + "tivora4.DBF", 833 + 2138 + 1, 'P'); // the surname of record 2
    } else {
        storeElsewhere(folder, 4);
    }
    second.pass();
    const PassOutcome late = first.pass(stale);
    EXPECT_FALSE(late.renumbered);
    EXPECT_EQ(late.tests, 0U);
    EXPECT_EQ(late.versions, 0U);
    first.pass(); // what a stale pass left wrong shows when the table is read again
    second.pass();

    EXPECT_EQ(admin->exec("SELECT count(*) FROM tivora.tests").integer(0, 0), c.tests);
    EXPECT_EQ(admin
                  ->exec("SELECT string_agg(v.version_no || ':' || v.surname, ' ' ORDER BY v.test_id, v.version_no) "
                         "FROM tivora.versions v")
                  .text(0, 0),
              c.history);
    EXPECT_EQ(
        admin->exec("SELECT coalesce(string_agg(kind, ' ' ORDER BY pass_no, seq), '') FROM tivora.events").text(0, 0),
        c.events);
    EXPECT_EQ(admin->exec("SELECT max(epoch) FROM tivora.passes").integer(0, 0), 1);
}

const RaceCase kRaces[] = {
    {"AStoreOnAFreshStart", false, false, 4, "1:Dvořák 3 1:Dvořák 3 1:Dvořák 3 1:Dvořák 3", ""},
    {"AStoreAfterAPass", true, false, 4, "1:Dvořák 3 1:Dvořák 3 1:Dvořák 3 1:Dvořák 3", ""},
    {"AnEditOnAFreshStart", false, true, 3, "1:Dvořák 3 1:Pvořák 3 1:Dvořák 3", ""},
    {"AnEditAfterAPass", true, true, 3, "1:Dvořák 3 1:Dvořák 3 2:Pvořák 3 1:Dvořák 3", "edited"},
};

INSTANTIATE_TEST_SUITE_P(Races, StaleSnapshotTest, ::testing::ValuesIn(kRaces),
                         [](const ::testing::TestParamInfo<RaceCase>& race) { return std::string(race.param.name); });

} // namespace
} // namespace collection
