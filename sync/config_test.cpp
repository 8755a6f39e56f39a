// tivora-sync without a server: the configuration (what a wrong one says, that a password is refused
// wherever it is written, a file in a folder with Czech letters), and the command lines it refuses.
#include "storage/test_support.h"
#include "sync/command_line.h"
#include "sync/config.h"
#include "sync/platform.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

namespace collection {
namespace {

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
    std::string message;
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
                       + std::string(platform::kPasswordFile)
                       + ") or in PGPASSWORD, never in the settings or on the command line"},
        BadConfig {"office = A\npassword = s3cret\n",
                   "sync.conf, line 2: a password is never taken from the configuration: give it in the password file "
                   "(PGPASSFILE, "
                       + std::string(platform::kPasswordFile) + ") or in PGPASSWORD"},
        BadConfig {"office = A\n[S]\nfolder = /x\npath = /y\n",
                   "sync.conf, line 4: unknown setting 'path' for a station (only folder)"},
        BadConfig {"office = A\nconection = host=db\n", "sync.conf, line 2: unknown setting 'conection'"},
        BadConfig {"office = A\npoll_seconds = soon\n",
                   "sync.conf, line 2: poll_seconds must be a number of seconds from 0.05 to 3600"},
        BadConfig {"office = A\n[S\n", "sync.conf, line 2: a station's section is written [Station name]"},
        BadConfig {"office = A\n[S]\n", "sync.conf: the station [S] has no folder"},
        BadConfig {"[S]\nfolder = /x\n", "sync.conf: no office = ... (the office's name as the database knows it)"},
        BadConfig {"office\n", "sync.conf, line 1: a setting is written name = value"}));

TEST(ConfigTest, AFileInAFolderWithCzechLettersIsRead)
{
    storage::testing::TempDir dir;
    const std::string folder = dir.path("Nastavení Řehoř");
    std::filesystem::create_directories(std::filesystem::u8path(folder));
    const std::string path = folder + std::string(1, base::pathSeparator()) + "sync.conf";
    storage::testing::writeAll(path, "office = Kolín\n[Stanice Č. 1]\nfolder = " + folder + "\n");
    const CollectorSettings settings = readConfig(path);
    EXPECT_EQ(settings.office, "Kolín");
    ASSERT_EQ(settings.folders.size(), 1U);
    EXPECT_EQ(settings.folders[0].station + "|" + settings.folders[0].folder, "Stanice Č. 1|" + folder);
}

struct Refusal
{
    std::vector<std::string> words;
    int code;
    std::string message; // the first line of what it says
};

class RefusedCommandLineTest : public ::testing::TestWithParam<Refusal>
{ };

// Nothing here reaches a server: every refusal comes before a connection.
TEST_P(RefusedCommandLineTest, SaysWhyAndExits)
{
    std::ostringstream out, err;
    EXPECT_EQ(runCommandLine(GetParam().words, out, err), GetParam().code);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str().substr(0, err.str().find('\n')), GetParam().message) << err.str();
    EXPECT_EQ(err.str().find("s3cret"), std::string::npos);
}

const std::string kMissing = "no such folder/sync.conf";

INSTANTIATE_TEST_SUITE_P(
    Words, RefusedCommandLineTest,
    ::testing::Values(Refusal {{"--once", "--poll"}, 2, "tivora-sync: unknown option --poll"},
                      Refusal {{"--config"}, 2, "tivora-sync: --config needs a value"},
                      Refusal {{"add-office", "Brno"}, 2, "tivora-sync: wrong number of arguments"},
                      Refusal {{"import"}, 2, "tivora-sync: wrong number of arguments"},
                      Refusal {{"migrate", "now"}, 2, "tivora-sync: wrong number of arguments"},
                      Refusal {{"--config", kMissing, "--once"}, 2, "tivora-sync: Cannot open file " + kMissing},
                      Refusal {{"--connection", "host=db password=s3cret", "migrate"},
                               2,
                               "tivora-sync: The connection string given with --connection holds a password: give "
                               "it in the password file (PGPASSFILE, "
                                   + std::string(platform::kPasswordFile)
                                   + ") or in PGPASSWORD, never in the settings or on the command line"}));

TEST(CommandLineTest, TheUsageNamesThisSystemsConfigurationAndStopRequests)
{
    std::ostringstream out, err;
    ASSERT_EQ(runCommandLine({"--help"}, out, err), 0);
    EXPECT_NE(out.str().find("(default " + platform::defaultConfigPath() + ")"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find(std::string("collect until stopped (") + platform::kStopRequests + ")"),
              std::string::npos);
    std::ostringstream version;
    ASSERT_EQ(runCommandLine({"--version"}, version, err), 0);
    EXPECT_EQ(version.str().rfind("tivora-sync ", 0), 0U);
}

} // namespace
} // namespace collection
