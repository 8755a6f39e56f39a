// The report program on a results table of 100,000 tests (the sample test's program with varied reaction
// times, made by the storage layer as the program stores them): export to CSV, to XLSX and per trial,
// and one protocol. Baselines in the same run: reading and analysing every row without writing, and a
// PDF page with nothing on it. Run with --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// for medians; rows/s is the export rate in wall-clock time (the XLSX export compresses on a second thread).
#include "report/export.h"
#include "report/gui/protocol_output.h"
#include "report/test_support.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <random>

#include <QApplication>
#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>

namespace {

constexpr std::size_t kRows = 100000;

// A scratch folder holding the big table, removed at exit.
struct Scratch
{
    std::string dir;
    std::string table;
    Scratch()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tivora_report_bench_XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        dir = pattern + "/";
        table = dir + "tivora4.DBF";
        std::mt19937 random(11);
        std::lognormal_distribution<double> rt(std::log(300.0), 0.25);
        std::vector<results::ResultRecord> batch;
        for (std::size_t i = 0; i < kRows; ++i) {
            std::vector<std::uint32_t> times;
            for (int t = 0; t < 19; ++t) {
                times.push_back(static_cast<std::uint32_t>(rt(random)));
            }
            const results::Identity who {"Nováková" + std::to_string(i % 3000), "Jana",
                                         std::to_string(900000 + i % 3000), "1234", " 8.12.2026"};
            batch.push_back(report::testing::evaluatedRecord(report::testing::kSampleProgram, times, {}, who));
            if (batch.size() == 10000) {
                report::testing::appendRecords(table, batch);
                batch.clear();
            }
        }
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

void exportAs(benchmark::State& state, report::ExportFormat format, const char* name)
{
    report::ResultsReader reader(scratch().table);
    report::ExportOptions options;
    options.format = format;
    for (auto _ : state) {
        const auto summary = report::exportTests(reader, nullptr, scratch().dir + name, options);
        benchmark::DoNotOptimize(summary.tests);
    }
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows) * static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}

void BM_ReadAndAnalyseBaseline(benchmark::State& state)
{
    report::ResultsReader reader(scratch().table);
    for (auto _ : state) {
        std::size_t trials = 0;
        reader.forEach([&](const report::StoredTest& test) { trials += report::analyse(test, {}).all.n; });
        benchmark::DoNotOptimize(trials);
    }
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows) * static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}

void BM_ExportCsv(benchmark::State& state)
{
    exportAs(state, report::ExportFormat::Csv, "out.csv");
}

void BM_ExportXlsx(benchmark::State& state)
{
    exportAs(state, report::ExportFormat::Xlsx, "out.xlsx");
}

void BM_ExportTrials(benchmark::State& state)
{
    exportAs(state, report::ExportFormat::Trials, "trials.csv");
}

// An empty page through the same PDF writer: the fixed cost of any protocol.
void BM_EmptyPdfPageBaseline(benchmark::State& state)
{
    for (auto _ : state) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(1200);
        QPainter painter(&writer);
        painter.end();
        benchmark::DoNotOptimize(buffer.size());
    }
}

// One protocol as the command makes it: the row read and analysed, the person's earlier tests found
// among the 100,000 rows, the page drawn and the PDF written.
void BM_ProtocolCommand(benchmark::State& state)
{
    report::Command command;
    command.kind = report::CommandKind::Protocol;
    command.table = scratch().table;
    command.row = static_cast<std::uint32_t>(kRows);
    command.output = scratch().dir + "protocol.pdf";
    std::ostringstream err;
    for (auto _ : state) {
        benchmark::DoNotOptimize(report::gui::runProtocol(command, err));
    }
}

// Drawing and writing the page alone, for a test that is already read (as the window does it).
void BM_ProtocolPage(benchmark::State& state)
{
    report::ResultsReader reader(scratch().table);
    const auto content = report::gui::loadProtocol(reader, nullptr, static_cast<std::uint32_t>(kRows), nullptr, {});
    for (auto _ : state) {
        report::gui::writeProtocolPdf(QString::fromStdString(scratch().dir + "page.pdf"), content);
    }
}

BENCHMARK(BM_ReadAndAnalyseBaseline)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ExportXlsx)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ExportTrials)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_EmptyPdfPageBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProtocolPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProtocolCommand)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    scratch();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
