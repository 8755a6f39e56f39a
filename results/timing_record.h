#pragma once

#include "base/file.h"
#include "engine/measurement_state.h"

#include <cstdint>
#include <string>

// The per-trial timing record beside the results table: a CSV file (`tivora4_timing.csv` beside
// `tivora4.DBF`) that gets one line per trial of every stored test, with the finer times behind the
// whole milliseconds of the row. It holds no names or birth numbers: `table_row` links a line to the
// row, and a reader checks `rt_stored_ms` against the row's stored lists before trusting the link.
//
// RFC 4180, UTF-8 (ASCII content), comma-separated, CR LF line ends, a header line naming the columns
// written once when the file is created. The columns are those of kTimingColumns, in that order.
namespace results {

// The timing record's columns, in the order they are written: the one list the writer and the readers
// take their names and order from. Times are in microseconds of the station's clock.
inline constexpr std::array<std::string_view, 15> kTimingColumns = {
    "test_time",                // local date and time of the store, ISO 8601 with the offset
    "table_row",                // 1-based record number of the test's row in the table
    "line",                     // the trial's line index in the test program
    "block",                    // practice | measured
    "series",                   // 1..4; empty for a practice trial and one past the last series
    "foreperiod_programmed_ms", // the program's foreperiod; empty for a trial timed against an earlier onset
    "foreperiod_measured_us",   // black screen out -> stimulus out; empty like the programmed one
    "onset_us",                 // the stimulus reached the screen
    "response_us",              // the response's time
    "rt_us",                    // response_us - onset_us
    "rt_stored_ms",             // the reaction time the row's lists hold, rounded
    "premature",                // presses before the stimulus
    "input",                    // key | left | right | middle | other
    "response_stamp",           // event (the window system's time stamp) | arrival
    "onset_stamp",              // server (the window system reported the frame) | flush
};
inline constexpr std::size_t kTimingColumnCount = kTimingColumns.size();

// The position of the column named `name` in kTimingColumns; evaluated where the program is compiled, so
// that a name that is not a column does not compile.
constexpr std::size_t timingColumn(std::string_view name)
{
    for (std::size_t i = 0; i < kTimingColumns.size(); ++i) {
        if (kTimingColumns[i] == name) {
            return i;
        }
    }
    throw "no such column of the timing record";
}

// The header line: the column names separated by commas, with its CR LF.
const std::string& timingRecordHeader();

// What the timing record's name adds to its table's base name.
inline constexpr const char* kTimingRecordSuffix = "_timing.csv";

// The timing record's path for the table at `tablePath`: its base name (without the extension) with
// kTimingRecordSuffix, in the same directory.
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
void appendTimingRecord(base::File& file, const std::string& lines);

// Opens (creating when missing) the timing record of the table at `tablePath` and appends the lines of
// one stored test to it; nothing is written, and no file created, when there are none. Throws
// FileError.
void storeTimingRecord(const std::string& tablePath, const engine::MeasurementState& state, std::uint32_t tableRow);

} // namespace results
