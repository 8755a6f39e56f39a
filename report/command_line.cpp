#include "report/command_line.h"

#include <cctype>
#include <charconv>
#include <exception>
#include <map>
#include <string_view>

namespace report {

namespace {

std::optional<double> parseMilliseconds(const std::string& text)
{
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !(value >= 0.0)) {
        return std::nullopt;
    }
    return value;
}

// Applies option `name` with `value` to `command`. Returns an error text, empty when it was accepted.
std::string applyOption(Command& command, const std::string& name, const std::string& value)
{
    ExportOptions& options = command.exportOptions;
    if (name == "--format" && command.kind == CommandKind::Export) {
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

std::string checkComplete(const Command& command)
{
    if (command.kind == CommandKind::Verify && command.table.empty()) {
        return "which table? Give its path after the command";
    }
    if ((command.kind == CommandKind::Export || command.kind == CommandKind::Protocol) && command.table.empty()) {
        return "which table? Give its path after the command";
    }
    if ((command.kind == CommandKind::Export || command.kind == CommandKind::Protocol) && command.output.empty()) {
        return "where to? Give the output file with --output";
    }
    if (command.kind == CommandKind::Protocol && command.row == 0) {
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

} // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args)
{
    Command command;
    std::size_t i = 0;
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        return {Command {CommandKind::Help, {}, {}, 0, {}}, {}};
    }
    if (!args.empty() && args[0] == "--version") {
        return {Command {CommandKind::Version, {}, {}, 0, {}}, {}};
    }
    if (!args.empty() && (args[0] == "export" || args[0] == "protocol")) {
        command.kind = args[0] == "export" ? CommandKind::Export : CommandKind::Protocol;
        ++i;
    } else if (!args.empty() && args[0] == "verify") {
        command.kind = CommandKind::Verify;
        ++i;
    }
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            // "tivora-report export --help" asks for the help, not for a value of --help.
            return {Command {CommandKind::Help, {}, {}, 0, {}}, {}};
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
        } else if (command.table.empty() && !arg.empty() && (arg[0] != '-' || arg == "-")) {
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
           "  tivora-report export TABLE --format csv|xlsx|trials --output FILE [--delimiter C]\n"
           "                       [--decimal-comma] [--raw-text] [--lapse MS] [--anticipation MS]\n"
           "      csv, xlsx: one line per test with the 25 fields and the statistics per series and for\n"
           "      the whole block. trials: CSV with one line per trial (row, series, trial, rt_ms, and the\n"
           "      timing record's values where TABLE has one beside it). CSV is UTF-8 with a byte-order\n"
           "      mark; --delimiter ';' and --decimal-comma suit spreadsheets that expect them. In CSV a\n"
           "      text beginning with '=', '+', '-', '@', a tab or a carriage return is written after an\n"
           "      apostrophe, so that a spreadsheet does not run it as a formula (numbers never get one);\n"
           "      --raw-text writes such texts as they are. FILE '-' is the standard output (CSV only);\n"
           "      an existing FILE must be a regular file (or a link to one) and keeps its permissions.\n"
           "  tivora-report protocol TABLE --row N --output FILE.pdf [--lapse MS] [--anticipation MS]\n"
           "      Writes the one-page protocol of the test stored as record N (1 is the first row of the\n"
           "      table, rows marked deleted included; the export's 'row' column gives it).\n"
           "  tivora-report verify TABLE\n"
           "      Replays the audit journal beside TABLE (TABLE's name with _audit.csv) against its rows and\n"
           "      prints for each row: consistent; changed outside Tivora; stored before the journal began;\n"
           "      added outside Tivora; and any break of the journal's chain with the line where it breaks.\n"
           "  tivora-report --help | --version\n"
           "\n"
           "A reaction time of --lapse ms or more (500) is a lapse, one below --anticipation ms (100) an\n"
           "anticipation. SD is the sample standard deviation (n - 1); P10 and P90 interpolate linearly\n"
           "between order statistics; speed is the mean of 1000/RT in responses per second.\n"
           "The table is only read, also while stations append to it.\n"
           "\n"
           "Exit status: 0 done; 1 failed, nothing written; 2 wrong command line; 3 written, but some rows\n"
           "could not be read in full (their problems are listed on standard error). verify: 0 everything\n"
           "consistent; 1 the table or the journal could not be read; 4 not consistent (a row changed, added\n"
           "or missing outside Tivora, the chain broken, or no journal beside a table that has rows).\n";
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

int runExport(const Command& command, std::ostream& err)
{
    try {
        ResultsReader reader(command.table);
        const std::unique_ptr<TimingRecord> timing = timingRecordBeside(command.table, err);
        const ExportSummary summary = exportTests(reader, timing.get(), command.output, command.exportOptions);
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
