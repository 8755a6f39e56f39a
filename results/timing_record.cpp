#include "results/timing_record.h"

#include "base/error.h"
#include "base/local_date.h"
#include "engine/evaluation.h"

namespace results {

namespace {

// A column's position as a constant of the program.
template<std::size_t Position>
struct Col
{
    static constexpr std::size_t value = Position;
};

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

// One trial's line, without the line end: its fields in the order of kTimingColumns.
std::string trialLine(const engine::MeasurementState& s, std::size_t line, std::uint32_t tableRow,
                      const std::string& testTime)
{
    const engine::TrialTiming& t = s.timing[line];
    const int index = static_cast<int>(line);
    const bool measured = s.seriesStart > 0 && index >= s.seriesStart;
    const int series = engine::seriesOfLine(s, index);
    const std::int32_t premature
        = line < s.prematureCount.size() ? s.prematureCount[line] : 0; // the last line counts none
    std::array<std::string, kTimingColumnCount> fields;
    // Each name is looked up when the program is compiled: one that is not a column does not compile.
    const auto set = [&fields](std::size_t column, std::string value) { fields[column] = std::move(value); };
    set(Col<timingColumn("test_time")>::value, testTime);
    set(Col<timingColumn("table_row")>::value, std::to_string(tableRow));
    set(Col<timingColumn("line")>::value, std::to_string(line));
    set(Col<timingColumn("block")>::value, measured ? "measured" : "practice");
    set(Col<timingColumn("series")>::value, series > 0 ? std::to_string(series) : "");
    if (t.armed) {
        set(Col<timingColumn("foreperiod_programmed_ms")>::value, std::to_string(t.programmedMs));
        set(Col<timingColumn("foreperiod_measured_us")>::value, std::to_string(t.onset.time - t.armedAt));
    }
    set(Col<timingColumn("onset_us")>::value, std::to_string(t.onset.time));
    set(Col<timingColumn("response_us")>::value, std::to_string(t.response.time));
    set(Col<timingColumn("rt_us")>::value, std::to_string(t.response.time - t.onset.time));
    set(Col<timingColumn("rt_stored_ms")>::value, std::to_string(s.reactionTime[line]));
    set(Col<timingColumn("premature")>::value, std::to_string(premature));
    set(Col<timingColumn("input")>::value, inputName(t.response.input));
    set(Col<timingColumn("response_stamp")>::value,
        t.response.source == engine::ResponseSource::Event ? "event" : "arrival");
    set(Col<timingColumn("onset_stamp")>::value, t.onset.source == engine::FrameSource::Server ? "server" : "flush");
    std::string out = fields[0];
    for (std::size_t i = 1; i < fields.size(); ++i) {
        out += ',' + fields[i];
    }
    return out;
}

} // namespace

const std::string& timingRecordHeader()
{
    static const std::string header = [] {
        std::string line;
        for (const std::string_view column : kTimingColumns) {
            line += (line.empty() ? "" : ",") + std::string(column);
        }
        return line + "\r\n";
    }();
    return header;
}

std::string timingRecordPath(const std::string& tablePath)
{
    const std::size_t name = tablePath.find_last_of(std::string_view("/\\")) + 1; // 0 without a directory
    const std::size_t dot = tablePath.rfind('.');
    const std::size_t baseEnd = dot != std::string::npos && dot > name ? dot : tablePath.size();
    return tablePath.substr(0, baseEnd) + kTimingRecordSuffix;
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

void appendTimingRecord(base::File& file, const std::string& lines)
{
    base::appendWhole(file, timingRecordHeader(), lines);
}

void storeTimingRecord(const std::string& tablePath, const engine::MeasurementState& state, std::uint32_t tableRow)
{
    const std::string lines = timingRecordLines(state, tableRow, base::localDateTime());
    if (lines.empty()) {
        return;
    }
    const std::unique_ptr<base::File> file = base::openOrCreateFile(timingRecordPath(tablePath));
    appendTimingRecord(*file, lines);
}

} // namespace results
