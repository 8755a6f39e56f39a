#pragma once

#include "report/export.h"
#include "report/test_source.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// The command line of tivora-report: the batch face (export, protocol) and the window.
namespace report {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;   // nothing (or not everything) was written; the reason is on stderr
inline constexpr int kExitUsage = 2;     // the command line is wrong
inline constexpr int kExitRowErrors = 3; // written, but some rows could not be read in full (listed on stderr)

enum class CommandKind { Window, Export, Protocol, Verify, Keygen, Help, Version };

struct Command
{
    CommandKind kind = CommandKind::Window;
    std::string table;  // may be empty for the window
    std::string output; // export and protocol; "-" is the standard output for CSV
    std::uint32_t row = 0;
    ExportOptions exportOptions;
    std::string normsPath;  // --norms: the norm table to rank by (loadNorms() reads it), empty for none
    std::string database;   // a libpq connection string or URI, read in place of a table
    TestFilter filter;      // export only
    std::uint64_t test = 0; // protocol from the database: the test's number
    std::string keyFile;    // keygen: the file to create; export: the key of --pseudonymise (empty: none)
};

struct ParsedCommandLine
{
    std::optional<Command> command;
    std::string error; // when `command` is empty: what is wrong, for "tivora-report: <error>"
};

// Parses the arguments after the program name. Options may come in any order after the command word;
// every option takes its value as the next argument or after "=" (`--format=csv`).
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

// Reads the norm table of `command.normsPath`, when one is named, into its export options (the current
// year from the local calendar). Throws what readNormTableFile() throws.
void loadNorms(Command& command);

// The text of --help.
std::string usageText();

// Opens the central database for a command: given by a program built with database access. Throws
// what opening throws.
using DatabaseOpener = std::function<std::unique_ptr<TestSource>(const std::string& conninfo)>;

// The source a command reads: its table (warnings about the timing record on `err`) or its database
// through `openDatabase`. Throws ReportError "this tivora-report has no database access" when a
// database is named and `openDatabase` is empty, and what opening throws.
std::unique_ptr<TestSource> openSource(const Command& command, std::ostream& err, const DatabaseOpener& openDatabase);

// Runs an export command: writes the file, then lists the rows' problems on `err`. Returns the exit
// code. Never throws.
int runExport(const Command& command, std::ostream& err, const DatabaseOpener& openDatabase = {});

// Runs a keygen command: creates the lab's key file and says on `out` where it is and how to keep it.
// Returns the exit code; a failure is named on `err`. Never throws.
int runKeygen(const Command& command, std::ostream& out, std::ostream& err);

// The timing record beside `table`, or null when there is none; one that cannot be read is named on
// `err` as a warning, and the table alone is used. Its lines that cannot be read are named as warnings.
std::unique_ptr<TimingRecord> timingRecordBeside(const std::string& table, std::ostream& err);

} // namespace report
