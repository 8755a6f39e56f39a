#include "report/command_line.h"
#include "report/norms/norms_command.h"
#include "report/test_support.h"
#include "storage/dbf_table.h"
#include "storage/test_support.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace report {
namespace {

// The case's name as a test name: letters and digits, the rest as "_".
template<typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info)
{
    std::string name = info.param.name;
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
    }
    return name;
}

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
    EXPECT_FALSE(csv.command->exportOptions.csv.rawText);
    EXPECT_TRUE(
        parse({"export", "t", "--raw-text", "--format", "csv", "--output", "o"}).command->exportOptions.csv.rawText);
    EXPECT_EQ(parse({"export", "t", "--format", "csv", "--output", "o", "--delimiter", "tab"})
                  .command->exportOptions.csv.delimiter,
              '\t');
}

TEST(CommandLineTest, DatabaseAndFilters)
{
    const auto exported
        = parse({"export", "--database", "host=db dbname=tivora", "--office", "Brno", "--station", "S1", "--from",
                 "2026-01-31", "--to=2026-12-07", "--person", "850101/1234", "--format", "csv", "--output", "o.csv"});
    ASSERT_TRUE(exported.command) << exported.error;
    const Command& command = *exported.command;
    EXPECT_EQ(command.database, "host=db dbname=tivora");
    EXPECT_TRUE(command.table.empty());
    EXPECT_EQ(command.filter.office, "Brno");
    EXPECT_EQ(command.filter.station, "S1");
    ASSERT_TRUE(command.filter.from && command.filter.to);
    EXPECT_TRUE((*command.filter.from == CalendarDate {2026, 1, 31}));
    EXPECT_TRUE((*command.filter.to == CalendarDate {2026, 12, 7}));
    EXPECT_EQ(command.filter.person, "8501011234");
    const auto tableByDate = parse({"export", "t.DBF", "--from", "2026-02-28", "--output", "o.csv"});
    ASSERT_TRUE(tableByDate.command) << tableByDate.error;
    const auto protocol
        = parse({"protocol", "--database=postgresql://anna@db/tivora", "--test", "4711", "--output", "p.pdf"});
    ASSERT_TRUE(protocol.command) << protocol.error;
    EXPECT_EQ(protocol.command->test, 4711U);
}

TEST(CommandLineTest, ProtocolWindowHelpVersion)
{
    const auto protocol = parse({"protocol", "t.DBF", "--row", "12", "--output", "p.pdf"});
    ASSERT_TRUE(protocol.command);
    EXPECT_EQ(protocol.command->row, 12U);
    EXPECT_EQ(parse({}).command->kind, CommandKind::Window);
    EXPECT_EQ(parse({"t.DBF"}).command->table, "t.DBF");
    EXPECT_EQ(parse({"--database", "dbname=x"}).command->database, "dbname=x");
    EXPECT_EQ(parse({"--help"}).command->kind, CommandKind::Help);
    EXPECT_EQ(parse({"export", "--help"}).command->kind, CommandKind::Help);
    EXPECT_EQ(parse({"protocol", "t.DBF", "-h"}).command->kind, CommandKind::Help);
    EXPECT_EQ(parse({"--version"}).command->kind, CommandKind::Version);
    const auto verify = parse({"verify", "t.DBF"});
    ASSERT_TRUE(verify.command) << verify.error;
    EXPECT_EQ(verify.command->kind, CommandKind::Verify);
    EXPECT_EQ(verify.command->table, "t.DBF");
    EXPECT_EQ(parse({"keygen", "k.key"}).command->keyFile, "k.key");
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
        WrongCommandLine {{"--row", "2"}, "unknown option --row"},
        WrongCommandLine {{"protocol", "t", "--row", "2", "--output", "p.pdf", "--raw-text"},
                          "unknown option --raw-text"},
        WrongCommandLine {{"protocol", "t", "--row", "2", "--output", "p.pdf", "--threshold", "101"},
                          "--threshold takes a percentile rank from 0 to 100, not '101'"},
        WrongCommandLine {{"export", "t", "--norms", "n.csv", "--output", "o", "--format", "trials"},
                          "--norms ranks tests, not trials: use it with --format csv or xlsx"},
        WrongCommandLine {{"export", "t", "--database", "dbname=x", "--output", "o"},
                          "give a table or --database, not both"},
        WrongCommandLine {{"export", "t", "--office", "Brno", "--output", "o"},
                          "--office and --station choose among the database's tests: a table is one office's"},
        WrongCommandLine {{"export", "t", "--from", "2026-02-30", "--output", "o"},
                          "--from takes a date as YYYY-MM-DD, not '2026-02-30'"},
        WrongCommandLine {{"export", "t", "--to", "7.12.2026", "--output", "o"},
                          "--to takes a date as YYYY-MM-DD, not '7.12.2026'"},
        WrongCommandLine {{"export", "t", "--person", "Novák", "--output", "o"},
                          "--person takes a birth number's digits, not 'Novák'"},
        WrongCommandLine {{"protocol", "--database", "dbname=x", "--row", "2", "--output", "p.pdf"},
                          "in the database a test is chosen with --test, not --row"},
        WrongCommandLine {{"protocol", "--database", "dbname=x", "--output", "p.pdf"},
                          "which test? Give its number in the database with --test"},
        WrongCommandLine {{"protocol", "t", "--test", "3", "--output", "p.pdf"},
                          "in a table a test is chosen with --row, not --test"},
        WrongCommandLine {{"protocol", "t", "--row", "2", "--person", "1", "--output", "p.pdf"},
                          "unknown option --person"},
        WrongCommandLine {{"--database", "dbname=x", "--office", "Brno"}, "unknown option --office"},
        WrongCommandLine {{"t.DBF", "--database", "dbname=x"}, "give a table or --database, not both"},
        // The journal lies beside a table: the database has none to verify.
        WrongCommandLine {{"verify"}, "which table? Give its path after the command"},
        WrongCommandLine {{"verify", "--database", "dbname=x"}, "which table? Give its path after the command"},
        WrongCommandLine {{"verify", "t", "--office", "Brno"}, "unknown option --office"}));

TEST(CommandLineTest, NormsBuildOptionsAndDefaults)
{
    using norms::parseNormsCommand;
    const CalendarDate today {2026, 12, 9};
    const auto parsed = parseNormsCommand({"build", "a.DBF", "b.DBF", "--output", "n.csv", "--from", "2025-01-01",
                                           "--bands", "18-39,40+", "--no-sex", "--delimiter", ";"},
                                          today, DateOrder::DayMonth);
    ASSERT_TRUE(parsed.command) << parsed.error;
    const norms::NormsBuildCommand& command = *parsed.command;
    EXPECT_EQ(command.tables, (std::vector<std::string> {"a.DBF", "b.DBF"}));
    EXPECT_EQ(command.options.bands.size(), 2U);
    EXPECT_FALSE(command.options.bySex);
    EXPECT_EQ(command.delimiter, ';');
    EXPECT_EQ(command.options.version, "2026-12-09");
    EXPECT_EQ(command.options.source, "tests of a.DBF, b.DBF");
    EXPECT_EQ(command.options.currentYear, 2026);
    for (const auto& [args, error] : std::vector<std::pair<std::vector<std::string>, std::string>> {
             {{"list"}, "norms: the command is 'norms build TABLE... --output NORMS.csv'"},
             {{"build", "--output", "n.csv"}, "which tables? Give their paths after 'norms build'"},
             {{"build", "a.DBF"}, "where to? Give the norm file with --output"},
             {{"build", "a.DBF", "--output", "n.csv", "--from", "1.1.2025"},
              "--from takes a day written YYYY-MM-DD, not '1.1.2025'"},
             {{"build", "a.DBF", "--output", "n.csv", "--from", "2025-02-01", "--to", "2025-01-31"},
              "the period ends (--to) before it begins (--from)"},
             {{"build", "a.DBF", "--output", "n.csv", "--delimiter", "\t"},
              "the norm file's delimiter is ',' (decimal points) or ';' (decimal commas), not '\t'"},
             {{"build", "a.DBF", "--output", "n.csv", "--sex", "M"}, "unknown option --sex"}}) {
        const auto wrong = parseNormsCommand(args, today, DateOrder::DayMonth);
        EXPECT_FALSE(wrong.command);
        EXPECT_EQ(wrong.error, error);
    }
}

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

TEST(CommandLineTest, TableExportsFilteredByPeriodAndPerson)
{
    storage::testing::TempDir dir;
    const std::string table = dir.path("tivora4.DBF");
    const auto row = [](const char* surname, const char* rc1, const char* rc2, const char* date) {
        return testing::rawRecord({surname, "", rc1, rc2, date}, {{1, 300.0, 0, "300|", ""}});
    };
    testing::appendRecords(table,
                           {row("A", "850101", "1234", " 7.12.2026"), row("B", "900202", "5678", "1.1.2026"),
                            row("A", "850101", "1234", "15.03.2025"), row("C", "", "", "soon")});
    const struct
    {
        std::vector<std::string> filter;
        std::string rows; // the export's row column, in order
    } cases[] = {
        {{}, "1 2 3 4 "},
        {{"--from", "2026-01-01"}, "1 2 "},
        {{"--to", "2025-12-31"}, "3 "},
        {{"--from", "2026-01-02", "--to", "2026-12-07"}, "1 "},
        {{"--person", "850101/1234"}, "3 1 "}, // by date, not by record
        {{"--person", "8501011234", "--from", "2026-01-01"}, "1 "},
        {{"--person", "1"}, ""},
    };
    for (const auto& test : cases) {
        std::vector<std::string> args = {"export", table, "--format", "csv", "--output", dir.path("o.csv")};
        args.insert(args.end(), test.filter.begin(), test.filter.end());
        std::ostringstream err;
        ASSERT_EQ(runExport(*parseCommandLine(args).command, err), kExitOk) << err.str();
        std::istringstream lines(storage::testing::readAll(dir.path("o.csv")));
        std::string line;
        std::string rows;
        std::getline(lines, line); // the header
        while (std::getline(lines, line)) {
            rows += line.substr(0, line.find(',')) + " ";
        }
        EXPECT_EQ(rows, test.rows) << test.filter.size();
    }
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

// A table of one row (series 1: 312, 299) beside its timing record `record`, in a folder of its own.
class CommandLineFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testing::appendRecords(m_table, {testing::rawRecord({"A", "", "", "", ""}, {{2, 306.0, 0, "312|299|", ""}})});
    }

    Command exportCommand(const std::string& table, const std::string& output, ExportFormat format = ExportFormat::Csv)
    {
        Command command = *parseCommandLine({"export", table, "--format", "csv", "--output", output}).command;
        command.exportOptions.format = format;
        return command;
    }

    storage::testing::TempDir m_dir;
    std::string m_table = m_dir.path("tivora4.DBF");
    std::string m_record = m_dir.path("tivora4_timing.csv");
};

const std::string kRecordHeader = "test_time,table_row,line,block,series,foreperiod_programmed_ms,"
                                  "foreperiod_measured_us,onset_us,response_us,rt_us,rt_stored_ms,premature,input,"
                                  "response_stamp,onset_stamp\r\n";

std::string recordLine(const char* rtUs, const char* storedMs, int line = 4)
{
    return std::string("2026-12-08T14:03:12+01:00,1,") + std::to_string(line) + ",measured,1,2000,2000480,100,200,"
        + rtUs + "," + storedMs + ",0,key,event,server\r\n";
}

TEST_F(CommandLineFiles, TimingValuesThatCannotBeTheRowsAreNamedAndLeftOut)
{
    storage::testing::writeAll(m_record,
                               kRecordHeader + recordLine("999999999", "312", 4) + recordLine("299100", "299", 5) + "\""
                                   + recordLine("1", "1", 6));
    std::ostringstream err;
    EXPECT_EQ(runExport(exportCommand(m_table, m_dir.path("out.csv")), err), kExitOk);
    EXPECT_EQ(err.str(),
              "tivora-report: warning: " + m_record
                  + ": line 4: a quote in it is not closed\n"
                    "tivora-report: row 1: warning: the timing record's line 2 (series 1) gives rt_us "
                    "999999999, which is no reaction time of 312 ms; the table's values are used\n");
    const std::string csv = storage::testing::readAll(m_dir.path("out.csv"));
    EXPECT_NE(csv.find(",305.5,"), std::string::npos) << "the table's mean"; // not 500,149.5
}

TEST_F(CommandLineFiles, ProblemsReachTheTerminalEscaped)
{
    // A damaged numeric field's bytes would otherwise speak to the terminal the problems are printed on.
    auto table = storage::OpenTableFile(m_table, storage::OpenMode::ReadOnly, storage::IfMissing::Fail);
    const std::uint64_t row = table->headerLength(); // record 1; a field's offset counts its flag byte
    const std::size_t count = table->fields()[5].offset;
    const std::size_t mean = table->fields()[9].offset;
    storage::CloseTableFile(table);
    const std::string countBytes = "9\x1b"
                                   "9";
    const std::string meanBytes = "1\x1b]0;\x07\x7f"
                                  "2";
    for (std::size_t i = 0; i < countBytes.size(); ++i) {
        storage::testing::setByte(m_table, row + count + i, static_cast<unsigned char>(countBytes[i]));
    }
    for (std::size_t i = 0; i < meanBytes.size(); ++i) {
        storage::testing::setByte(m_table, row + mean + i, static_cast<unsigned char>(meanBytes[i]));
    }
    std::ostringstream err;
    EXPECT_EQ(runExport(exportCommand(m_table, m_dir.path("out.csv")), err), kExitRowErrors);
    EXPECT_EQ(err.str(),
              "tivora-report: row 1: error: POC_1SER: '9\\x1B9' is not a number\n"
              "tivora-report: row 1: error: PRUMER1: '1\\x1B]0;\\x07\\x7F2' is not a number\n");
}

#ifndef _WIN32

// What a path holds: its kind, and a regular file's bytes.
std::string snapshot(const std::string& path)
{
    struct stat info
    { };
    if (::lstat(path.c_str(), &info) != 0) {
        return "nothing";
    }
    return std::to_string(info.st_mode & S_IFMT) + ":" + (S_ISREG(info.st_mode) ? storage::testing::readAll(path) : "");
}

void makeSocket(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

// An output an export must not replace: what the folder holds, the table as the command names it, the
// output, and why it is refused.
struct HostileOutput
{
    const char* name;
    std::function<void(const std::string& dir)> make;
    const char* table;
    const char* output;
    const char* reason;
};

class HostileOutputTest : public CommandLineFiles, public ::testing::WithParamInterface<HostileOutput>
{ };

TEST_P(HostileOutputTest, IsRefusedAndLeftAsItWas)
{
    const HostileOutput& hostile = GetParam();
    storage::testing::writeAll(m_record, kRecordHeader);
    hostile.make(m_dir.dir());
    const std::string output = m_dir.path(hostile.output);
    const std::string before = snapshot(output) + snapshot(m_table) + snapshot(m_record) + snapshot("/dev/null");
    for (const ExportFormat format : {ExportFormat::Csv, ExportFormat::Xlsx, ExportFormat::Trials}) {
        std::ostringstream err;
        EXPECT_EQ(runExport(exportCommand(m_dir.path(hostile.table), output, format), err), kExitFailure);
        EXPECT_EQ(err.str(), "tivora-report: Cannot write file " + output + ": " + hostile.reason + "\n");
    }
    EXPECT_EQ(snapshot(output) + snapshot(m_table) + snapshot(m_record) + snapshot("/dev/null"), before);
}

const auto nothing = [](const std::string&) {};
const char* const kNotRegular = "it is not a regular file but a device, a pipe or a socket";
const char* const kTheTable = "it is the results table being read";
const char* const kTheRecord = "it is the timing record of the table being read";

INSTANTIATE_TEST_SUITE_P(
    Outputs, HostileOutputTest,
    ::testing::Values(
        HostileOutput {"pipe", [](const std::string& dir) { ::mkfifo((dir + "out.csv").c_str(), 0644); }, "tivora4.DBF",
                       "out.csv", kNotRegular},
        HostileOutput {"socket", [](const std::string& dir) { makeSocket(dir + "out.csv"); }, "tivora4.DBF", "out.csv",
                       kNotRegular},
        HostileOutput {"link to a device",
                       [](const std::string& dir) { ::symlink("/dev/null", (dir + "out.csv").c_str()); }, "tivora4.DBF",
                       "out.csv", kNotRegular},
        HostileOutput {"link to nothing",
                       [](const std::string& dir) { ::symlink("missing.csv", (dir + "out.csv").c_str()); },
                       "tivora4.DBF", "out.csv", "it is a symbolic link to nothing"},
        HostileOutput {"folder", [](const std::string& dir) { ::mkdir((dir + "out.csv").c_str(), 0755); },
                       "tivora4.DBF", "out.csv", "it is a folder"},
        HostileOutput {"the table", nothing, "tivora4.DBF", "tivora4.DBF", kTheTable},
        HostileOutput {"the table spelt otherwise", nothing, "tivora4.DBF", "./tivora4.DBF", kTheTable},
        HostileOutput {"a link to the table",
                       [](const std::string& dir) { ::symlink("tivora4.DBF", (dir + "out.csv").c_str()); },
                       "tivora4.DBF", "out.csv", kTheTable},
        HostileOutput {"a hard link of the table",
                       [](const std::string& dir) { ::link((dir + "tivora4.DBF").c_str(), (dir + "out.csv").c_str()); },
                       "tivora4.DBF", "out.csv", kTheTable},
        HostileOutput {"the record", nothing, "tivora4.DBF", "tivora4_timing.csv", kTheRecord},
        HostileOutput {"the record of a table named by a link",
                       [](const std::string& dir) { ::symlink("tivora4.DBF", (dir + "link.DBF").c_str()); }, "link.DBF",
                       "tivora4_timing.csv", kTheRecord},
        HostileOutput {
            "the record of a table named by a hard link",
            [](const std::string& dir) { ::link((dir + "tivora4.DBF").c_str(), (dir + "hard.DBF").c_str()); },
            "hard.DBF", "tivora4_timing.csv", kTheRecord}),
    caseName<HostileOutput>);

// Runs `command` on a thread. An input that blocks its open (a pipe without a writer) is opened from its
// other end after five seconds, so that the test ends; `blocked` then says so.
int runUnblocked(const Command& command, std::ostream& err, const std::string& pipe, bool& blocked)
{
    std::atomic<bool> done {false};
    int code = -1;
    std::thread run([&] {
        code = runExport(command, err);
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    blocked = !done;
    while (!done) {
        const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    run.join();
    return code;
}

// An input that is no regular file: the table or its timing record replaced by something else.
struct HostileInput
{
    const char* name;
    std::function<void(const std::string& table, const std::string& record)> make;
    bool table;   // the table is the bad input (else the record)
    int exitCode; // a bad table fails the export; a bad record leaves the table's own values
};

class HostileInputTest : public CommandLineFiles, public ::testing::WithParamInterface<HostileInput>
{ };

TEST_P(HostileInputTest, IsRefusedAtOnceWithItsName)
{
    const HostileInput& hostile = GetParam();
    const std::string bad = hostile.table ? m_dir.path("bad.DBF") : m_dir.path("bad_timing.csv");
    if (!hostile.table) {
        storage::testing::writeAll(m_dir.path("bad.DBF"), storage::testing::readAll(m_table));
    }
    hostile.make(m_dir.path("bad.DBF"), m_dir.path("bad_timing.csv"));
    std::ostringstream err;
    bool blocked = false;
    const int code = runUnblocked(exportCommand(m_dir.path("bad.DBF"), m_dir.path("out.csv")), err, bad, blocked);
    EXPECT_FALSE(blocked) << "the export waited in open() for a writer of " << bad;
    EXPECT_EQ(code, hostile.exitCode) << err.str();
    EXPECT_EQ(err.str().rfind(hostile.table ? "tivora-report: " : "tivora-report: warning: ", 0), 0U) << err.str();
    EXPECT_NE(err.str().find(bad), std::string::npos) << err.str();
    EXPECT_EQ(base::fileExists(m_dir.path("out.csv")), !hostile.table);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, HostileInputTest,
    ::testing::Values(
        HostileInput {"table a pipe",
                      [](const std::string& table, const std::string&) { ::mkfifo(table.c_str(), 0644); }, true,
                      kExitFailure},
        HostileInput {"table a folder",
                      [](const std::string& table, const std::string&) { ::mkdir(table.c_str(), 0755); }, true,
                      kExitFailure},
        HostileInput {"table empty",
                      [](const std::string& table, const std::string&) { storage::testing::writeAll(table, ""); }, true,
                      kExitFailure},
        HostileInput {"record a pipe",
                      [](const std::string&, const std::string& record) { ::mkfifo(record.c_str(), 0644); }, false,
                      kExitOk},
        HostileInput {"record a folder",
                      [](const std::string&, const std::string& record) { ::mkdir(record.c_str(), 0755); }, false,
                      kExitOk}),
    caseName<HostileInput>);

TEST_F(CommandLineFiles, TheNullDeviceAsTableIsNamed)
{
    std::ostringstream err;
    EXPECT_EQ(runExport(exportCommand("/dev/null", m_dir.path("out.csv")), err), kExitFailure);
    // The file and the reason, whichever layer refuses it.
    EXPECT_EQ(err.str().rfind("tivora-report: Cannot ", 0), 0U) << err.str();
    EXPECT_NE(err.str().find(" /dev/null: "), std::string::npos) << err.str();
}

#else

// Windows takes these names for devices in any folder and with any extension.
class DeviceNameTest : public CommandLineFiles, public ::testing::WithParamInterface<const char*>
{ };

TEST_P(DeviceNameTest, IsRefusedAsAnOutput)
{
    const std::string output = GetParam()[0] == '\\' ? std::string(GetParam()) : m_dir.path(GetParam());
    std::ostringstream err;
    EXPECT_EQ(runExport(exportCommand(m_table, output), err), kExitFailure);
    EXPECT_EQ(err.str(), "tivora-report: Cannot write file " + output + ": it is the name of a device in Windows\n");
}

INSTANTIATE_TEST_SUITE_P(Devices, DeviceNameTest,
                         ::testing::Values("NUL", "nul", "CON", "con.csv", "COM1", "lpt9.xlsx", "AUX", "PRN.txt",
                                           "nul .csv", "CONOUT$", "\\\\.\\pipe\\tivora"));

#endif

} // namespace
} // namespace report
