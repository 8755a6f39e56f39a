#pragma once

#include <ostream>
#include <string>
#include <vector>

// tivora-sync's command line (see usage in command_line.cpp). Exit codes: 0 done, 1 a pass or command
// could not complete (the messages say why), 2 a wrong command line or configuration, 3 the database is
// not set up for this collector (an unregistered office, a schema of another version).
namespace collection {

// Runs the command of `words` (the arguments after the program's name, UTF-8), writing results to `out`
// and messages to `err`; returns the exit code. Never throws.
int runCommandLine(const std::vector<std::string>& words, std::ostream& out, std::ostream& err);

// The same for the program's own arguments (on Windows read again from the system in UTF-8).
int runCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err);

} // namespace collection
