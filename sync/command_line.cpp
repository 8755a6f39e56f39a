#include "sync/command_line.h"

#include "central/migrations.h"
#include "report/output_platform.h"
#include "results/station_identity.h"
#include "sync/config.h"
#include "sync/platform.h"

#include <filesystem>
#include <string>
#include <vector>

namespace collection {

namespace {

std::string usage()
{
    return "Usage: tivora-sync [--config FILE] [--once]\n"
           "       tivora-sync [--config FILE] import [--station NAME] FOLDER...\n"
           "       tivora-sync [--config FILE] [--connection STRING] migrate\n"
           "       tivora-sync [--config FILE] [--connection STRING] add-office OFFICE ROLE\n"
           "       tivora-sync --help | --version\n"
           "\n"
           "Collects every test stored in the results tables (tivora4.DBF) of the configured folders, with the\n"
           "trials of their timing records, into the central PostgreSQL database, exactly once.\n"
           "\n"
           "  (no command)   collect until stopped ("
        + std::string(platform::kStopRequests)
        + "), a pass every poll_seconds\n"
          "  --once         one pass over every folder, then end\n"
          "  import         bring the tables in these folders into the database once (archives); a second\n"
          "                 import of the same tables adds nothing. The station's name is the folder's name\n"
          "                 unless --station gives one\n"
          "  migrate        create or update the database's schema and roles (as its administrator)\n"
          "  add-office     register an office and the login role of its collector (as the administrator)\n"
          "  --config FILE  the configuration (default "
        + platform::defaultConfigPath()
        + ")\n"
          "  --connection STRING  a libpq connection string or URI in place of the configuration's\n"
          "\n"
          "Passwords are taken only from libpq's password file (PGPASSFILE, "
        + std::string(platform::kPasswordFile) + ") or from PGPASSWORD.\n";
}

struct Arguments
{
    std::string config = platform::defaultConfigPath();
    std::optional<std::string> connection;
    std::optional<std::string> station;
    bool once = false;
    bool trace = false;
    std::string command;
    std::vector<std::string> operands;
};

// Throws ConfigError for a wrong command line.
Arguments parse(const std::vector<std::string>& words)
{
    Arguments args;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& arg = words[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= words.size()) {
                throw ConfigError(arg + " needs a value");
            }
            return words[++i];
        };
        if (arg == "--config") {
            args.config = value();
        } else if (arg == "--connection") {
            args.connection = value();
        } else if (arg == "--station") {
            args.station = value();
        } else if (arg == "--once") {
            args.once = true;
        } else if (arg == "--trace") {
            args.trace = true;
        } else if (arg.rfind("--", 0) == 0 || (arg == "-h")) {
            throw ConfigError("unknown option " + arg);
        } else if (args.command.empty() && (arg == "import" || arg == "migrate" || arg == "add-office")) {
            args.command = arg;
        } else {
            args.operands.push_back(arg);
        }
    }
    const std::size_t wanted = args.command == "add-office" ? 2 : 0;
    if (args.command == "import" ? args.operands.empty() : args.operands.size() != wanted) {
        throw ConfigError("wrong number of arguments");
    }
    return args;
}

// The settings for the administrator's commands: the configuration's connection, or the one given.
central::ConnectionSettings adminConnection(const Arguments& args)
{
    central::ConnectionSettings connection;
    if (args.connection) {
        central::refusePassword(*args.connection, "given with --connection");
        connection.conninfo = *args.connection;
    } else {
        connection = readConfig(args.config).connection;
    }
    connection.applicationName = "tivora-sync";
    return connection;
}

int administer(const Arguments& args, std::ostream& out)
{
    central::Connection db(adminConnection(args));
    if (args.command == "migrate") {
        const std::vector<std::string> applied = central::migrate(db);
        for (const std::string& name : applied) {
            out << "applied " << name << "\n";
        }
        out << "The " << db.describe() << " has schema version " << central::schemaVersion(db)
            << (applied.empty() ? " (nothing to do)" : "") << "\n";
        return 0;
    }
    central::requireCurrentSchema(db);
    db.exec("SELECT tivora.add_office($1, $2)", {args.operands[0], args.operands[1]});
    out << "Office " << args.operands[0] << " is collected by role " << args.operands[1] << "\n";
    return 0;
}

int collect(const Arguments& args, std::ostream& out, std::ostream& err)
{
    CollectorSettings settings = readConfig(args.config);
    if (args.connection) {
        central::refusePassword(*args.connection, "given with --connection");
        settings.connection.conninfo = *args.connection;
    }
    settings.connection.applicationName = "tivora-sync";
    settings.host = results::stationName();
    if (args.command == "import") {
        settings.folders.clear();
        for (const std::string& folder : args.operands) {
            const std::string name = std::filesystem::u8path(folder).lexically_normal().filename().u8string();
            settings.folders.push_back({args.station.value_or(name.empty() ? folder : name), folder});
        }
    }
    if (settings.folders.empty()) {
        throw ConfigError(args.config + ": no station's folder to watch ([Station name] with folder = ...)");
    }
    const auto log = [&err](const std::string& line) { err << "tivora-sync: " << line << std::endl; };
    const auto trace = [&err](const std::string& line) { err << "trace: " << line << std::endl; };
    Collector collector(settings, log, args.trace ? Log(trace) : Log());
    if (args.once || args.command == "import") {
        const bool done = collector.collectOnce();
        const CollectTotals& totals = collector.totals();
        out << totals.tests << " new tests, " << totals.versions << " new versions, trials of " << totals.trials
            << " tests\n";
        return done ? 0 : 1;
    }
    platform::watchStopRequests();
    log("collecting " + std::to_string(settings.folders.size()) + " folder(s) for office " + settings.office);
    collector.run(platform::stopRequested);
    log("stopped");
    platform::runEnded();
    return 0;
}

} // namespace

int runCommandLine(const std::vector<std::string>& words, std::ostream& out, std::ostream& err)
{
    for (const std::string& arg : words) {
        if (arg == "--help" || arg == "-h") {
            out << usage();
            return 0;
        }
        if (arg == "--version") {
            out << "tivora-sync " << TIVORA_VERSION << "\n";
            return 0;
        }
    }
    try {
        const Arguments args = parse(words);
        if (args.command == "migrate" || args.command == "add-office") {
            return administer(args, out);
        }
        return collect(args, out, err);
    } catch (const ConfigError& error) {
        err << "tivora-sync: " << error.what() << "\n" << usage();
        return 2;
    } catch (const central::SettingError& error) {
        err << "tivora-sync: " << error.what() << "\n";
        return 2;
    } catch (const SetupError& error) {
        err << "tivora-sync: " << error.what() << "\n";
        return 3;
    } catch (const std::exception& error) {
        err << "tivora-sync: " << error.what() << "\n";
        return 1;
    }
}

int runCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err)
{
    return runCommandLine(report::platform::commandLineArguments(argc, argv), out, err);
}

} // namespace collection
