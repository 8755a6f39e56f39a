// tivora-sync's administrator's and archive's commands against a real server.
#include "central/test_server.h"
#include "storage/test_support.h"
#include "sync/command_line.h"
#include "sync/config.h"
#include "sync/test_tables.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace collection {
namespace {

using central::testing::TestServer;

// Runs tivora-sync with `args`; returns the exit code, what it printed in `out` and `err`.
int run(std::vector<std::string> args, std::string& out, std::string& err)
{
    args.insert(args.begin(), "tivora-sync");
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    std::ostringstream o, e;
    const int code = runCommandLine(static_cast<int>(argv.size()), argv.data(), o, e);
    out = o.str();
    err = e.str();
    return code;
}

TEST(CommandLineTest, TheAdministratorSetsUpAndAnArchiveIsImportedOnce)
{
    TestServer& server = TestServer::shared();
    const std::string database = server.createDatabase(false);
    std::string out, err;
    EXPECT_EQ(run({"--connection", server.conninfo(database) + " password=s3cret", "migrate"}, out, err), 2);
    EXPECT_EQ(err.find("s3cret"), std::string::npos) << err;
    ASSERT_EQ(run({"--connection", server.conninfo(database), "migrate"}, out, err), 0) << err;
    EXPECT_NE(out.find("applied 0001_collection.sql"), std::string::npos) << out;
    ASSERT_EQ(run({"--connection", server.conninfo(database), "migrate"}, out, err), 0) << err;
    EXPECT_NE(out.find("(nothing to do)"), std::string::npos) << out;
    server.connect(database)->run("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'sync_archive') "
                                  "THEN CREATE ROLE sync_archive LOGIN; END IF; END $$");
    ASSERT_EQ(run({"--connection", server.conninfo(database), "add-office", "Archiv", "sync_archive"}, out, err), 0)
        << err;

    storage::testing::TempDir dir;
    const std::string archive = dir.path("2019");
    std::filesystem::create_directories(archive);
    for (int sequence = 1; sequence <= 20; ++sequence) {
        testing::storeTest(archive, 11, sequence);
    }
    const std::string config = dir.path("sync.conf");
    std::ofstream(config) << "connection = " << server.conninfo(database, "sync_archive") << "\noffice = Archiv\n";
    ASSERT_EQ(run({"--config", config, "import", archive}, out, err), 0) << err;
    EXPECT_EQ(out, "20 new tests, 0 new versions, trials of 20 tests\n");
    ASSERT_EQ(run({"--config", config, "import", archive}, out, err), 0) << err;
    EXPECT_EQ(out, "0 new tests, 0 new versions, trials of 0 tests\n");
    EXPECT_EQ(
        server.connect(database)->exec("SELECT string_agg(DISTINCT station, ',') FROM tivora.current_tests").text(0, 0),
        "2019");
    EXPECT_EQ(run({"--config", dir.path("missing.conf")}, out, err), 2);
    EXPECT_NE(err.find("Cannot open file " + dir.path("missing.conf")), std::string::npos) << err;
}

} // namespace
} // namespace collection
