// tivora-sync as a process, killed with SIGKILL at random moments hundreds of times while a station
// stores a thousand tests, and run twice on one folder by mistake: every test reaches the database once.
#include "central/test_server.h"
#include "storage/test_support.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace collection {
namespace {

using central::testing::Process;
using central::testing::TestServer;

std::string lastLine(const std::string& path, const std::string& prefix)
{
    std::ifstream in(path);
    std::string line, last;
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0) {
            last = line;
        }
    }
    return last;
}

class ProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestServer& server = TestServer::shared();
        m_database = server.createDatabase();
        server.addOffice(m_database, "Kolín", "sync_kolin");
        m_admin = server.connect(m_database);
        m_folder = m_dir.path("stanice") + "/";
        std::filesystem::create_directories(m_folder);
        m_config = m_dir.path("sync.conf");
        std::ofstream(m_config) << "connection = " << server.conninfo(m_database, "sync_kolin") << "\n"
                                << "office = Kolín\npoll_seconds = 0.05\n\n[Stanice]\nfolder = " << m_folder << "\n";
    }

    std::vector<std::string> sync(std::initializer_list<std::string> extra)
    {
        std::vector<std::string> command = {TIVORA_SYNC, "--config", m_config};
        command.insert(command.end(), extra);
        return command;
    }

    std::int64_t count(const std::string& sql) { return m_admin->exec(sql).integer(0, 0); }

    // Every test of the station once, in store order, each with all its trials; and nothing taken for a
    // table that was renumbered or replaced (the table only grew).
    void expectEveryTestOnce(int tests)
    {
        EXPECT_EQ(m_admin->exec("SELECT coalesce(string_agg(kind, ' '), '') FROM tivora.events").text(0, 0), "");
        EXPECT_EQ(count("SELECT count(*) FROM tivora.tests"), tests);
        EXPECT_EQ(count("SELECT count(*) FROM tivora.versions"), tests);
        EXPECT_EQ(count("SELECT count(*) FROM tivora.trials"), tests * 33);
        EXPECT_EQ(count("SELECT count(*) FROM tivora.current_tests WHERE first_name <> 'Čeněk ' || record_no"), 0);
        EXPECT_EQ(count("SELECT count(*) FROM (SELECT record_no, row_number() OVER (ORDER BY test_id) AS n FROM "
                        "tivora.current_tests) x WHERE record_no <> n"),
                  0);
    }

    storage::testing::TempDir m_dir;
    std::string m_database;
    std::unique_ptr<central::Connection> m_admin;
    std::string m_folder;
    std::string m_config;
};

TEST_F(ProcessTest, KilledAtRandomMomentsTheCollectorStillBringsEachTestOnce)
{
    constexpr int kTests = 1000;
    constexpr int kKills = 200;
    Process station({STATION_FEED, m_folder, "7", "1", std::to_string(kTests), "25"}, m_dir.path("station.log"));
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> moment(0, 250);
    int kills = 0, inTransaction = 0, atCommit = 0;
    const std::string log = m_dir.path("sync.log");
    for (bool stationDone = false; kills < kKills || !stationDone;) {
        stationDone = !station.running();
        Process collector(sync({"--trace"}), log);
        std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
        collector.kill(SIGKILL);
        ++kills;
        const std::string last = lastLine(log, "trace: ");
        inTransaction += last.rfind("trace: begin", 0) == 0 ? 1 : 0;
        atCommit += last.rfind("trace: commit ", 0) == 0 ? 1 : 0;
    }
    ASSERT_EQ(station.wait(), 0);
    Process last(sync({"--once"}), log);
    ASSERT_EQ(last.wait(), 0);
    std::cout << kills << " kills: " << inTransaction << " inside a transaction, " << atCommit
              << " between the commit and its answer\n";
    EXPECT_GE(inTransaction + atCommit, kKills / 10);
    expectEveryTestOnce(kTests);
}

TEST_F(ProcessTest, TwoCollectorsOnOneFolderByMistakeAddNothingTwice)
{
    constexpr int kTests = 60;
    Process station({STATION_FEED, m_folder, "8", "1", std::to_string(kTests), "10"}, m_dir.path("station.log"));
    Process first(sync({}), m_dir.path("first.log"));
    Process second(sync({}), m_dir.path("second.log"));
    ASSERT_EQ(station.wait(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    first.kill(SIGTERM);
    second.kill(SIGTERM);
    Process last(sync({"--once"}), m_dir.path("last.log"));
    ASSERT_EQ(last.wait(), 0);
    expectEveryTestOnce(kTests);
}

} // namespace
} // namespace collection
