// Storing one result and reading a whole table, the program's way and with shapelib's DBF functions
// on the same files. Run with --benchmark_repetitions=5 --benchmark_report_aggregates_only=true for
// medians.
#include "results/results_table.h"
#include "storage/dataset.h"
#include "text/cp852.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <shapefil.h>
#include <string>

namespace {

using namespace storage;
using namespace results;

// Scratch directory for the benchmark's tables, removed at exit.
struct Scratch
{
    std::string dir;
    Scratch()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tivora_bench_XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        dir = pattern + "/";
    }
    ~Scratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

Scratch& scratch()
{
    static Scratch instance;
    return instance;
}

ResultRecord sampleRecord()
{
    engine::MeasurementState state;
    state.seriesCount = {20, 20, 20, 20};
    state.seriesMean = {312.5, 298.25, 301.0, 287.75};
    state.prematureSum = {1, 0, 2, 0};
    for (std::size_t n = 0; n < 4; ++n) {
        for (int i = 0; i < 20; ++i) {
            state.seriesTextA[n] += std::to_string(280 + 3 * i) + "|";
        }
    }
    return makeResultRecord(state, {"Dvořák", "Jiří", " 12345", "6789", " 7.12.2026"});
}

// A results table of `rows` copies of the sample row, written directly for speed; `tag` keeps the
// copies of different benchmarks apart.
std::string tableWithRows(std::int64_t rows, const std::string& tag)
{
    static std::map<std::string, bool> made;
    const std::string directory = scratch().dir + tag + std::to_string(rows) + "/";
    const std::string path = directory + kResultsTableName;
    if (made[path]) {
        return directory;
    }
    std::filesystem::create_directories(directory);
    CreateTableFile(path, resultTableFields());
    {
        Dataset table("Table1");
        table.setDirectory(directory);
        ulo_do_DBF(table, sampleRecord());
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string record = bytes.substr(833, 2138);
    bytes.resize(833);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    for (std::int64_t i = 0; i < rows; ++i) {
        out.write(record.data(), static_cast<std::streamsize>(record.size()));
    }
    out.close();
    auto table = OpenTableFile(path, OpenMode::ReadWrite, IfMissing::Fail);
    CloseTableFile(table); // stores the row count and the end marker
    made[path] = true;
    return directory;
}

void storeOurs(benchmark::State& state, bool sync)
{
    const std::string directory = tableWithRows(state.range(0), sync ? "ours_sync_" : "ours_nosync_");
    Dataset table("Table1");
    table.setDirectory(directory);
    configureResultsTable(table);
    const ResultRecord record = sampleRecord();
    for (auto _ : state) {
        if (sync) {
            ulo_do_DBF(table, record);
        } else {
            // ulo_do_DBF's steps without the sync, to show what the durability costs.
            table.open();
            table.append();
            for (std::size_t i = 0; i < record.values.size(); ++i) {
                table.setValue(i, record.values[i]);
            }
            table.post();
            table.close();
        }
    }
}

void BM_StoreResult_Ours_Sync(benchmark::State& state)
{
    storeOurs(state, true);
}

void BM_StoreResult_Ours_NoSync(benchmark::State& state)
{
    storeOurs(state, false);
}

void BM_StoreResult_Shapelib(benchmark::State& state)
{
    const std::string path = tableWithRows(state.range(0), "shp_") + kResultsTableName;
    const ResultRecord record = sampleRecord();
    const auto& fields = resultTableFields();
    // shapelib writes bytes as given: hand it the code page 852 text the engine would store.
    std::vector<std::string> texts(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (const auto* text = std::get_if<std::string>(&record.values[i])) {
            texts[i] = text::encodeCp852(*text, static_cast<std::size_t>(fields[i].width));
        }
    }
    for (auto _ : state) {
        DBFHandle dbf = DBFOpen(path.c_str(), "rb+");
        const int row = DBFGetRecordCount(dbf);
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const int field = static_cast<int>(i);
            const FieldValue& value = record.values[i];
            if (fields[i].type == 'C') {
                DBFWriteStringAttribute(dbf, row, field, texts[i].c_str());
            } else if (const auto* whole = std::get_if<std::int64_t>(&value)) {
                DBFWriteIntegerAttribute(dbf, row, field, static_cast<int>(*whole));
            } else {
                DBFWriteDoubleAttribute(dbf, row, field, std::get<double>(value));
            }
        }
        DBFClose(dbf);
    }
}

void BM_ReadAll_Ours(benchmark::State& state)
{
    const std::string directory = tableWithRows(state.range(0), "read_");
    Dataset table("Table1", kResultsTableName);
    table.setDirectory(directory);
    table.setReadOnly(true);
    table.open();
    std::int64_t rows = 0;
    for (auto _ : state) {
        rows = 0;
        for (table.first(); !table.eof(); table.next()) {
            benchmark::DoNotOptimize(table.values());
            ++rows;
        }
    }
    if (rows != state.range(0)) {
        state.SkipWithError("wrong row count");
    }
    state.SetItemsProcessed(state.iterations() * rows);
}

void BM_ReadAll_Shapelib(benchmark::State& state)
{
    const std::string path = tableWithRows(state.range(0), "read_") + kResultsTableName;
    DBFHandle dbf = DBFOpen(path.c_str(), "rb");
    const int fieldCount = DBFGetFieldCount(dbf);
    std::vector<DBFFieldType> types;
    for (int i = 0; i < fieldCount; ++i) {
        types.push_back(DBFGetFieldInfo(dbf, i, nullptr, nullptr, nullptr));
    }
    std::int64_t rows = 0;
    for (auto _ : state) {
        rows = 0;
        const int count = DBFGetRecordCount(dbf);
        for (int row = 0; row < count; ++row) {
            if (DBFIsRecordDeleted(dbf, row)) {
                continue;
            }
            for (int i = 0; i < fieldCount; ++i) {
                if (types[static_cast<std::size_t>(i)] == FTString) {
                    benchmark::DoNotOptimize(std::string(DBFReadStringAttribute(dbf, row, i)));
                } else if (types[static_cast<std::size_t>(i)] == FTInteger) {
                    benchmark::DoNotOptimize(DBFReadIntegerAttribute(dbf, row, i));
                } else {
                    benchmark::DoNotOptimize(DBFReadDoubleAttribute(dbf, row, i));
                }
            }
            ++rows;
        }
    }
    DBFClose(dbf);
    state.SetItemsProcessed(state.iterations() * rows);
}

} // namespace

BENCHMARK(BM_StoreResult_Ours_Sync)->Arg(10)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreResult_Ours_NoSync)->Arg(10)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreResult_Shapelib)->Arg(10)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadAll_Ours)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAll_Shapelib)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
