#include "results/station_log.h"

#include "base/error.h"

#include <cmath>

namespace results {

const char* const kStationLogHeader
    = "time,station,verdict,refresh_hz,foreperiod_error_median_us,foreperiod_error_p95_us,frame_latency_median_us,"
      "frame_latency_p95_us,onset_source\r\n";

namespace {

void appendValue(std::string& line, const std::string& text)
{
    std::string value;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        value += byte < 0x20U || byte == 0x7FU ? '?' : c;
    }
    if (value.find_first_of(",\"") == std::string::npos) {
        line += value;
        return;
    }
    line += '"';
    for (const char c : value) {
        line += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    line += '"';
}

} // namespace

std::string stationLogPath(const std::string& tablePath)
{
    // The same base name as the table's other companions (see timingRecordPath()).
    const std::size_t slash = tablePath.find_last_of("/\\");
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = tablePath.rfind('.');
    const std::size_t baseEnd = dot != std::string::npos && dot > name ? dot : tablePath.size();
    return tablePath.substr(0, baseEnd) + kStationLogSuffix;
}

std::string stationLogLine(const StationSelfTest& test)
{
    std::string line;
    appendValue(line, test.time);
    line += ',';
    appendValue(line, test.station);
    line += test.fit ? ",fit," : ",unfit,";
    if (test.refreshHz && std::isfinite(*test.refreshHz) && *test.refreshHz > 0) {
        line += std::to_string(std::lround(*test.refreshHz));
    }
    for (const std::int64_t us : {test.foreperiodMedianUs, test.foreperiodP95Us, test.frameMedianUs, test.frameP95Us}) {
        line += ',' + std::to_string(us);
    }
    line += ',';
    appendValue(line, test.onsetSource);
    return line + "\r\n";
}

void appendStationLog(base::File& file, const StationSelfTest& test)
{
    base::appendWhole(file, kStationLogHeader, stationLogLine(test));
}

} // namespace results
