#include "report/command_line.h"
#include "report/test_support.h"
#include "storage/test_support.h"

#include <gtest/gtest.h>
#include <sstream>

namespace report {
namespace {

ParsedCommandLine parse(std::vector<std::string> args)
{
    return parseCommandLine(args);
}

TEST(CommandLineTest, ExportWithItsOptions)
{
    const auto parsed
        = parse({"export", "t.DBF", "--format", "xlsx", "--output=out.xlsx", "--lapse", "600", "--anticipation=150"});
    ASSERT_TRUE(parsed.command) << parsed.error;
    const Command& command = *parsed.command;
    EXPECT_EQ(command.kind, CommandKind::Export);
    EXPECT_EQ(command.table, "t.DBF");
    EXPECT_EQ(command.output, "out.xlsx");
    EXPECT_EQ(command.exportOptions.format, ExportFormat::Xlsx);
    EXPECT_EQ(command.exportOptions.analysis.thresholds.lapseMs, 600.0);
    EXPECT_EQ(command.exportOptions.analysis.thresholds.anticipationMs, 150.0);
    const auto csv
        = parse({"export", "--delimiter", ";", "--decimal-comma", "t.DBF", "--format", "csv", "--output", "-"});
    ASSERT_TRUE(csv.command) << csv.error;
    EXPECT_EQ(csv.command->exportOptions.csv.delimiter, ';');
    EXPECT_TRUE(csv.command->exportOptions.csv.decimalComma);
    EXPECT_EQ(parse({"export", "t", "--format", "csv", "--output", "o", "--delimiter", "tab"})
                  .command->exportOptions.csv.delimiter,
              '\t');
}

TEST(CommandLineTest, ProtocolWindowHelpVersion)
{
    const auto protocol = parse({"protocol", "t.DBF", "--row", "12", "--output", "p.pdf"});
    ASSERT_TRUE(protocol.command);
    EXPECT_EQ(protocol.command->row, 12U);
    EXPECT_EQ(parse({}).command->kind, CommandKind::Window);
    EXPECT_EQ(parse({"t.DBF"}).command->table, "t.DBF");
    EXPECT_EQ(parse({"--help"}).command->kind, CommandKind::Help);
    EXPECT_EQ(parse({"export", "--help"}).command->kind, CommandKind::Help);
    EXPECT_EQ(parse({"protocol", "t.DBF", "-h"}).command->kind, CommandKind::Help);
    EXPECT_EQ(parse({"--version"}).command->kind, CommandKind::Version);
    EXPECT_NE(usageText().find("tivora-report export TABLE --format csv|xlsx|trials --output FILE"), std::string::npos);
}

struct WrongCommandLine
{
    std::vector<std::string> args;
    const char* error;
};

class WrongCommandLineTest : public ::testing::TestWithParam<WrongCommandLine>
{ };

TEST_P(WrongCommandLineTest, IsRejectedWithAReason)
{
    const auto parsed = parseCommandLine(GetParam().args);
    EXPECT_FALSE(parsed.command);
    EXPECT_EQ(parsed.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, WrongCommandLineTest,
    ::testing::Values(
        WrongCommandLine {{"export", "t", "--format", "ods", "--output", "o"},
                          "unknown format 'ods' (use csv, xlsx or trials)"},
        WrongCommandLine {{"export", "t", "--format", "csv"}, "where to? Give the output file with --output"},
        WrongCommandLine {{"export", "--format", "csv", "--output", "o"},
                          "which table? Give its path after the command"},
        WrongCommandLine {{"export", "t", "--output"}, "--output needs a value"},
        WrongCommandLine {{"export", "t", "u", "--output", "o"}, "unexpected argument 'u'"},
        WrongCommandLine {{"export", "t", "--output", "o", "--delimiter", "\""},
                          "the delimiter must be one character other than a letter, a digit, '.', '-', '+', a "
                          "quote or a line end"},
        WrongCommandLine {{"export", "t", "--output", "o", "--delimiter", "."},
                          "the delimiter must be one character other than a letter, a digit, '.', '-', '+', a "
                          "quote or a line end"},
        WrongCommandLine {{"export", "t", "--output", "o", "--delimiter", "7"},
                          "the delimiter must be one character other than a letter, a digit, '.', '-', '+', a "
                          "quote or a line end"},
        WrongCommandLine {{"export", "t", "--output", "-", "--format", "xlsx"},
                          "an XLSX workbook is written to a file, not to the standard output"},
        WrongCommandLine {{"export", "t", "--output", "o", "--lapse", "-5"}, "--lapse takes milliseconds, not '-5'"},
        WrongCommandLine {{"protocol", "t", "--output", "p.pdf"}, "which test? Give its record number with --row"},
        WrongCommandLine {{"protocol", "t", "--row", "0", "--output", "p.pdf"},
                          "the row must be a record number from 1 on, not '0'"},
        WrongCommandLine {{"protocol", "t", "--row", "2", "--output", "p.pdf", "--format", "csv"},
                          "unknown option --format"},
        WrongCommandLine {{"--row", "2"}, "unknown option --row"}));

TEST(CommandLineTest, ExportExitCodes)
{
    storage::testing::TempDir dir;
    std::ostringstream err;
    Command command
        = *parseCommandLine({"export", dir.path("missing.DBF"), "--format", "csv", "--output", dir.path("o.csv")})
               .command;
    EXPECT_EQ(runExport(command, err), kExitFailure);
    EXPECT_EQ(err.str(), "tivora-report: Open: Table file not found : " + dir.path("missing.DBF") + "\n");

    command.table = dir.path("tivora4.DBF");
    testing::appendRecords(command.table, {testing::rawRecord({"A", "", "", "", ""}, {{1, 300.0, 0, "300|", ""}})});
    err.str({});
    EXPECT_EQ(runExport(command, err), kExitOk);
    EXPECT_EQ(err.str(), "");
    testing::appendRecords(command.table, {testing::rawRecord({"B", "", "", "", ""}, {{1, 300.0, 0, "3OO|", ""}})});
    EXPECT_EQ(runExport(command, err), kExitRowErrors);
    EXPECT_EQ(err.str(), "tivora-report: row 2: error: SER1A: character 2 ('O') is neither a digit nor '|'\n");
}

TEST(CommandLineTest, ExportNeverReplacesTheTableOrItsTimingRecord)
{
    // A slip of the tongue on the command line must not cost years of results.
    storage::testing::TempDir dir;
    const std::string table = dir.path("tivora4.DBF");
    testing::appendRecords(table, {testing::rawRecord({"A", "", "", "", ""}, {{1, 300.0, 0, "300|", ""}})});
    const std::string timing = dir.path("tivora4_timing.csv");
    storage::testing::writeAll(timing, "test_time,table_row\r\n");
    const std::string tableBytes = storage::testing::readAll(table);
    const std::string otherSpelling = dir.path("./tivora4.DBF");
    for (const std::string& output : {table, otherSpelling, timing}) {
        std::ostringstream err;
        Command command = *parseCommandLine({"export", table, "--format", "csv", "--output", output}).command;
        EXPECT_EQ(runExport(command, err), kExitFailure) << output;
        EXPECT_NE(err.str().find("Cannot write file " + output + ": it is the "), std::string::npos) << err.str();
    }
    EXPECT_EQ(storage::testing::readAll(table), tableBytes);
    EXPECT_EQ(storage::testing::readAll(timing), "test_time,table_row\r\n");
}

} // namespace
} // namespace report
