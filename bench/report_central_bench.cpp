// tivora-report on the central database, against a real PostgreSQL 15 on this machine:
//  - the CSV export of 1,000,000 collected tests from the database, and in the same run the same export
//    from a table of 1,000,000 rows: rows/s of the whole command (process start to exit, output to
//    /dev/null), and its peak memory; the database's export of 100,000 tests for the memory's flatness.
//  - one protocol's data out of 1,000,000 tests: the test, its trials and the person's history across
//    offices read and analysed (loadProtocol, everything the page shows but the drawing), on an open
//    connection; and the whole protocol command for comparison.
// The database is filled as the collector fills it: a real table of 10,000 tests collected by the
// collector, then every version copied with a birth number and record of its own until there are
// 1,000,000 (four tests per person, at two offices). The table is that collected table's records
// repeated. Medians of five runs (protocol: of 20); prints one line per figure.
#include "central/test_server.h"
#include "report/central/database_source.h"
#include "report/gui/protocol_content.h"
#include "sync/collector.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <QGuiApplication>

namespace {

namespace fs = std::filesystem;
using central::testing::TestServer;
using Clock = std::chrono::steady_clock;

constexpr int kSourceTests = 10000;
constexpr int kRuns = 5;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string scratch()
{
    std::string pattern = (fs::temp_directory_path() / "tivora_report_central_bench_XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("no scratch folder");
    }
    return pattern + "/";
}

struct Run
{
    double seconds = 0;
    long peakKb = 0;
    int status = -1;
};

// The peak resident memory of process `pid` so far, in kB (0 once it is gone).
long peakKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return 0;
}

// Runs `args` with its standard output to /dev/null; its time and peak resident memory. The peak is read
// from /proc while it runs (every 5 ms): the rusage of a child counts the memory it had as a copy of this
// program before its exec.
Run runMeasured(const std::vector<std::string>& args)
{
    std::cout.flush(); // a child would write out a copy of what is still buffered
    std::fflush(stdout);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::vector<char*> argv;
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    Run run;
    // Read only after the exec: the high-water mark then starts again with the new program.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        run.peakKb = std::max(run.peakKb, peakKb(pid));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.status = status;
    return run;
}

// A table of `rows` records: the records of `source` over and over.
void repeatTable(const std::string& source, const std::string& target, std::uint32_t rows)
{
    std::ifstream in(source, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto u16 = [&](std::size_t at) {
        return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at]))
            | static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8U;
    };
    const std::size_t header = u16(8);
    const std::size_t length = u16(10);
    const std::size_t have = (bytes.size() - header) / length;
    std::string head = bytes.substr(0, header);
    std::memcpy(head.data() + 4, &rows, 4); // little-endian, as this machine
    std::ofstream out(target, std::ios::binary);
    out << head;
    for (std::uint32_t done = 0; done < rows;) {
        const std::size_t take = std::min<std::size_t>(have, rows - done);
        out.write(bytes.data() + header, static_cast<std::streamsize>(take * length));
        done += static_cast<std::uint32_t>(take);
    }
    out.put('\x1a');
}

// Copies every collected version with a birth number and record of its own until the database holds
// `total` tests: copy g is at office 1 + g % 2 (Brno, Plzeň), of person (g / 2) % 250000 (four tests each),
// tested up to 999 days before 7 December 2026.
void multiply(central::Connection& db, int total)
{
    db.run(
        "CREATE TEMP TABLE src AS SELECT row_number() OVER (ORDER BY test_id) - 1 AS n, raw FROM tivora.versions;"
        "CREATE TEMP TABLE lineage AS SELECT office_id, min(lineage_id) AS lineage_id FROM tivora.lineages GROUP BY 1");
    const std::string range
        = "generate_series(" + std::to_string(kSourceTests) + ", " + std::to_string(total - 1) + ") g";
    const std::string base = "(SELECT max(test_id) FROM src_max)";
    db.run("CREATE TEMP TABLE src_max AS SELECT max(test_id) AS test_id FROM tivora.tests");
    db.run("INSERT INTO tivora.tests (test_id, office_id, content_key, ordinal, lineage_id) "
           "SELECT "
           + base + " + g, l.office_id, sha256(g::text::bytea), 1, l.lineage_id FROM " + range
           + " JOIN lineage l ON l.office_id = 1 + g % 2");
    db.run(
        "INSERT INTO tivora.versions (test_id, version_no, office_id, lineage_id, pass_no, record_no, flag, deleted,"
        " content_hash, head_hash, lists_hash, raw, surname, first_name, rc_1, rc_2, date_text, birth_key, test_date) "
        "SELECT "
        + base
        + " + g, 1, l.office_id, l.lineage_id, 1, g + 1, 32, false, sha256(g::text::bytea),"
          " sha256(g::text::bytea), sha256(g::text::bytea),"
          " overlay(s.raw placing convert_to(p.rc1 || p.rc2, 'LATIN1') from 29 for 10), 'x', 'y', p.rc1, p.rc2,"
          " '7.12.2026', p.rc1 || p.rc2, date '2026-12-07' - g % 1000 FROM "
        + range + " JOIN lineage l ON l.office_id = 1 + g % 2 JOIN src s ON s.n = g % " + std::to_string(kSourceTests)
        + " CROSS JOIN LATERAL (SELECT lpad(((g / 2) % 250000 / 10000)::text, 6, '0') AS rc1,"
          " lpad(((g / 2) % 10000)::text, 4, '0') AS rc2) p");
    // As a collection is between passes: vacuumed (the autovacuum would otherwise do it during the runs)
    // and its visibility known, so that the first export does not write hint bits for the rest.
    for (const char* table : {"tests", "versions", "current_versions", "trials"}) {
        db.run(std::string("VACUUM ANALYZE tivora.") + table);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int total = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const std::string dir = scratch();
    TestServer::Options options;
    options.fsync = true;
    TestServer server(options);
    const std::string database = server.createDatabase();
    server.addOffice(database, "Brno", "sync_brno");
    server.addOffice(database, "Plzeň", "sync_plzen");
    auto admin = server.connect(database);
    admin->run("CREATE ROLE report_reader LOGIN IN ROLE tivora_report");
    fs::create_directories(dir + "brno");
    if (runMeasured({REPORT_FIXTURE, "large", dir + "brno/tivora4.DBF", std::to_string(kSourceTests)}).status != 0) {
        std::cerr << "no table\n";
        return 1;
    }
    {
        collection::CollectorSettings settings;
        settings.connection.conninfo = server.conninfo(database, "sync_brno");
        settings.office = "Brno";
        settings.folders = {{"Stanice 1", dir + "brno/"}};
        settings.host = "bench";
        collection::Collector collector(settings, [](const std::string& line) { std::cerr << line << "\n"; });
        collector.collectOnce();
    }
    // Plzeň's lineage, so that copies can be Plzeň's.
    admin->run("INSERT INTO tivora.lineages (office_id, first_path) SELECT office_id, 'plzen' FROM tivora.offices "
               "WHERE name = 'Plzeň'");
    const auto filling = Clock::now();
    multiply(*admin, total);
    std::cout << "filled " << total << " tests in " << std::chrono::duration<double>(Clock::now() - filling).count()
              << " s\n";
    repeatTable(dir + "brno/tivora4.DBF", dir + "table.DBF", static_cast<std::uint32_t>(total));
    const std::string conninfo = server.conninfo(database, "report_reader");
    if (std::getenv("TIVORA_BENCH_PAUSE")) { // to look at the filled database by hand
        std::cout << "database: " << conninfo << "; table: " << dir << "table.DBF; Enter to go on" << std::endl;
        std::string line;
        std::getline(std::cin, line);
    }

    std::vector<double> tableRates, databaseRates, ratios, tableKb, databaseKb, smallKb;
    for (int run = 0; run < kRuns; ++run) {
        const Run table = runMeasured({TIVORA_REPORT, "export", dir + "table.DBF", "--format", "csv", "--output", "-"});
        const Run db
            = runMeasured({TIVORA_REPORT, "export", "--database", conninfo, "--format", "csv", "--output", "-"});
        const Run small = runMeasured({TIVORA_REPORT, "export", "--database", conninfo, "--office", "Brno", "--from",
                                       "2026-05-22", "--format", "csv", "--output", "-"});
        if (table.status != 0 || db.status != 0 || small.status != 0) {
            std::cerr << "an export failed\n";
            return 1;
        }
        tableRates.push_back(total / table.seconds);
        databaseRates.push_back(total / db.seconds);
        ratios.push_back(table.seconds / db.seconds);
        tableKb.push_back(static_cast<double>(table.peakKb));
        databaseKb.push_back(static_cast<double>(db.peakKb));
        smallKb.push_back(static_cast<double>(small.peakKb));
        std::cout << "run " << run + 1 << ": table " << tableRates.back() << " rows/s (" << table.peakKb
                  << " kB), database " << databaseRates.back() << " rows/s (" << db.peakKb
                  << " kB), database (a tenth) " << small.peakKb << " kB\n";
    }
    const auto tenth = admin->exec("SELECT count(*) FROM tivora.current_tests WHERE office = 'Brno' AND test_date >= "
                                   "'2026-05-22'");
    std::cout << "export of " << total << " tests, CSV: table " << median(tableRates) << " rows/s, database "
              << median(databaseRates) << " rows/s, database/table " << median(ratios) << "\n";
    std::cout << "peak memory: table " << median(tableKb) << " kB, database " << median(databaseKb)
              << " kB; database with " << tenth.text(0, 0) << " tests " << median(smallKb) << " kB\n";

    // One protocol: the data and its history, on an open connection.
    int qtArgc = 1;
    char name[] = "report_central_bench";
    char* qtArgv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(qtArgc, qtArgv);
    report::database::DatabaseSource source(conninfo);
    const std::uint64_t last
        = static_cast<std::uint64_t>(admin->exec("SELECT max(test_id) FROM tivora.tests").integer(0, 0));
    std::vector<double> protocolMs;
    std::size_t points = 0;
    for (int i = 0; i < 20; ++i) {
        const std::uint64_t id = last - static_cast<std::uint64_t>(i) * 37;
        const auto start = Clock::now();
        const report::gui::ProtocolContent content = report::gui::loadProtocol(source, id, {});
        protocolMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        points = content.history.size();
    }
    std::vector<double> commandMs;
    for (int i = 0; i < 5; ++i) {
        const Run command = runMeasured({TIVORA_REPORT, "protocol", "--database", conninfo, "--test",
                                         std::to_string(last), "--output", dir + "p.pdf"});
        commandMs.push_back(command.seconds * 1000.0);
    }
    std::cout << "protocol of one test of " << total << " with its history (" << points << " points): data "
              << median(protocolMs) << " ms; the whole command with its PDF " << median(commandMs) << " ms\n";
    fs::remove_all(dir);
    return 0;
}
