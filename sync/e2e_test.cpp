// Three stations on one folder, one of them the real program driven by X input, while tivora-sync
// collects it: tools/e2e/central_stations.py against this program's database server.
#include "central/test_server.h"

#include <gtest/gtest.h>

namespace collection {
namespace {

using central::testing::TestServer;

TEST(CentralEndToEnd, ThreeStationsOneFolderEveryRowOnceAsTheTableHoldsIt)
{
    TestServer& server = TestServer::shared();
    const std::string database = server.createDatabase();
    server.addOffice(database, "Praha", "sync_praha");
    std::string output;
    const int status
        = central::testing::runCommand({"/usr/bin/python3", E2E_SCRIPT, TIVORA, TIVORA_SYNC, STATION_FEED, SAMPLE_DIR,
                                        server.conninfo(database, "sync_praha"), server.conninfo(database), "Praha"},
                                       &output);
    EXPECT_EQ(status, 0) << output;
}

} // namespace
} // namespace collection
