#include "report/norms/norms_command.h"

#include "report/command_line.h"
#include "report/norms/norm_syntax.h"
#include "report/output_file.h"
#include "report/report_error.h"

#include <charconv>
#include <exception>
#include <filesystem>
#include <memory>

namespace report::norms {

namespace {

std::optional<double> milliseconds(const std::string& text)
{
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !(value >= 0.0)) {
        return std::nullopt;
    }
    return value;
}

// Applies option `name` with `value`. Returns an error text, empty when it was accepted.
std::string applyOption(NormsBuildCommand& command, const std::string& name, const std::string& value)
{
    BuildOptions& options = command.options;
    if (name == "--output") {
        command.output = value;
    } else if (name == "--from" || name == "--to") {
        const std::optional<CalendarDate> day = parseIsoDate(value);
        if (!day) {
            return name + " takes a day written YYYY-MM-DD, not '" + value + "'";
        }
        (name == "--from" ? options.from : options.to) = day;
    } else if (name == "--bands") {
        try {
            options.bands = parseAgeBands(value);
        } catch (const std::exception& error) {
            return error.what();
        }
    } else if (name == "--name") {
        options.name = value;
    } else if (name == "--norm-version") {
        options.version = value;
    } else if (name == "--source") {
        options.source = value;
    } else if (name == "--delimiter") {
        if (value != "," && value != ";") {
            return "the norm file's delimiter is ',' (decimal points) or ';' (decimal commas), not '" + value + "'";
        }
        command.delimiter = value[0];
    } else if (name == "--lapse" || name == "--anticipation") {
        const auto ms = milliseconds(value);
        if (!ms) {
            return name + " takes milliseconds, not '" + value + "'";
        }
        (name == "--lapse" ? options.thresholds.lapseMs : options.thresholds.anticipationMs) = *ms;
    } else {
        return "unknown option " + name;
    }
    return {};
}

std::string fileNames(const std::vector<std::string>& tables)
{
    std::string names;
    for (const std::string& table : tables) {
        names += (names.empty() ? "" : ", ") + std::filesystem::u8path(table).filename().u8string();
    }
    return names;
}

// The lines about groups whose norm comes from fewer than kSmallGroup people.
std::vector<std::string> smallGroups(const NormTable& table)
{
    std::vector<std::string> lines;
    for (const NormGroup& group : table.groups) {
        std::size_t people = 0;
        for (const MeasureNorm& measure : group.measures) {
            people = std::max(people, measure.n);
        }
        if (people < kSmallGroup) {
            lines.push_back("group " + describeGroup(group) + ": " + std::to_string(people) + " people, fewer than "
                            + std::to_string(kSmallGroup) + ": kept, flagged small, ranks no one");
        }
    }
    return lines;
}

// Where the tests of each table begin in the builder's numbering: the tables' rows one after another, so
// that a person's first test is found across tables and a test left out can be named by table and row.
struct Numbering
{
    std::vector<std::pair<std::uint64_t, std::string>> starts;

    std::string name(std::uint64_t number) const
    {
        for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
            if (number > it->first) {
                return it->second + ": row " + std::to_string(number - it->first);
            }
        }
        return "row " + std::to_string(number);
    }
};

NormBuild buildFrom(const NormsBuildCommand& command, Numbering& numbering, std::ostream& err)
{
    NormBuilder builder(command.options);
    std::uint64_t offset = 0;
    for (const std::string& table : command.tables) {
        ResultsReader reader(table);
        const std::unique_ptr<TimingRecord> timing = timingRecordBeside(table, err);
        if (offset + reader.recordCount() > UINT32_MAX) {
            throw ReportError("the tables hold more than " + std::to_string(UINT32_MAX) + " rows together");
        }
        numbering.starts.emplace_back(offset, table);
        AnalysisOptions analysisOptions;
        analysisOptions.thresholds = command.options.thresholds;
        reader.forEach([&](const StoredTest& test) {
            const TestAnalysis analysis = analyse(test, analysisOptions, timing.get());
            const TestIdentity& who = test.identity;
            builder.add({static_cast<std::uint32_t>(offset + who.record), who.birthNumber1, who.birthNumber2, who.date,
                         &analysis});
        });
        offset += reader.recordCount();
    }
    return builder.finish();
}

} // namespace

ParsedNormsCommand parseNormsCommand(const std::vector<std::string>& args, const CalendarDate& today, DateOrder order)
{
    if (args.empty() || args[0] != "build") {
        return {std::nullopt, "norms: the command is 'norms build TABLE... --output NORMS.csv'"};
    }
    NormsBuildCommand command;
    command.options.dateOrder = order;
    command.options.currentYear = today.year;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--no-sex") {
            command.options.bySex = false;
        } else if (arg == "--list-excluded") {
            command.listExcluded = true;
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
        } else if (!arg.empty() && arg[0] != '-') {
            command.tables.push_back(arg);
        } else {
            return {std::nullopt, "unexpected argument '" + arg + "'"};
        }
    }
    if (command.tables.empty()) {
        return {std::nullopt, "which tables? Give their paths after 'norms build'"};
    }
    if (command.output.empty() || command.output == "-") {
        return {std::nullopt, "where to? Give the norm file with --output"};
    }
    if (command.options.from && command.options.to && *command.options.to < *command.options.from) {
        return {std::nullopt, "the period ends (--to) before it begins (--from)"};
    }
    BuildOptions& options = command.options;
    options.name = options.name.empty() ? "Local norms" : options.name;
    options.version = options.version.empty() ? formatIsoDate(today) : options.version;
    options.source = options.source.empty() ? "tests of " + fileNames(command.tables) : options.source;
    return {command, {}};
}

std::string normsUsageText()
{
    return "  tivora-report norms build TABLE... --output NORMS.csv [--from YYYY-MM-DD] [--to YYYY-MM-DD]\n"
           "                       [--bands 18-24,25-34,...,75+] [--no-sex] [--name TEXT]\n"
           "                       [--norm-version TEXT] [--source TEXT] [--delimiter ,|;]\n"
           "                       [--lapse MS] [--anticipation MS] [--list-excluded]\n"
           "      Builds local norms from the tests of the tables: each person once, by the first test of\n"
           "      their birth number in the period; age at the test and sex from the birth number; a group\n"
           "      per age band and sex (--no-sex: both sexes together). Tests with an invalid birth number,\n"
           "      an unreadable date or a broken row are left out and counted; a group of fewer than 30\n"
           "      people is kept but flagged small. Prints what was counted; --list-excluded names every\n"
           "      test left out on standard error. Default bands 18-24,25-34,35-44,45-54,55-64,65-74,75+;\n"
           "      --delimiter ';' writes decimal commas.\n";
}

int runNormsBuild(const NormsBuildCommand& command, std::ostream& out, std::ostream& err)
{
    try {
        for (const std::string& table : command.tables) {
            refuseToReplaceInputs(command.output, table);
        }
        Numbering numbering;
        const NormBuild build = buildFrom(command, numbering, err);
        for (const std::string& line : describeSummary(build.summary)) {
            out << line << '\n';
        }
        for (const std::string& line : smallGroups(build.table)) {
            out << line << '\n';
        }
        if (command.listExcluded) {
            for (const ExcludedTest& excluded : build.summary.exclusions) {
                // The builder numbers rows across the tables; they are named here by table and row.
                const std::string line = describeExclusion(excluded);
                const std::string what = excluded.why == Exclusion::Retest
                    ? "a retest of the person first tested in " + numbering.name(excluded.firstRecord)
                    : line.substr(line.find(": ") + 2);
                err << "tivora-report: " << numbering.name(excluded.record) << ": " << what << '\n';
            }
        }
        if (build.table.groups.empty()) {
            err << "tivora-report: nobody could be counted: no norm written to " << command.output << '\n';
            return kExitFailure;
        }
        OutputFile file(command.output);
        file.write(formatNormTable(build.table, command.delimiter));
        file.commit();
        return kExitOk;
    } catch (const std::exception& error) {
        err << "tivora-report: " << error.what() << '\n';
        return kExitFailure;
    }
}

} // namespace report::norms
