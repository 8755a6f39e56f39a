#pragma once

#include <ostream>

// tivora-sync's command line (see usage in command_line.cpp). Exit codes: 0 done, 1 a pass or command
// could not complete (the messages say why), 2 a wrong command line or configuration, 3 the database is
// not set up for this collector (an unregistered office, a schema of another version).
namespace collection {

int runCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err);

} // namespace collection
