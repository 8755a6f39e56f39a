// Several test stations share one results table on a network drive and store results into it at the
// same time, while the results browser of another station keeps reading it. Afterwards the table holds
// every result exactly once, the header's count is right, and an independent reader reads it all.
#include "reliability/child_process.h"
#include "reliability/stored_rows.h"
#include "results/results_table.h"
#include "storage/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <unistd.h>

namespace reliability {
namespace {

constexpr int kStations = 5;
constexpr int kResultsEach = 300;
constexpr int kTotal = kStations * kResultsEach;

// The station and sequence number a row names, when its values are exactly that result's.
bool identify(const std::vector<storage::FieldValue>& values, std::pair<int, int>& who)
{
    const auto* surname = values.empty() ? nullptr : std::get_if<std::string>(&values[0]);
    const auto* sequence = values.size() < 2 ? nullptr : std::get_if<std::string>(&values[1]);
    if (!surname || !sequence || surname->rfind("Dvořák ", 0) != 0) {
        return false;
    }
    who = {std::atoi(surname->c_str() + surname->find(' ') + 1), std::atoi(sequence->c_str())};
    return values == valuesFor(who.first, who.second);
}

// Stores station `station`'s results; reports the header notices its opens showed.
int storeAsStation(const std::string& directory, int station, int fd)
{
    storage::Dataset table;
    configureStation(table, directory);
    int notices = 0;
    table.setNoticeHandler([&notices](const std::string&) { ++notices; });
    for (int sequence = 1; sequence <= kResultsEach; ++sequence) {
        results::ulo_do_DBF(table, resultFor(station, sequence));
    }
    report(fd, notices);
    return 0;
}

// The results browser of another station: reads the last rows again and again until it has seen every
// result or the stations are done. Reports the rows it checked and those that were not a whole result.
int browse(const std::string& directory, const Signal& done, int fd)
{
    const std::string path = directory + results::kResultsTableName;
    while (!std::filesystem::exists(path) && !done.fired(1)) { }
    storage::Dataset table;
    configureStation(table, directory);
    table.setReadOnly(true);
    table.open();
    int checked = 0;
    int broken = 0;
    for (bool last = false; !last;) {
        last = done.fired(0);
        table.refresh();
        table.last();
        for (const storage::VisibleRow& row : table.rowsAround(-20, 21)) {
            std::pair<int, int> who;
            ++checked;
            broken += identify(row.values, who) ? 0 : 1;
        }
        last = last || table.rowCount() == kTotal;
    }
    report(fd, checked);
    report(fd, broken);
    return 0;
}

TEST(StationsTest, EveryResultIsStoredExactlyOnce)
{
    storage::testing::TempDir dir;
    Signal start;
    Signal done;
    std::vector<std::unique_ptr<ChildProcess>> stations;
    for (int station = 1; station <= kStations; ++station) {
        stations.push_back(std::make_unique<ChildProcess>([&, station](int fd) {
            start.listen();
            done.listen();
            start.fired(-1);
            return storeAsStation(dir.dir(), station, fd);
        }));
    }
    ChildProcess browser([&](int fd) {
        start.listen();
        done.listen();
        start.fired(-1);
        return browse(dir.dir(), done, fd);
    });
    start.fire();
    int notices = 0;
    for (auto& station : stations) {
        EXPECT_EQ(station->wait(), 0);
        const auto reports = station->reports();
        notices += reports.empty() ? 0 : reports[0];
    }
    done.fire();
    ASSERT_EQ(browser.wait(), 0);
    const auto browsed = browser.reports();
    ASSERT_EQ(browsed.size(), 2U);
    EXPECT_EQ(browsed[1], 0) << "the browser saw a row that is not a whole result";

    const std::string path = dir.path(results::kResultsTableName);
    const ReadTable table = readTable(path);
    ASSERT_EQ(table.rows.size(), static_cast<std::size_t>(kTotal));
    EXPECT_TRUE(table.notices.empty());
    EXPECT_EQ(table.headerRowCount, static_cast<std::uint32_t>(kTotal));
    std::set<std::pair<int, int>> seen;
    std::map<int, int> lastSequence;
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        std::pair<int, int> who;
        ASSERT_TRUE(table.rows[i].flag == ' ' && identify(table.rows[i].values, who)) << "row " << i + 1;
        EXPECT_TRUE(seen.insert(who).second) << "row " << i + 1 << " is stored twice";
        EXPECT_GT(who.second, lastSequence[who.first]) << "a station's rows keep their order";
        lastSequence[who.first] = who.second;
    }
    const std::string bytes = wholeFile(path);
    EXPECT_EQ(bytes.size(), kHeaderLength + kRecordLength * kTotal + 1);
    EXPECT_EQ(bytes.back(), '\x1A');

    int status = 0;
    const auto lines = readWithDbfread(path, status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kTotal + 1));
    EXPECT_EQ(lines[0], "records " + std::to_string(kTotal));
    std::multiset<std::string> expected;
    for (int station = 1; station <= kStations; ++station) {
        for (int sequence = 1; sequence <= kResultsEach; ++sequence) {
            expected.insert(dbfreadLineFor(station, sequence));
        }
    }
    EXPECT_EQ(std::multiset<std::string>(lines.begin() + 1, lines.end()), expected);
    std::cout << "[ figures  ] " << kStations << " stations stored " << kTotal << " results at once; the browser "
              << "checked " << browsed[0] << " rows meanwhile; opens showed " << notices
              << " row-count notices of rows in flight" << std::endl;
}

} // namespace
} // namespace reliability
