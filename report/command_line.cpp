#include "report/command_line.h"

#include "base/local_date.h"
#include "crypto/key_file.h"
#include "report/norms/norms_command.h"
#include "report/pseudonymised.h"
#include "report/report_error.h"
#include "report/source_export.h"
#include "report/table_source.h"

#include <cctype>
#include <charconv>
#include <exception>
#include <map>
#include <string_view>

namespace report {

namespace {

std::string keygenNotice(const std::string& path)
{
    return "Created the key file " + path
        + "\n"
          "It makes the pseudonyms of tivora-report export --pseudonymise. Keep a copy in a safe place (it\n"
          "is one line of 64 digits, short enough to print) and keep it secret:\n"
          "- without it, later exports' pseudonyms cannot be linked to earlier ones;\n"
          "- anyone who has it and a list of birth numbers can find the person behind a pseudonym.\n";
}

std::optional<double> parseMilliseconds(const std::string& text)
{
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !(value >= 0.0)) {
        return std::nullopt;
    }
    return value;
}

bool isFilterOption(const std::string& name)
{
    return name == "--office" || name == "--station" || name == "--from" || name == "--to" || name == "--person";
}

std::string applyFilter(TestFilter& filter, const std::string& name, const std::string& value)
{
    if (name == "--from" || name == "--to") {
        const auto date = parseIsoDate(value);
        if (!date) {
            return name + " takes a date as YYYY-MM-DD, not '" + value + "'";
        }
        (name == "--from" ? filter.from : filter.to) = date;
    } else if (name == "--person") {
        // The digits as the birth-number key holds them; "850101/1234" as it is written is taken too.
        std::string digits;
        for (const char c : value) {
            if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
                digits += c;
            } else if (c != '/' && c != ' ') {
                return "--person takes a birth number's digits, not '" + value + "'";
            }
        }
        if (digits.empty()) {
            return "--person takes a birth number's digits, not '" + value + "'";
        }
        filter.person = digits;
    } else if (value.empty()) {
        return name + " needs a name";
    } else {
        (name == "--office" ? filter.office : filter.station) = value;
    }
    return {};
}

// Applies option `name` with `value` to `command`. Returns an error text, empty when it was accepted.
std::string applyOption(Command& command, const std::string& name, const std::string& value)
{
    ExportOptions& options = command.exportOptions;
    if (command.kind == CommandKind::Keygen) {
        return "unknown option " + name;
    }
    if (name == "--pseudonymise" && command.kind == CommandKind::Export) {
        if (value.empty()) {
            return "--pseudonymise needs the key file";
        }
        command.keyFile = value;
    } else if (name == "--format" && command.kind == CommandKind::Export) {
        static const std::map<std::string, ExportFormat> kFormats
            = {{"csv", ExportFormat::Csv}, {"xlsx", ExportFormat::Xlsx}, {"trials", ExportFormat::Trials}};
        const auto format = kFormats.find(value);
        if (format == kFormats.end()) {
            return "unknown format '" + value + "' (use csv, xlsx or trials)";
        }
        options.format = format->second;
    } else if (name == "--output" && command.kind != CommandKind::Window && command.kind != CommandKind::Verify) {
        command.output = value;
    } else if (name == "--delimiter" && command.kind == CommandKind::Export) {
        if (value == "\\t" || value == "tab") {
            options.csv.delimiter = '\t';
        } else if (value.size() != 1 || std::isalnum(static_cast<unsigned char>(value[0])) != 0
                   || std::string_view("\"\r\n.-+").find(value[0]) != std::string_view::npos) {
            // Numbers are written unquoted: their digits, point, signs and exponent cannot separate fields.
            return "the delimiter must be one character other than a letter, a digit, '.', '-', '+', a quote "
                   "or a line end";
        } else {
            options.csv.delimiter = value[0];
        }
    } else if (name == "--row" && command.kind == CommandKind::Protocol) {
        std::uint32_t row = 0;
        const auto result = std::from_chars(value.data(), value.data() + value.size(), row);
        if (result.ec != std::errc() || result.ptr != value.data() + value.size() || row == 0) {
            return "the row must be a record number from 1 on, not '" + value + "'";
        }
        command.row = row;
    } else if (name == "--norms") {
        command.normsPath = value;
    } else if (name == "--threshold") {
        int pr = 0;
        const auto result = std::from_chars(value.data(), value.data() + value.size(), pr);
        if (result.ec != std::errc() || result.ptr != value.data() + value.size() || pr < 0 || pr > 100) {
            return "--threshold takes a percentile rank from 0 to 100, not '" + value + "'";
        }
        options.norms.thresholdPr = pr;
    } else if (name == "--test" && command.kind == CommandKind::Protocol) {
        std::uint64_t test = 0;
        const auto result = std::from_chars(value.data(), value.data() + value.size(), test);
        if (result.ec != std::errc() || result.ptr != value.data() + value.size() || test == 0) {
            return "the test must be a test number from 1 on, not '" + value + "'";
        }
        command.test = test;
    } else if (name == "--database") {
        if (value.empty()) {
            return "--database needs a connection string";
        }
        command.database = value;
    } else if (isFilterOption(name) && command.kind == CommandKind::Export) {
        return applyFilter(command.filter, name, value);
    } else if (name == "--lapse" || name == "--anticipation") {
        const auto ms = parseMilliseconds(value);
        if (!ms) {
            return name + " takes milliseconds, not '" + value + "'";
        }
        (name == "--lapse" ? options.analysis.thresholds.lapseMs : options.analysis.thresholds.anticipationMs) = *ms;
    } else {
        return "unknown option " + name;
    }
    return {};
}

std::string checkSource(const Command& command)
{
    const bool batch = command.kind == CommandKind::Export || command.kind == CommandKind::Protocol;
    if (!command.database.empty() && !command.table.empty()) {
        return "give a table or --database, not both";
    }
    if (batch && command.table.empty() && command.database.empty()) {
        return "which table? Give its path after the command";
    }
    if (command.filter.byPlace() && command.database.empty()) {
        return "--office and --station choose among the database's tests: a table is one office's";
    }
    if (command.kind != CommandKind::Protocol) {
        return {};
    }
    if (!command.database.empty() && command.row != 0) {
        return "in the database a test is chosen with --test, not --row";
    }
    if (!command.table.empty() && command.test != 0) {
        return "in a table a test is chosen with --row, not --test";
    }
    if (!command.database.empty() && command.test == 0) {
        return "which test? Give its number in the database with --test";
    }
    return {};
}

std::string checkComplete(const Command& command)
{
    if (command.kind == CommandKind::Verify && command.table.empty()) {
        return "which table? Give its path after the command";
    }
    if (command.kind == CommandKind::Keygen && command.keyFile.empty()) {
        return "which key file? Give the path of the file to create after keygen";
    }
    if (command.kind == CommandKind::Export && command.exportOptions.format == ExportFormat::Trials
        && !command.normsPath.empty()) {
        return "--norms ranks tests, not trials: use it with --format csv or xlsx";
    }
    if (std::string error = checkSource(command); !error.empty()) {
        return error;
    }
    if ((command.kind == CommandKind::Export || command.kind == CommandKind::Protocol) && command.output.empty()) {
        return "where to? Give the output file with --output";
    }
    if (command.kind == CommandKind::Protocol && command.row == 0 && command.database.empty()) {
        return "which test? Give its record number with --row";
    }
    if (command.kind == CommandKind::Protocol && command.output == "-") {
        return "a protocol is written to a file, not to the standard output";
    }
    if (command.kind == CommandKind::Export && command.exportOptions.format == ExportFormat::Xlsx
        && command.output == "-") {
        return "an XLSX workbook is written to a file, not to the standard output";
    }
    return {};
}

Command commandOf(CommandKind kind)
{
    Command command;
    command.kind = kind;
    return command;
}

} // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args)
{
    Command command;
    std::size_t i = 0;
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        return {commandOf(CommandKind::Help), {}};
    }
    if (!args.empty() && args[0] == "--version") {
        return {commandOf(CommandKind::Version), {}};
    }
    if (!args.empty() && (args[0] == "export" || args[0] == "protocol")) {
        command.kind = args[0] == "export" ? CommandKind::Export : CommandKind::Protocol;
        ++i;
    } else if (!args.empty() && args[0] == "verify") {
        command.kind = CommandKind::Verify;
        ++i;
    } else if (!args.empty() && args[0] == "keygen") {
        command.kind = CommandKind::Keygen;
        ++i;
    }
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            // "tivora-report export --help" asks for the help, not for a value of --help.
            return {commandOf(CommandKind::Help), {}};
        }
        if ((arg == "--decimal-comma" || arg == "--raw-text") && command.kind != CommandKind::Export) {
            return {std::nullopt, "unknown option " + arg};
        }
        if (arg == "--decimal-comma" && command.kind == CommandKind::Export) {
            command.exportOptions.csv.decimalComma = true;
        } else if (arg == "--raw-text" && command.kind == CommandKind::Export) {
            command.exportOptions.csv.rawText = true;
        } else if (arg.rfind("--", 0) == 0) {
            const std::size_t equals = arg.find('=');
            const std::string name = arg.substr(0, equals);
            if (equals == std::string::npos && i + 1 >= args.size()) {
                return {std::nullopt, name + " needs a value"};
            }
            const std::string value = equals == std::string::npos ? args[++i] : arg.substr(equals + 1);
            if (std::string error = applyOption(command, name, value); !error.empty()) {
                return {std::nullopt, error};
            }
        } else if (command.kind == CommandKind::Keygen && command.keyFile.empty() && !arg.empty()) {
            command.keyFile = arg;
        } else if (command.kind != CommandKind::Keygen && command.table.empty() && !arg.empty()
                   && (arg[0] != '-' || arg == "-")) {
            command.table = arg;
        } else {
            return {std::nullopt, "unexpected argument '" + arg + "'"};
        }
    }
    if (std::string error = checkComplete(command); !error.empty()) {
        return {std::nullopt, error};
    }
    return {command, {}};
}

std::string usageText()
{
    return "Usage:\n"
           "  tivora-report [TABLE]\n"
           "      Opens the window: the table's tests, newest first, with a filter by name or birth number,\n"
           "      the chosen test's protocol, printing, PDF and export. TABLE defaults to tivora4.DBF in the\n"
           "      current folder, else in the test folder chosen last in Tivora.\n"
           "  tivora-report --database CONNINFO\n"
           "      Opens the window on the central database: the office and station as columns, the tests\n"
           "      chosen by office, station, period and person in the window.\n"
           "  tivora-report export TABLE --format csv|xlsx|trials --output FILE [--delimiter C]\n"
           "                       [--decimal-comma] [--raw-text] [--lapse MS] [--anticipation MS]\n"
           "                       [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--person BIRTHNUMBER]\n"
           "  tivora-report export --database CONNINFO [--office NAME] [--station NAME] [...]\n"
           "      csv, xlsx: one line per test with the 25 fields and the statistics per series and for\n"
           "      the whole block. trials: CSV with one line per trial (row, series, trial, rt_ms, and the\n"
           "      timing record's values where TABLE has one beside it). CSV is UTF-8 with a byte-order\n"
           "      mark; --delimiter ';' and --decimal-comma suit spreadsheets that expect them. In CSV a\n"
           "      text beginning with '=', '+', '-', '@', a tab or a carriage return is written after an\n"
           "      apostrophe, so that a spreadsheet does not run it as a formula (numbers never get one);\n"
           "      --raw-text writes such texts as they are. FILE '-' is the standard output (CSV only);\n"
           "      an existing FILE must be a regular file (or a link to one) and keeps its permissions.\n"
           "      --from and --to keep the tests of a period (by their date; day before month), --person\n"
           "      those of one birth number, ordered by date. From the database the tests of every office\n"
           "      are written, office by office, with the columns office and station at the end;\n"
           "      --office and --station keep one office's or one station's.\n"
           "  tivora-report export ... --pseudonymise KEYFILE\n"
           "      The same exports without the identity: the names, the birth number and the date box's\n"
           "      text are left out; after 'row' come pseudonym (the same for one birth number under one\n"
           "      key), age (whole years at the test), sex (M or F) and test_date (YYYY-MM-DD). A birth\n"
           "      number that breaks the rules leaves age and sex empty and is listed as a row's error.\n"
           "  tivora-report keygen KEYFILE\n"
           "      Creates the lab's key for --pseudonymise from the system's random source, readable only\n"
           "      by you. An existing file is never replaced.\n"
           "  tivora-report protocol TABLE --row N --output FILE.pdf [--lapse MS] [--anticipation MS]\n"
           "      Writes the one-page protocol of the test stored as record N (1 is the first row of the\n"
           "      table, rows marked deleted included; the export's 'row' column gives it).\n"
           "  tivora-report protocol --database CONNINFO --test ID --output FILE.pdf [...]\n"
           "      The same for the test numbered ID in the central database; its history follows the\n"
           "      person across every office.\n"
           "  ... --norms NORMS.csv [--threshold PR]   (export csv|xlsx, protocol, the window)\n"
           "      Ranks each test against the norm table: the protocol shows the PR and T-score of every\n"
           "      measure in the person's group, the threshold (PR 16 unless given) with below/at/above, or\n"
           "      'no norm' with the reason; the export adds the columns norm_group, pr_<measure> and\n"
           "      t_<measure> for each measure, and norm_notes, after all the others.\n"
        + report::norms::normsUsageText()
        + "  tivora-report verify TABLE\n"
          "      Replays the audit journal beside TABLE (TABLE's name with _audit.csv) against its rows and\n"
          "      prints for each row: consistent; changed outside Tivora; stored before the journal began;\n"
          "      added outside Tivora; and any break of the journal's chain with the line where it breaks.\n"
          "  tivora-report --help | --version\n"
          "\n"
          "A reaction time of --lapse ms or more (500) is a lapse, one below --anticipation ms (100) an\n"
          "anticipation. SD is the sample standard deviation (n - 1); P10 and P90 interpolate linearly\n"
          "between order statistics; speed is the mean of 1000/RT in responses per second.\n"
          "The table is only read, also while stations append to it.\n"
          "CONNINFO is a libpq connection string or URI ('host=db dbname=tivora user=anna',\n"
          "'postgresql://anna@db/tivora'); its user must be a member of tivora_report. A password is\n"
          "never given on the command line: libpq takes it from its password file (~/.pgpass, on\n"
          "Windows %APPDATA%\\postgresql\\pgpass.conf; or PGPASSFILE) or PGPASSWORD. The database is only\n"
          "read.\n"
          "\n"
          "Exit status: 0 done; 1 failed, nothing written; 2 wrong command line; 3 written, but some rows\n"
          "could not be read in full (their problems are listed on standard error). verify: 0 everything\n"
          "consistent; 1 the table or the journal could not be read; 4 not consistent (a row changed, added\n"
          "or missing outside Tivora, the chain broken, or no journal beside a table that has rows).\n";
}

void loadNorms(Command& command)
{
    if (!command.normsPath.empty()) {
        command.exportOptions.norms.table
            = std::make_shared<const norms::NormTable>(norms::readNormTableFile(command.normsPath));
        command.exportOptions.norms.currentYear = base::localToday().year;
    }
}

std::unique_ptr<TimingRecord> timingRecordBeside(const std::string& table, std::ostream& err)
{
    try {
        std::unique_ptr<TimingRecord> record = TimingRecord::openBeside(table);
        for (const std::string& problem : record ? record->problems() : std::vector<std::string> {}) {
            err << "tivora-report: warning: " << record->path() << ": " << problem << '\n';
        }
        return record;
    } catch (const std::exception& error) {
        err << "tivora-report: warning: " << error.what() << "; the table alone is used\n";
        return nullptr;
    }
}

int runKeygen(const Command& command, std::ostream& out, std::ostream& err)
{
    try {
        crypto::createKeyFile(command.keyFile);
        out << keygenNotice(command.keyFile);
        return kExitOk;
    } catch (const std::exception& error) {
        err << "tivora-report: " << error.what() << '\n';
        return kExitFailure;
    }
}

std::unique_ptr<TestSource> openSource(const Command& command, std::ostream& err, const DatabaseOpener& openDatabase)
{
    if (command.database.empty()) {
        return std::make_unique<TableSource>(command.table, err);
    }
    if (!openDatabase) {
        throw ReportError("this tivora-report has no database access");
    }
    return openDatabase(command.database);
}

int runExport(const Command& command, std::ostream& err, const DatabaseOpener& openDatabase)
{
    try {
        Command withNorms = command;
        loadNorms(withNorms);
        ExportOptions options = withNorms.exportOptions;
        if (!command.keyFile.empty()) {
            const crypto::KeyFileReading key = crypto::readKeyFile(command.keyFile);
            if (!key.warning.empty()) {
                err << "tivora-report: warning: " << key.warning << '\n';
            }
            options.pseudonymKey = key.key;
            if (command.output != "-") {
                refuseToReplaceKey(command.output, command.keyFile);
            }
        }
        const std::unique_ptr<TestSource> source = openSource(command, err, openDatabase);
        const ExportSummary summary = exportFrom(*source, command.filter, command.output, options);
        for (const std::string& problem : summary.problems) {
            err << "tivora-report: " << problem << '\n';
        }
        return summary.rowsWithErrors > 0 ? kExitRowErrors : kExitOk;
    } catch (const std::exception& error) {
        err << "tivora-report: " << error.what() << '\n';
        return kExitFailure;
    }
}

} // namespace report
