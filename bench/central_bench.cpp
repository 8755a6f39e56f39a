// The collector against a real PostgreSQL 15 on this machine, fsync on, everything on its two cores:
//  - throughput: 20 collectors (tivora-sync, one office each) each watching a folder where a station tool
//    stores finished tests as fast as it can; tests with their 33 trial lines per second into the
//    database. Baseline in the same run: pgbench with 20 clients, each transaction one 2 KB row and 30
//    trial rows.
//  - lag: one station storing a test every 200 ms; from each store's end to the test visible in the
//    database.
//  - import: an archive of 100,000 tests brought in by tivora-sync import. Baseline: reading and decoding
//    the same table through the collector's reader alone.
// Medians of three runs; prints one line per figure.
#include "central/test_server.h"
#include "sync/table_source.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <thread>

namespace {

namespace fs = std::filesystem;
using central::testing::Process;
using central::testing::TestServer;
using Clock = std::chrono::steady_clock;

constexpr int kCollectors = 20;
constexpr int kTestsEach = 150;
constexpr int kRuns = 3;

double seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string scratch()
{
    std::string pattern = (fs::temp_directory_path() / "tivora_central_bench_XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("no scratch folder");
    }
    return pattern + "/";
}

double pgbench(TestServer& server, const std::string& dir)
{
    const std::string database = server.createDatabase(false);
    server.connect(database)->run("CREATE TABLE b_tests (id bigserial PRIMARY KEY, payload text NOT NULL);"
                                  "CREATE TABLE b_trials (test_id bigint NOT NULL, line int NOT NULL, rt_us bigint,"
                                  " rt_ms bigint, PRIMARY KEY (test_id, line))");
    std::ofstream(dir + "shape.sql")
        << "BEGIN;\n"
           "INSERT INTO b_tests (payload) VALUES (repeat('x', 2138)) RETURNING id \\gset\n"
           "INSERT INTO b_trials SELECT :id, g, 300000 + g, 300 FROM generate_series(1, 30) g;\n"
           "END;\n";
    std::string output;
    central::testing::runCommand({"/usr/lib/postgresql/15/bin/pgbench", "-n", "-c", "20", "-j", "2", "-T", "10", "-f",
                                  dir + "shape.sql", "-h", "127.0.0.1", "-p", std::to_string(server.port()), "-U",
                                  "postgres", database},
                                 &output);
    const std::size_t at = output.find("tps = ");
    return at == std::string::npos ? 0.0 : std::stod(output.substr(at + 6));
}

std::int64_t collected(central::Connection& db)
{
    return db.exec("SELECT count(*) FROM tivora.tests").integer(0, 0);
}

// One run of 20 stations and 20 collectors; returns tests per second into the database, with trials.
double throughput(TestServer& server, const std::string& dir, double& storeRate)
{
    const std::string database = server.createDatabase();
    std::vector<std::unique_ptr<Process>> processes;
    for (int i = 0; i < kCollectors; ++i) {
        const std::string role = "bench_office_" + std::to_string(i);
        server.addOffice(database, "Office " + std::to_string(i), role);
        const std::string folder = dir + "run_" + database + "_" + std::to_string(i) + "/";
        fs::create_directories(folder);
        std::ofstream(folder + "sync.conf") << "connection = " << server.conninfo(database, role)
                                            << "\noffice = Office " << i << "\n[Station]\nfolder = " << folder << "\n";
        processes.push_back(std::make_unique<Process>(
            std::vector<std::string> {TIVORA_SYNC, "--config", folder + "sync.conf"}, folder + "sync.log"));
    }
    auto db = server.connect(database);
    const auto start = Clock::now();
    std::vector<std::unique_ptr<Process>> stations;
    for (int i = 0; i < kCollectors; ++i) {
        const std::string folder = dir + "run_" + database + "_" + std::to_string(i) + "/";
        stations.push_back(std::make_unique<Process>(
            std::vector<std::string> {STATION_FEED, folder, std::to_string(i), "1", std::to_string(kTestsEach)},
            folder + "station.log"));
    }
    for (auto& station : stations) {
        station->wait();
    }
    storeRate = kCollectors * kTestsEach / seconds(Clock::now() - start);
    const std::int64_t total = kCollectors * kTestsEach;
    while (db->exec("SELECT count(*) FROM tivora.trials").integer(0, 0) < total * 33) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double rate = static_cast<double>(total) / seconds(Clock::now() - start);
    if (collected(*db) != total) {
        std::cerr << "wrong count of tests: " << collected(*db) << "\n";
    }
    for (auto& process : processes) {
        process->kill(SIGTERM);
    }
    return rate;
}

// Lag of 100 tests stored one every 200 ms; returns p50 and p95 in seconds.
std::pair<double, double> lag(TestServer& server, const std::string& dir)
{
    const std::string database = server.createDatabase();
    server.addOffice(database, "Lag", "bench_lag");
    const std::string folder = dir + "lag/";
    fs::create_directories(folder);
    std::ofstream(folder + "sync.conf") << "connection = " << server.conninfo(database, "bench_lag")
                                        << "\noffice = Lag\n[Station]\nfolder = " << folder << "\n";
    Process collector({TIVORA_SYNC, "--config", folder + "sync.conf"}, folder + "sync.log");
    auto db = server.connect(database);
    constexpr int kTests = 100;
    std::vector<Clock::time_point> stored(kTests + 1), visible(kTests + 1);
    std::thread station([&] {
        for (int sequence = 1; sequence <= kTests; ++sequence) {
            central::testing::runCommand({STATION_FEED, folder, "1", std::to_string(sequence), "1"});
            stored[static_cast<std::size_t>(sequence)] = Clock::now();
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
    for (std::int64_t seen = 0; seen < kTests;) {
        const std::int64_t now = collected(*db);
        for (std::int64_t i = seen + 1; i <= now; ++i) {
            visible[static_cast<std::size_t>(i)] = Clock::now();
        }
        seen = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    station.join();
    std::vector<double> lags;
    for (int i = 1; i <= kTests; ++i) {
        lags.push_back(seconds(visible[static_cast<std::size_t>(i)] - stored[static_cast<std::size_t>(i)]));
    }
    std::sort(lags.begin(), lags.end());
    return {lags[lags.size() / 2], lags[lags.size() * 95 / 100]};
}

double importRate(TestServer& server, const std::string& archive, int rows, const std::string& program = TIVORA_SYNC)
{
    // The program that imports makes the schema, as an office's administrator would: another build may
    // know other migrations.
    const std::string database = server.createDatabase(false);
    std::string output;
    if (central::testing::runCommand({program, "--connection", server.conninfo(database), "migrate"}, &output) != 0) {
        throw std::runtime_error(program + " migrate: " + output);
    }
    server.addOffice(database, "Archive", "bench_archive");
    const std::string config = archive + "sync.conf";
    std::ofstream(config) << "connection = " << server.conninfo(database, "bench_archive") << "\noffice = Archive\n";
    const auto start = Clock::now();
    if (central::testing::runCommand({program, "--config", config, "import", archive}, &output) != 0) {
        throw std::runtime_error(program + " import: " + output);
    }
    return rows / seconds(Clock::now() - start);
}

double readRate(const std::string& table, int rows)
{
    const auto start = Clock::now();
    collection::TableSource source(table);
    const std::uint32_t count = source.refresh();
    std::size_t issues = 0;
    for (std::uint32_t record = 1; record <= count; ++record) {
        issues += source.decode(source.read(record)).issues.size();
    }
    const double rate = rows / seconds(Clock::now() - start);
    return issues == static_cast<std::size_t>(-1) ? 0 : rate;
}

} // namespace

// central_bench [import] [OTHER]: with "import", only the import and its baseline; with OTHER (another
// build of the collector program), every run also imports with it, to compare the two in the same run.
int main(int argc, char** argv)
{
    const bool importOnly = argc > 1 && std::string(argv[1]) == "import";
    const int otherArg = importOnly ? 2 : 1;
    const std::string other = argc > otherArg ? argv[otherArg] : "";
    TestServer::Options options;
    options.fsync = true;
    options.maxConnections = 100;
    TestServer server(options);
    const std::string dir = scratch();
    std::vector<double> baseline, rates, stores;
    for (int run = 0; run < kRuns && !importOnly; ++run) {
        baseline.push_back(pgbench(server, dir));
        double store = 0;
        rates.push_back(throughput(server, dir, store));
        stores.push_back(store);
        std::cout << "run " << run + 1 << ": pgbench " << baseline.back() << " tps, collected " << rates.back()
                  << " tests/s, stored " << store << " tests/s" << std::endl;
    }
    if (!importOnly) {
        std::printf("20 collectors: %.0f tests/s with trials (median of %d); pgbench same shape %.0f tps; ratio %.2f; "
                    "stations stored %.0f tests/s\n",
                    median(rates), kRuns, median(baseline), median(rates) / median(baseline), median(stores));
        const auto [p50, p95] = lag(server, dir);
        std::printf("lag stored -> visible: p50 %.2f s, p95 %.2f s\n", p50, p95);
    }

    constexpr int kArchive = 100000;
    const std::string archive = dir + "archive/";
    fs::create_directories(archive);
    central::testing::runCommand({REPORT_FIXTURE, "large", archive + "tivora4.DBF", std::to_string(kArchive)});
    std::vector<double> reads, imports, others;
    for (int run = 0; run < kRuns; ++run) {
        reads.push_back(readRate(archive + "tivora4.DBF", kArchive));
        imports.push_back(importRate(server, archive, kArchive));
        std::cout << "run " << run + 1 << ": read " << reads.back() << " rows/s, import " << imports.back()
                  << " rows/s";
        if (!other.empty()) {
            others.push_back(importRate(server, archive, kArchive, other));
            std::cout << ", import with " << other << " " << others.back() << " rows/s";
        }
        std::cout << std::endl;
    }
    std::printf("import of %d rows: %.0f rows/s (median of %d); reading alone %.0f rows/s; ratio %.2f\n", kArchive,
                median(imports), kRuns, median(reads), median(imports) / median(reads));
    if (!other.empty()) {
        std::printf("import with %s: %.0f rows/s (median of %d); ratio of this build's to it %.2f\n", other.c_str(),
                    median(others), kRuns, median(imports) / median(others));
    }
    fs::remove_all(dir);
    return 0;
}
