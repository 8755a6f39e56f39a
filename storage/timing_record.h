#pragma once

#include "engine/measurement_state.h"
#include "storage/file.h"

#include <cstdint>
#include <string>

// The per-trial timing record beside the results table: a CSV file (`tivora4_timing.csv` beside
// `tivora4.DBF`) that gets one line per trial of every stored test, with the finer times behind the
// whole milliseconds of the row. It holds no names or birth numbers: `table_row` links a line to the
// row, and a reader checks `rt_stored_ms` against the row's stored lists before trusting the link.
//
// RFC 4180, UTF-8 (ASCII content), comma-separated, CR LF line ends, a header line written once when
// the file is created. Columns, in order: test_time, table_row, line, block (practice | measured),
// series (1..4 or empty), foreperiod_programmed_ms, foreperiod_measured_us, onset_us, response_us,
// rt_us, rt_stored_ms, premature, input (key | left | right | middle | other), response_stamp
// (event | arrival), onset_stamp (server | flush). The two foreperiod columns are empty for a trial
// with no foreperiod of its own (one timed against an earlier onset).
namespace storage {

// The header line, with its CR LF.
extern const char* const kTimingRecordHeader;

// The timing record's path for the table at `tablePath`: its base name (without the extension) with
// "_timing.csv", in the same directory.
std::string timingRecordPath(const std::string& tablePath);

// The lines of one stored test, one per answered trial in line order, each ending with CR LF. Empty
// when no trial was answered. `testTime` is the local date and time of the store (ISO 8601 with the
// offset), `tableRow` the 1-based record number of the row stored for the test.
std::string timingRecordLines(const engine::MeasurementState& state, std::uint32_t tableRow,
                              const std::string& testTime);

// Appends `lines` to the timing record in `file` under its exclusive lock, at the file's real end
// (another station may have appended meanwhile), writing the header first when the file is empty, and
// returns once everything is on the storage device. A failed write cuts the file back to where it
// was, so that no half test is left behind. Throws FileError.
void appendTimingRecord(File& file, const std::string& lines);

// Opens (creating when missing) the timing record of the table at `tablePath` and appends the lines of
// one stored test to it; nothing is written, and no file created, when there are none. Throws
// FileError.
void storeTimingRecord(const std::string& tablePath, const engine::MeasurementState& state, std::uint32_t tableRow);

} // namespace storage
