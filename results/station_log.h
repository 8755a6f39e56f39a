#pragma once

#include "base/file.h"

#include <cstdint>
#include <optional>
#include <string>

// The stations' self-tests beside a results table: `tivora4_stations.csv` beside `tivora4.DBF`, one line
// per run of `tivora --self-test` in the test folder. A protocol names the station that stored a test and
// that station's latest self-test before it, so that a reader knows the set-up a norm applies to.
//
// The file: CSV, UTF-8, CR LF line ends, comma-separated, the header line first (kStationLogHeader). A
// value holding a comma or a quote is quoted, its quotes doubled; control characters are never written
// (a host name's become '?'). Columns:
//   time                        local time of the run, ISO 8601 with the offset ("2026-12-08T14:03:12+01:00")
//   station                     the computer's host name
//   verdict                     fit | unfit, as the self-test judged the station
//   refresh_hz                  the display's refresh rate, whole Hz; empty when the system does not say
//   foreperiod_error_median_us  the foreperiod's end: stimulus out minus programmed end, median (signed)
//   foreperiod_error_p95_us     95 % of the foreperiods end within this (absolute values)
//   frame_latency_median_us     from the paint until the window system had the frame, median
//   frame_latency_p95_us        95th percentile of the same
//   onset_source                server: the window system's time of the frame | flush: the station's clock
//                               after sending it
// Appends follow the timing record's discipline: under the file's exclusive lock, at its real end, the
// header first when the file is empty, on the disk before the lock is released, and cut back on failure,
// so that stations sharing a test folder never interleave or leave half a line.
namespace results {

inline constexpr const char* kStationLogSuffix = "_stations.csv";
extern const char* const kStationLogHeader; // with its CR LF

// One run of the self-test.
struct StationSelfTest
{
    std::string time;    // as above
    std::string station; // host name, UTF-8
    bool fit = false;
    std::optional<double> refreshHz;
    std::int64_t foreperiodMedianUs = 0;
    std::int64_t foreperiodP95Us = 0;
    std::int64_t frameMedianUs = 0;
    std::int64_t frameP95Us = 0;
    std::string onsetSource; // "server" or "flush"
};

// The log's path for the table at `tablePath`: its base name (without the extension) with
// kStationLogSuffix, in the same directory.
std::string stationLogPath(const std::string& tablePath);

// The line of `test`, CR LF ended.
std::string stationLogLine(const StationSelfTest& test);

// Appends the line of `test` to the log in `file` as described above. Throws base::FileError.
void appendStationLog(base::File& file, const StationSelfTest& test);

} // namespace results
