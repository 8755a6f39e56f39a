#pragma once

#include "report/date_field.h"
#include "report/norms/norm_builder.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

// `tivora-report norms build TABLE... --output NORMS.csv`: local norms from a lab's own tables.
namespace report::norms {

struct NormsBuildCommand
{
    std::vector<std::string> tables; // read in this order; a person's first test is found across all of them
    std::string output;
    BuildOptions options;      // name, version and source filled in with defaults when not given
    char delimiter = ',';      // ';' writes decimal commas (see formatNormTable())
    bool listExcluded = false; // every test left out, one line each, on the error stream
};

struct ParsedNormsCommand
{
    std::optional<NormsBuildCommand> command;
    std::string error; // when `command` is empty: what is wrong, for "tivora-report: <error>"
};

// Parses the arguments after "norms" ("build", the tables and the options). `today` gives the default
// version and the century of two-digit years; `order` how the tests' dates are read.
ParsedNormsCommand parseNormsCommand(const std::vector<std::string>& args, const CalendarDate& today, DateOrder order);

// The part of --help about the command.
std::string normsUsageText();

// Reads the tables, builds the norm, writes it to the output (whole or not at all, never over a table or
// its timing record) and prints the builder's summary on `out`, one line per count, and the groups too
// small to rank by. Returns kExitOk, or kExitFailure with the reason on `err` (also when nobody could be
// counted: a norm without groups would rank nobody). Never throws.
int runNormsBuild(const NormsBuildCommand& command, std::ostream& out, std::ostream& err);

} // namespace report::norms
