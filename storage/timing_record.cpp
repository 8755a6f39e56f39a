#include "storage/timing_record.h"

#include "engine/evaluation.h"
#include "storage/errors.h"

#include <string_view>

namespace storage {

const char* const kTimingRecordHeader
    = "test_time,table_row,line,block,series,foreperiod_programmed_ms,foreperiod_measured_us,onset_us,response_us,"
      "rt_us,rt_stored_ms,premature,input,response_stamp,onset_stamp\r\n";

namespace {

const char* inputName(engine::InputKind input)
{
    switch (input) {
    case engine::InputKind::Key:
        return "key";
    case engine::InputKind::Left:
        return "left";
    case engine::InputKind::Right:
        return "right";
    case engine::InputKind::Middle:
        return "middle";
    case engine::InputKind::Other:
        break;
    }
    return "other";
}

// One trial's line, without the line end.
std::string trialLine(const engine::MeasurementState& s, std::size_t line, std::uint32_t tableRow,
                      const std::string& testTime)
{
    const engine::TrialTiming& t = s.timing[line];
    const int index = static_cast<int>(line);
    const bool measured = s.seriesStart > 0 && index >= s.seriesStart;
    const int series = engine::seriesOfLine(s, index);
    std::string out = testTime + ',' + std::to_string(tableRow) + ',' + std::to_string(line) + ','
        + (measured ? "measured" : "practice") + ',' + (series > 0 ? std::to_string(series) : "") + ',';
    if (t.armed) {
        out += std::to_string(t.programmedMs) + ',' + std::to_string(t.onset.time - t.armedAt) + ',';
    } else {
        out += ",,";
    }
    const std::int32_t premature
        = line < s.prematureCount.size() ? s.prematureCount[line] : 0; // the last line counts none
    out += std::to_string(t.onset.time) + ',' + std::to_string(t.response.time) + ','
        + std::to_string(t.response.time - t.onset.time) + ',' + std::to_string(s.reactionTime[line]) + ','
        + std::to_string(premature) + ',' + inputName(t.response.input) + ','
        + (t.response.source == engine::ResponseSource::Event ? "event" : "arrival") + ','
        + (t.onset.source == engine::FrameSource::Server ? "server" : "flush");
    return out;
}

} // namespace

std::string timingRecordPath(const std::string& tablePath)
{
    const std::size_t name = tablePath.find_last_of(std::string_view("/\\")) + 1; // 0 without a directory
    const std::size_t dot = tablePath.rfind('.');
    const std::size_t baseEnd = dot != std::string::npos && dot > name ? dot : tablePath.size();
    return tablePath.substr(0, baseEnd) + "_timing.csv";
}

std::string timingRecordLines(const engine::MeasurementState& state, std::uint32_t tableRow,
                              const std::string& testTime)
{
    std::string lines;
    for (std::size_t line = 0; line < state.timing.size(); ++line) {
        if (state.timing[line].answered) {
            lines += trialLine(state, line, tableRow, testTime) + "\r\n";
        }
    }
    return lines;
}

void appendTimingRecord(File& file, const std::string& lines)
{
    FileLock lock(file);
    const std::uint64_t end = file.size();
    const std::string bytes = end == 0 ? kTimingRecordHeader + lines : lines;
    try {
        file.writeAt(end, bytes.data(), bytes.size());
        file.sync();
    } catch (const FileError&) {
        // Leave no half test for a reader (or the next append) to stumble over.
        try {
            file.truncate(end);
        } catch (const FileError&) {
            // The first failure is the one to report.
        }
        throw;
    }
}

void storeTimingRecord(const std::string& tablePath, const engine::MeasurementState& state, std::uint32_t tableRow)
{
    const std::string lines = timingRecordLines(state, tableRow, localDateTime());
    if (lines.empty()) {
        return;
    }
    const std::unique_ptr<File> file = openOrCreateFile(timingRecordPath(tablePath));
    appendTimingRecord(*file, lines);
}

} // namespace storage
