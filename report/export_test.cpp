#include "report/export.h"
#include "report/report_error.h"
#include "report/source_export.h"
#include "report/table_source.h"
#include "report/test_support.h"
#include "results/change_journal.h"
#include "results/station_identity.h"
#include "storage/test_support.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

namespace report {
namespace {

using storage::testing::readAll;

// A sink that keeps the cells as text, to look at the columns.
class RecordingSink final : public TableSink
{
public:
    void text(std::string_view value) override { m_row.push_back("t:" + std::string(value)); }
    void integer(std::int64_t value) override { m_row.push_back("i:" + std::to_string(value)); }
    void number(double value) override { m_row.push_back("n:" + shortestNumber(value)); }
    void empty() override { m_row.push_back(""); }
    void endRow() override
    {
        rows.push_back(m_row);
        m_row.clear();
    }
    void finish() override { }

    std::vector<std::vector<std::string>> rows;

private:
    std::vector<std::string> m_row;
};

class ExportTest : public ::testing::Test
{
protected:
    std::string table(const std::vector<results::ResultRecord>& records)
    {
        const std::string path = m_dir.path("tivora4.DBF");
        testing::appendRecords(path, records);
        return path;
    }

    static results::ResultRecord person(const char* surname, const std::string& list)
    {
        return testing::rawRecord({surname, "Jana", "905512", "1234", " 7.12.2026"}, {{2, 305.0, 1, list, ""}});
    }

    storage::testing::TempDir m_dir;
};

TEST_F(ExportTest, TestRowHasTheFieldsThenTheStatisticsOfEachBlock)
{
    RecordingSink sink;
    writeTestHeader(sink);
    StoredTest test;
    test.identity.record = 4;
    test.values[0] = std::string("Nováková");
    test.values[5] = std::int64_t {2};
    test.values[9] = 305.0;
    test.series[0] = {2, 305.0, 1, "300|310|", ""};
    writeTestRow(sink, test, analyse(test, {}));
    ASSERT_EQ(sink.rows.size(), 2U);
    const auto& header = sink.rows[0];
    const auto& row = sink.rows[1];
    ASSERT_EQ(header.size(), row.size());
    const auto cell = [&](const std::string& name) {
        const auto at = std::find(header.begin(), header.end(), "t:" + name);
        return at == header.end() ? std::string("missing") : row[static_cast<std::size_t>(at - header.begin())];
    };
    EXPECT_EQ(header.size(), 1U + 25U + 5U * 12U + 4U + 2U + 2U);
    EXPECT_EQ(cell("row"), "i:4");
    EXPECT_EQ(cell("PRIJM"), "t:Nováková");
    EXPECT_EQ(cell("POC_1SER"), "i:2");
    EXPECT_EQ(cell("PRUMER1"), "n:305");
    EXPECT_EQ(cell("JMENO"), "");
    EXPECT_EQ(cell("s1_n"), "i:2");
    EXPECT_EQ(cell("s1_sd"), "n:" + shortestNumber(std::sqrt(50.0)));
    EXPECT_EQ(cell("s1_premature"), "i:1");
    EXPECT_EQ(cell("s1_mean_check"), "t:matches");
    EXPECT_EQ(cell("s2_n"), "i:0");
    EXPECT_EQ(cell("s2_mean"), "");
    EXPECT_EQ(cell("all_p90"), "n:309");
    EXPECT_EQ(cell("timing_record"), "i:0");
    EXPECT_EQ(cell("issues"), "t:");
    EXPECT_EQ(cell("changes"), "") << "without a journal nothing is known";
    EXPECT_EQ(cell("last_change"), "");
    EXPECT_EQ(header.back(), "t:last_change");
}

// With a journal beside the table each test has the number of its changes after storing and the last one,
// the same whether the table's rows are exported by record or through its source; the journal itself is
// never written over by an export.
TEST_F(ExportTest, ChangesComeFromTheJournalBesideTheTable)
{
    const std::string path = table({person("A", "1|"), person("B", "2|")});
    results::recordTableChange(path, {audit::Action::RowStored, 2, {}});
    results::recordTableChange(path, {audit::Action::FieldEdited, 2, {{"PRIJM", "B", "Bé"}, {"JMENO", "Jana", "J"}}});
    ResultsReader reader(path);
    std::ostringstream warnings;
    TableSource source(path, warnings);
    for (const ExportFormat format : {ExportFormat::Csv, ExportFormat::Trials}) {
        ExportOptions options;
        options.format = format;
        exportTests(reader, nullptr, m_dir.path("out.csv"), options);
        const std::string csv = readAll(m_dir.path("out.csv"));
        EXPECT_NE(csv.find(",changes,last_change\r\n"), std::string::npos);
        EXPECT_NE(csv.find(",0,\r\n"), std::string::npos) << "row 1: no change known";
        const std::size_t row2 = csv.find("\r\n2,");
        ASSERT_NE(row2, std::string::npos);
        const std::string line = csv.substr(row2 + 2, csv.find("\r\n", row2 + 2) - row2 - 2);
        const std::string last = line.substr(line.rfind(",2,") + 3);
        EXPECT_EQ(last.size(), 25U + 1U + results::stationName().size() + 1U + results::operatingSystemUser().size())
            << line;
        exportFrom(source, {}, m_dir.path("sourced.csv"), options);
        EXPECT_EQ(readAll(m_dir.path("sourced.csv")), csv) << "both ways of exporting a table write the same";
    }
    EXPECT_THROW(exportTests(reader, nullptr, audit::journalPath(path), {}), ReportError);
    EXPECT_THROW(exportFrom(source, {}, audit::journalPath(path), {}), ReportError);
}

TEST_F(ExportTest, CsvIsRfc4180WithAByteOrderMark)
{
    const std::string path = table({person("Čárka, \"Uvoz\"", "300|310|")});
    ResultsReader reader(path);
    ExportOptions options;
    const ExportSummary summary = exportTests(reader, nullptr, m_dir.path("out.csv"), options);
    EXPECT_EQ(summary.tests, 1U);
    const std::string csv = readAll(m_dir.path("out.csv"));
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBFrow,PRIJM,JMENO,", 0), 0U);
    EXPECT_NE(csv.find("\r\n1,\"Čárka, \"\"Uvoz\"\"\",Jana,905512,1234, 7.12.2026,2,0,0,0,305,0,0,0,1,"),
              std::string::npos);
    EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 2);
}

TEST_F(ExportTest, DelimiterAndDecimalCommaForOtherLocales)
{
    const std::string path = table({person("Nováková", "300|305|")});
    ResultsReader reader(path);
    ExportOptions options;
    options.csv = {';', true};
    exportTests(reader, nullptr, m_dir.path("out.csv"), options);
    const std::string csv = readAll(m_dir.path("out.csv"));
    EXPECT_NE(
        csv.find("1;Nováková;Jana;905512;1234; 7.12.2026;2;0;0;0;305;0;0;0;1;0;0;0;300|305|;;;;;;;;2;302,5;302,5;"),
        std::string::npos);
}

// Text goes out as stored, without only the padding behind it; the identity the history searches by drops
// blanks on both sides.
TEST_F(ExportTest, TextIsExportedAsStoredWithoutItsPadding)
{
    const std::string path = table(
        {testing::rawRecord({"  Nováková", "Jana", "905512", "  12", " 7.12.2026"}, {{2, 305.0, 1, "300|310|", ""}})});
    ResultsReader reader(path);
    exportTests(reader, nullptr, m_dir.path("out.csv"), {});
    EXPECT_NE(readAll(m_dir.path("out.csv")).find("\r\n1,  Nováková,Jana,905512,  12, 7.12.2026,2,"),
              std::string::npos);
    const std::optional<StoredTest> test = reader.read(1);
    ASSERT_TRUE(test);
    EXPECT_EQ(test->identity.surname, "Nováková");
    EXPECT_EQ(test->identity.birthNumber2, "12");
    EXPECT_EQ(test->identity.birthNumberKey(), "90551212");
    EXPECT_EQ(test->series[0].listA, "300|310|");
}

TEST_F(ExportTest, TrialsAreOneLinePerTrialOfReadableSeries)
{
    const std::string path
        = table({person("A", "300|310|"),
                 testing::rawRecord({"B", "", "", "", ""}, {{1, 1.0, 0, "1x|", ""}, {1, 9.0, 0, "9|", ""}})});
    ResultsReader reader(path);
    ExportOptions options;
    options.format = ExportFormat::Trials;
    const ExportSummary summary = exportTests(reader, nullptr, m_dir.path("trials.csv"), options);
    EXPECT_EQ(summary.trials, 3U);
    EXPECT_EQ(summary.rowsWithErrors, 1U);
    ASSERT_EQ(summary.problems.size(), 1U);
    EXPECT_EQ(summary.problems[0], "row 2: error: SER1A: character 2 ('x') is neither a digit nor '|'");
    EXPECT_EQ(readAll(m_dir.path("trials.csv")),
              "\xEF\xBB\xBFrow,series,trial,rt_ms,rt_us,line,foreperiod_programmed_ms,foreperiod_measured_us,premature,"
              "input,response_stamp,onset_stamp,test_time,changes,last_change\r\n"
              "1,1,1,300,,,,,,,,,,,\r\n1,1,2,310,,,,,,,,,,,\r\n2,2,1,9,,,,,,,,,,,\r\n");
}

TEST_F(ExportTest, ChosenRecordsInTheirOrderDeletedOnesLeftOut)
{
    const std::string path = table({person("A", "1|"), person("B", "2|"), person("C", "3|")});
    testing::deleteRecord(path, 2);
    ResultsReader reader(path);
    ExportOptions options;
    options.format = ExportFormat::Trials;
    const std::vector<std::uint32_t> records {3, 2};
    exportTests(reader, nullptr, m_dir.path("some.csv"), options, &records);
    const std::string csv = readAll(m_dir.path("some.csv"));
    EXPECT_NE(csv.find("\r\n3,1,1,3,"), std::string::npos);
    EXPECT_EQ(csv.find("\r\n2,"), std::string::npos);
}

TEST_F(ExportTest, FailedExportLeavesNoFileAndKeepsAnOldOne)
{
    const std::string path = table({person("A", "1|")});
    ResultsReader reader(path);
    EXPECT_THROW(exportTests(reader, nullptr, m_dir.path("missing/out.csv"), {}), ReportError);
    storage::testing::writeAll(m_dir.path("old.xlsx"), "old");
    {
        auto sink = makeXlsxSink(m_dir.path("old.xlsx"), "tests");
        sink->text("unfinished");
        // Destroyed without finish(): the export failed half-way.
    }
    EXPECT_EQ(readAll(m_dir.path("old.xlsx")), "old");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_dir.dir())) {
        ++files;
    }
    EXPECT_EQ(files, 2U); // the table and the old file: no temporary file is left behind
}

TEST_F(ExportTest, ExportReplacesAnOlderFileInAFolderWithCzechLetters)
{
    const std::string path = table({person("A", "1|")});
    ResultsReader reader(path);
    const std::string folder = m_dir.path("Výsledky Řehoř");
    std::filesystem::create_directory(std::filesystem::u8path(folder));
    for (const ExportFormat format : {ExportFormat::Csv, ExportFormat::Xlsx}) {
        const std::string out = folder + (format == ExportFormat::Xlsx ? "/výstup.xlsx" : "/výstup.csv");
        storage::testing::writeAll(out, "old");
        ExportOptions options;
        options.format = format;
        exportTests(reader, nullptr, out, options);
        EXPECT_EQ(readAll(out).substr(0, 2), format == ExportFormat::Xlsx ? "PK" : "\xEF\xBB");
    }
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(std::filesystem::u8path(folder))) {
        ++files;
    }
    EXPECT_EQ(files, 2U);
}

TEST_F(ExportTest, XlsxIsAZipWorkbook)
{
    const std::string path = table({person("A", "300|310|")});
    ResultsReader reader(path);
    ExportOptions options;
    options.format = ExportFormat::Xlsx;
    exportTests(reader, nullptr, m_dir.path("out.xlsx"), options);
    EXPECT_EQ(readAll(m_dir.path("out.xlsx")).substr(0, 2), "PK");
}

// Text cells a spreadsheet would run as a formula, as the CSV writes them by default and raw.
TEST(CsvFormulaTest, TextThatStartsAFormulaIsDefusedNumbersNever)
{
    storage::testing::TempDir dir;
    struct Case
    {
        std::string text;
        std::string defused; // as the cell stands in the file
    };
    const std::vector<Case> cases = {
        {"=HYPERLINK(\"http://x\";\"y\")", "\"'=HYPERLINK(\"\"http://x\"\";\"\"y\"\")\""},
        {"=WEBSERVICE(A1)", "'=WEBSERVICE(A1)"},
        {"+420 123", "'+420 123"},
        {"-Novák", "'-Novák"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tcmd", "'\tcmd"},
        {"\r=1", "\"'\r=1\""},
        {"a=b", "a=b"},
        {"Nováková", "Nováková"},
        {"", ""},
    };
    for (const bool raw : {false, true}) {
        const std::string path = dir.path(raw ? "raw.csv" : "defused.csv");
        auto sink = makeCsvSink(path, {';', true, raw});
        for (const Case& cell : cases) {
            sink->text(cell.text);
        }
        sink->integer(-5);
        sink->number(-2.5);
        sink->endRow();
        sink->finish();
        std::string expected = "\xEF\xBB\xBF";
        for (const Case& cell : cases) {
            const bool quoted = cell.text.find_first_of(";\"\r") != std::string::npos;
            expected += (raw ? (quoted ? cell.defused.substr(0, 1) + cell.defused.substr(2) : cell.text) : cell.defused)
                + ";";
        }
        EXPECT_EQ(readAll(path), expected + "-5;-2,5\r\n") << (raw ? "raw" : "defused");
    }
}

TEST(ShortestNumberTest, ReadsBackAsTheSameValue)
{
    EXPECT_EQ(shortestNumber(312.5), "312.5");
    EXPECT_EQ(shortestNumber(0.1), "0.1");
    EXPECT_EQ(shortestNumber(250000000.0), "250000000");
    EXPECT_EQ(shortestNumber(0.000015), "0.000015");
    EXPECT_EQ(std::stod(shortestNumber(1.0 / 3.0)), 1.0 / 3.0);
}

} // namespace
} // namespace report
