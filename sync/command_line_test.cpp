// tivora-sync's configuration and commands: what a wrong configuration says, that a password is refused
// wherever it is written, and the administrator's and the archive's commands against a real server.
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

TEST(ConfigTest, AWholeConfigurationIsRead)
{
    const CollectorSettings settings
        = parseConfig("# the office in Brno\nconnection = postgresql://tivora_brno@db.example.org/tivora\n"
                      "sslmode = verify-full\nsslrootcert = /etc/tivora/ca.crt\noffice = Brno\npoll_seconds = 0.5\n\n"
                      "[Stanice 1]\nfolder = /srv/tivora/1\n[Ordinace Č. 2]\n  folder = /srv/tivora/ordinace 2  \n",
                      "sync.conf");
    EXPECT_EQ(settings.connection.conninfo, "postgresql://tivora_brno@db.example.org/tivora");
    ASSERT_EQ(settings.connection.overrides.size(), 2U);
    EXPECT_EQ(settings.connection.overrides[0].first + "=" + settings.connection.overrides[0].second,
              "sslmode=verify-full");
    EXPECT_EQ(settings.office, "Brno");
    EXPECT_EQ(settings.pollInterval.count(), 500);
    ASSERT_EQ(settings.folders.size(), 2U);
    EXPECT_EQ(settings.folders[1].station + "|" + settings.folders[1].folder, "Ordinace Č. 2|/srv/tivora/ordinace 2");
}

struct BadConfig
{
    const char* text;
    const char* message;
};

class BadConfigTest : public ::testing::TestWithParam<BadConfig>
{ };

TEST_P(BadConfigTest, IsRefusedWithItsLine)
{
    try {
        parseConfig(GetParam().text, "sync.conf");
        FAIL() << "accepted";
    } catch (const std::exception& error) {
        EXPECT_EQ(std::string(error.what()), GetParam().message);
        EXPECT_EQ(std::string(error.what()).find("s3cret"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadConfigTest,
    ::testing::Values(
        BadConfig {"office = A\nconnection = host=db password=s3cret\n",
                   "The connection string in sync.conf holds a password: give it in the password file (PGPASSFILE, "
                   "~/.pgpass) or in PGPASSWORD, never in the settings or on the command line"},
        BadConfig {"office = A\npassword = s3cret\n",
                   "sync.conf, line 2: a password is never taken from the configuration: give it in the password file "
                   "(PGPASSFILE, ~/.pgpass) or in PGPASSWORD"},
        BadConfig {"office = A\n[S]\nfolder = /x\npath = /y\n",
                   "sync.conf, line 4: unknown setting 'path' for a station (only folder)"},
        BadConfig {"office = A\nconection = host=db\n", "sync.conf, line 2: unknown setting 'conection'"},
        BadConfig {"office = A\npoll_seconds = soon\n",
                   "sync.conf, line 2: poll_seconds must be a number of seconds from 0.05 to 3600"},
        BadConfig {"office = A\n[S\n", "sync.conf, line 2: a station's section is written [Station name]"},
        BadConfig {"office = A\n[S]\n", "sync.conf: the station [S] has no folder"},
        BadConfig {"[S]\nfolder = /x\n", "sync.conf: no office = ... (the office's name as the database knows it)"},
        BadConfig {"office\n", "sync.conf, line 1: a setting is written name = value"}));

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
