// The collector against a real server and real tables stored as stations store them: every test once,
// with its trials; edits and deletions as versions; hostile tables reported without harm; the server away
// while stations go on storing.
#include "central/test_server.h"
#include "results/results_table.h"
#include "storage/dataset.h"
#include "storage/dbf_table.h"
#include "storage/test_support.h"
#include "sync/collector.h"
#include "sync/test_tables.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace collection {
namespace {

namespace fs = std::filesystem;
using central::testing::TestServer;

class CollectorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_database = server().createDatabase();
        server().addOffice(m_database, "Brno", "sync_brno");
        m_admin = server().connect(m_database);
    }

    static TestServer& server() { return TestServer::shared(); }

    std::string folder(const std::string& name)
    {
        const std::string path = m_dir.path(name) + "/";
        fs::create_directories(path);
        return path;
    }

    CollectorSettings settings(const std::vector<FolderSettings>& folders)
    {
        CollectorSettings settings;
        settings.connection.conninfo = server().conninfo(m_database, "sync_brno");
        settings.office = "Brno";
        settings.folders = folders;
        settings.pollInterval = std::chrono::milliseconds(50);
        settings.host = "test";
        return settings;
    }

    std::unique_ptr<Collector> collector(const std::vector<FolderSettings>& folders)
    {
        return std::make_unique<Collector>(settings(folders), [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(m_logMutex);
            m_log.push_back(line);
        });
    }

    void store(const std::string& folder, int station, int first, int count)
    {
        for (int sequence = first; sequence < first + count; ++sequence) {
            testing::storeTest(folder, station, sequence);
        }
    }

    std::int64_t count(const std::string& sql, const std::vector<central::Param>& params = {})
    {
        return m_admin->exec(sql, params).integer(0, 0);
    }

    bool logged(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(m_logMutex);
        for (const std::string& line : m_log) {
            if (line.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    // Tests whose trials (series by series, in line order) are not the row's lists, or that have none.
    std::int64_t testsWithoutTheirTrials()
    {
        return count("SELECT count(*) FROM tivora.current_tests c WHERE coalesce(c.ser1a, '') || coalesce(c.ser1b, '') "
                     "IS DISTINCT FROM (SELECT string_agg(rt_stored_ms::text || '|', '' ORDER BY line) FROM "
                     "tivora.trials t WHERE t.test_id = c.test_id AND t.block = 'measured' AND t.series = 1) "
                     "OR coalesce(c.ser2a, '') || coalesce(c.ser2b, '') IS DISTINCT FROM (SELECT "
                     "string_agg(rt_stored_ms::text || '|', '' ORDER BY line) FROM tivora.trials t WHERE t.test_id = "
                     "c.test_id AND t.block = 'measured' AND t.series = 2)");
    }

    storage::testing::TempDir m_dir;
    std::string m_database;
    std::unique_ptr<central::Connection> m_admin;
    std::mutex m_logMutex;
    std::vector<std::string> m_log;
};

TEST_F(CollectorTest, EveryTestArrivesOnceWithItsTrialsWhereverTheFolderGoes)
{
    const std::string first = folder("ordinace");
    store(first, 1, 1, 5);
    auto sync = collector({{"Stanice 1", first}});
    ASSERT_TRUE(sync->collectOnce());
    EXPECT_EQ(count("SELECT count(*) FROM tivora.tests"), 5);
    EXPECT_EQ(count("SELECT count(*) FROM tivora.trials"), 5 * 33);
    EXPECT_EQ(testsWithoutTheirTrials(), 0);
    const central::Result row = m_admin->exec(
        "SELECT surname, first_name, rc_1, rc_2, date_text, test_date::text, birth_key, station, count_1, count_2, "
        "issues::text FROM tivora.current_tests WHERE record_no = 3");
    const results::Identity subject = testing::subjectFor(1, 3);
    EXPECT_EQ(row.text(0, 0), subject.surname);
    EXPECT_EQ(row.text(0, 1), subject.firstName);
    EXPECT_EQ(row.text(0, 2) + row.text(0, 3), subject.birthNumber1 + subject.birthNumber2);
    EXPECT_EQ(row.text(0, 4), "7.12.2026");
    EXPECT_EQ(row.text(0, 5), "2026-12-07");
    EXPECT_EQ(row.text(0, 6), subject.birthNumber1 + subject.birthNumber2);
    EXPECT_EQ(row.text(0, 7), "Stanice 1");
    EXPECT_EQ(row.text(0, 8) + "," + row.text(0, 9), "15,15");
    EXPECT_EQ(row.text(0, 10), "{}");

    // Again, by the same collector, by a new one, and by one that finds the folder renamed.
    ASSERT_TRUE(sync->collectOnce());
    ASSERT_TRUE(collector({{"Stanice 1", first}})->collectOnce());
    const std::string renamed = m_dir.path("ordinace-prejmenovana") + "/";
    fs::rename(m_dir.path("ordinace"), m_dir.path("ordinace-prejmenovana"));
    store(renamed, 1, 6, 1);
    ASSERT_TRUE(collector({{"Stanice 1", renamed}})->collectOnce());
    EXPECT_EQ(count("SELECT count(*) FROM tivora.tests"), 6);
    EXPECT_EQ(count("SELECT count(DISTINCT lineage_id) FROM tivora.tests"), 1);
    EXPECT_EQ(count("SELECT count(*) FROM tivora.trials"), 6 * 33);
    EXPECT_EQ(count("SELECT count(*) FROM tivora.events"), 0);
}

TEST_F(CollectorTest, EditsAndDeletionsInTheBrowserBecomeVersions)
{
    const std::string dir = folder("ordinace");
    store(dir, 2, 1, 3);
    auto sync = collector({{"Stanice 2", dir}});
    ASSERT_TRUE(sync->collectOnce());
    {
        storage::Dataset browser;
        browser.setDirectory(dir);
        results::configureResultsTable(browser);
        browser.open();
        browser.goToRecord(2);
        browser.setValue(0, std::string("Opravená"));
        browser.post();
        browser.goToRecord(3);
        browser.deleteRow();
        browser.close();
    }
    ASSERT_TRUE(sync->collectOnce());
    // Undeleted as a repair tool does it: the flag byte set back.
    storage::testing::setByte(dir + "tivora4.DBF", 833 + 2 * 2138, 0x20);
    ASSERT_TRUE(sync->collectOnce());

    EXPECT_EQ(count("SELECT count(*) FROM tivora.tests"), 3);
    const central::Result history = m_admin->exec(
        "SELECT p.record_no, string_agg(v.version_no || ':' || v.surname || ':' || v.deleted, ' ' ORDER BY "
        "v.version_no) FROM tivora.versions v JOIN tivora.positions p ON p.test_id = v.test_id GROUP BY 1 ORDER BY 1");
    ASSERT_EQ(history.rows(), 3);
    EXPECT_EQ(history.text(0, 1), "1:Dvořák 2:false");
    EXPECT_EQ(history.text(1, 1), "1:Dvořák 2:false 2:Opravená:false");
    EXPECT_EQ(history.text(2, 1), "1:Dvořák 2:false 2:Dvořák 2:true 3:Dvořák 2:false");
    EXPECT_EQ(m_admin
                  ->exec("SELECT string_agg(surname || ':' || deleted, ' ' ORDER BY record_no) FROM "
                         "tivora.current_tests")
                  .text(0, 0),
              "Dvořák 2:false Opravená:false Dvořák 2:false");
    EXPECT_EQ(count("SELECT count(*) FROM tivora.trials"), 3 * 33);
    EXPECT_EQ(m_admin->exec("SELECT string_agg(kind, ' ' ORDER BY pass_no, seq) FROM tivora.events").text(0, 0),
              "edited deleted undeleted");
}

// Offsets in the results table: record n starts at 833 + 2138 * (n - 1); POC_1SER at 50, SER1A at 106.
std::size_t fieldOffset(std::uint32_t record, std::size_t field)
{
    return 833 + 2138 * (record - 1) + field;
}

TEST_F(CollectorTest, HostileTablesAreReportedAndNothingWrongReachesTheDatabase)
{
    const std::string a = folder("a");
    const std::string b = folder("b");
    const std::string c = folder("c");
    store(a, 3, 1, 5);
    store(b, 4, 1, 2);
    storage::CreateTableFile(c + "tivora4.DBF", storage::testing::smallSchema());
    const std::string tableA = a + "tivora4.DBF";
    // B's timing record is replaced by A's: its lines name rows B has, with A's reaction times.
    fs::copy_file(a + "tivora4_timing.csv", b + "tivora4_timing.csv", fs::copy_options::overwrite_existing);
    // Damage: a letter in a list and in a count of a collected row (record 2) and of a new one (record 5,
    // a letter beyond ASCII: 'Š' in the table's code page); a surname that begins with a blank (record 4).
    for (const std::uint32_t record : {2U, 5U}) {
        storage::testing::setByte(tableA, fieldOffset(record, 106 + 1), 'x');
        storage::testing::setByte(tableA, fieldOffset(record, 50 + 1), record == 5 ? 0xE6 : 'b');
    }
    storage::testing::setByte(tableA, fieldOffset(4, 1), ' ');
    auto sync = collector({{"A", a}, {"B", b}, {"C", c}});
    EXPECT_FALSE(sync->collectOnce()) << "C is no results table";
    EXPECT_TRUE(logged(c + ": " + c + "tivora4.DBF is not a results table: it has no field JMENO"));
    EXPECT_EQ(count("SELECT count(*) FROM tivora.current_tests WHERE station = 'A'"), 5);
    EXPECT_EQ(count("SELECT count(*) FROM tivora.current_tests WHERE has_error AND count_1 IS NULL"), 2);
    EXPECT_EQ(
        m_admin->exec("SELECT issues[1] FROM tivora.current_tests WHERE station = 'A' AND record_no = 5").text(0, 0),
        "POC_1SER: 'Š5' is not a number");
    // The database's texts are read as the table engine reads them: no blank before the surname.
    EXPECT_EQ(
        m_admin->exec("SELECT surname FROM tivora.current_tests WHERE station = 'A' AND record_no = 4").text(0, 0),
        testing::subjectFor(3, 4).surname.substr(1));
    EXPECT_TRUE(logged("row 2 collected with its damage recorded: POC_1SER: 'b5' is not a number; SER1A: character 2 "
                       "('x') is neither a digit nor '|'"));
    EXPECT_EQ(count("SELECT count(*) FROM tivora.trials t JOIN tivora.current_tests c USING (test_id) WHERE "
                    "c.station = 'B'"),
              0);
    EXPECT_EQ(count("SELECT count(*) FROM tivora.events WHERE kind = 'timing_mismatch'"), 5);
    EXPECT_TRUE(logged("do not hold that row's reaction times: not attached"));

    // A copy of A as it is now; then more tests; then the older copy back, and a test stored into it.
    const std::string copy = m_dir.path("copy.DBF");
    fs::copy_file(tableA, copy);
    store(a, 3, 6, 2);
    sync->collectOnce(); // false: C is still no results table
    EXPECT_EQ(count("SELECT count(*) FROM tivora.current_tests WHERE station = 'A'"), 7);
    fs::copy_file(copy, tableA, fs::copy_options::overwrite_existing);
    sync->collectOnce();
    EXPECT_TRUE(logged("the table's records were renumbered or replaced (a packed table, an older copy, a restored "
                       "backup): 5 records, 7 before; 5 matched known tests, 0 new, 2 known tests no longer in it"));
    store(a, 3, 8, 1);
    sync->collectOnce();
    // Shrunk: cut after its third record.
    fs::resize_file(tableA, 833 + 3 * 2138);
    sync->collectOnce();
    EXPECT_TRUE(logged("3 records, 6 before; 3 matched known tests, 0 new, 3 known tests no longer in it"));
    EXPECT_EQ(count("SELECT count(*) FROM tivora.tests t JOIN tivora.stations s USING (station_id) WHERE s.name = 'A'"),
              8);
    EXPECT_EQ(count("SELECT count(*) FROM (SELECT content_key FROM tivora.tests GROUP BY 1 HAVING count(*) > 1) x"), 0);
    EXPECT_EQ(count("SELECT count(*) FROM tivora.trials t JOIN tivora.tests USING (test_id) JOIN tivora.stations s "
                    "USING (station_id) WHERE s.name = 'A'"),
              8 * 33)
        << "the damaged rows' trials are attached by their undamaged second series, as the report does";
    EXPECT_EQ(count("SELECT count(*) FROM tivora.events WHERE kind = 'missing'"), 5);
}

TEST_F(CollectorTest, TestsStoredWhileTheServerIsDownArriveOnceInStoreOrder)
{
    const std::string dir = folder("offline");
    store(dir, 6, 1, 2);
    std::atomic<bool> stop {false};
    auto sync = collector({{"Offline", dir}});
    std::thread running([&] { sync->run([&] { return stop.load(); }); });
    while (count("SELECT count(*) FROM tivora.tests") < 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_admin.reset();
    server().stop();
    const std::string command = std::string(STATION_FEED) + " " + dir + " 6 3 498 > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    server().start();
    m_admin = server().connect(m_database);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (count("SELECT count(*) FROM tivora.trials") < 500 * 33 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    stop = true;
    running.join();
    EXPECT_TRUE(logged("the stations go on storing, and their tests are collected when the database can be reached"));
    EXPECT_TRUE(logged("Connected again to the database"));
    EXPECT_EQ(count("SELECT count(*) FROM tivora.tests"), 500);
    EXPECT_EQ(count("SELECT count(*) FROM tivora.trials"), 500 * 33);
    EXPECT_EQ(testsWithoutTheirTrials(), 0);
    // In store order: test ids rise with the record, and record n is test n of the station.
    EXPECT_EQ(count("SELECT count(*) FROM (SELECT record_no, row_number() OVER (ORDER BY test_id) AS n FROM "
                    "tivora.current_tests) x WHERE record_no <> n"),
              0);
    EXPECT_EQ(count("SELECT count(*) FROM tivora.current_tests WHERE first_name <> 'Čeněk ' || record_no"), 0);
}

} // namespace
} // namespace collection
