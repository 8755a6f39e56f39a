#pragma once

#include <ostream>
#include <string>

// `tivora-report verify TABLE`: the audit journal beside a results table replayed against the table's rows.
namespace report {

// The exit code of a verify that found the table and its journal disagreeing: a row changed, added or
// missing outside the program, the journal's chain broken, or no journal beside a table that has rows.
// (0: all consistent; 1: the table or the journal could not be read; 2: a wrong command line.)
inline constexpr int kExitInconsistent = 4;

// Reads the table at `table` and the journal beside it (shared reading: neither is locked nor written), runs
// the chain check and the replay, and prints on `out` what it found for every row, any break of the chain
// with the line where it breaks, a last line cut short, and the verdict. Errors go to `err`. Returns the
// exit code. Never throws.
int runVerify(const std::string& table, std::ostream& out, std::ostream& err);

} // namespace report
