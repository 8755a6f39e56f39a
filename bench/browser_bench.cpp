// The results browser on a table of 100,000 rows: the time from opening the table to the grid showing
// its last page, and the time of one scroll step (a key in the grid, the window of rows read again and
// painted). Run with --benchmark_repetitions=10 --benchmark_report_aggregates_only=true for medians.
#include "results/results_table.h"
#include "storage/dataset.h"
#include "ui/browser/results_grid.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QWidget>

namespace {

constexpr std::uint32_t kRows = 100000;
constexpr std::size_t kHeaderLength = 833;
constexpr std::size_t kRecordLength = 2138;

// A scratch folder holding the big table, removed at exit.
struct Scratch
{
    std::string dir;
    Scratch()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tivora_browser_bench_XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        dir = pattern + "/";
        writeTable();
    }
    ~Scratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    // One row written by the program itself, then copied kRows times behind its header, with each
    // copy's surname numbered; the header's row count says kRows.
    void writeTable() const
    {
        storage::Dataset seed;
        seed.setDirectory(dir);
        results::configureResultsTable(seed);
        seed.open();
        seed.append();
        seed.setValue(0, std::string("Row"));
        seed.setValue(4, std::string(" 7.12.2026"));
        seed.setValue(5, std::int64_t {20});
        seed.setValue(9, 312.0);
        seed.setValue(17, std::string("312|298|305|301|287|"));
        seed.post();
        seed.close();
        std::string bytes;
        {
            std::ifstream in(seed.path(), std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        const std::string header = bytes.substr(0, kHeaderLength);
        std::string record = bytes.substr(kHeaderLength, kRecordLength);
        std::ofstream out(seed.path(), std::ios::binary | std::ios::trunc);
        std::string counted = header;
        for (int i = 0; i < 4; ++i) {
            counted[4 + static_cast<std::size_t>(i)] = static_cast<char>((kRows >> (8 * i)) & 0xFF);
        }
        out << counted;
        for (std::uint32_t n = 1; n <= kRows; ++n) {
            const std::string name = "Row" + std::to_string(n);
            record.replace(1, 15, name + std::string(15 - name.size(), ' '));
            out << record;
        }
        out << '\x1a';
    }
};

Scratch& scratch()
{
    static Scratch instance;
    return instance;
}

// The grid as it sits on the data window, over `table`.
struct Screen
{
    explicit Screen(storage::Dataset& table)
        : grid(new ui::ResultsGrid(table, &window))
    {
        window.resize(536, 353);
        grid->setGeometry(16, 160, 505, 153);
        window.show();
        QApplication::processEvents();
    }
    // Paints the grid now, as the screen would show it.
    void paint() const
    {
        grid->viewport()->repaint();
        grid->verticalHeader()->viewport()->repaint();
    }
    void key(int key) const
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(grid, &press);
    }

    QWidget window;
    ui::ResultsGrid* grid;
};

storage::Dataset& bigTable()
{
    static storage::Dataset table;
    static const bool configured = [] {
        table.setDirectory(scratch().dir);
        results::configureResultsTable(table);
        return true;
    }();
    static_cast<void>(configured);
    return table;
}

void BM_OpenAndShowLastPage(benchmark::State& state)
{
    storage::Dataset& table = bigTable();
    Screen screen(table);
    for (auto _ : state) {
        table.open();
        table.last();
        screen.paint();
        state.PauseTiming();
        if (screen.grid->resultsModel()->recordAt(screen.grid->resultsModel()->currentRow()) != kRows) {
            state.SkipWithError("the last page is not shown");
        }
        table.close();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenAndShowLastPage)->Unit(benchmark::kMillisecond);

// Down moves one row; at the bottom of the window the rows scroll by one.
void BM_ScrollStepDown(benchmark::State& state)
{
    storage::Dataset& table = bigTable();
    Screen screen(table);
    table.open();
    table.moveBy(50000);
    for (auto _ : state) {
        screen.key(Qt::Key_Down);
        screen.paint();
    }
    table.close();
}
BENCHMARK(BM_ScrollStepDown)->Unit(benchmark::kMicrosecond);

// Page Down moves by the rows of the window: every row of the window is new.
void BM_ScrollPageDown(benchmark::State& state)
{
    storage::Dataset& table = bigTable();
    Screen screen(table);
    table.open();
    table.moveBy(20000);
    for (auto _ : state) {
        screen.key(Qt::Key_PageDown);
        screen.paint();
        if (table.eof()) {
            state.PauseTiming();
            table.moveBy(20000 - static_cast<int>(kRows));
            state.ResumeTiming();
        }
    }
    table.close();
}
BENCHMARK(BM_ScrollPageDown)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    scratch();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
