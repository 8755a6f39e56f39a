#include "report/test_support.h"

#include "engine/evaluation.h"
#include "engine/program_lines.h"
#include "storage/dbf_table.h"

#include <stdexcept>

namespace report::testing {

const char* const kSampleProgram
    = "3\r\n2\r\n4\r\n77 tivora2.rtf\r\n2\r\n3\r\n1\r\n4\r\n2\r\n3\r\n1\r\n2\r\n3\r\n2\r\n4\r\n"
      "1\r\n2\r\n3\r\n1\r\n2\r\n88 tivora3.rtf\r\n8\r\n8";

results::ResultRecord evaluatedRecord(const std::string& program, const std::vector<std::uint32_t>& reactionTimes,
                                      const std::vector<int>& premature, const results::Identity& subject)
{
    const engine::TestProgram lines(program);
    engine::MeasurementState state;
    engine::nulovani(state);
    std::size_t trial = 0;
    for (int i = 0; i < lines.lineCount(); ++i) {
        const engine::LineKind kind = engine::lineKind(lines.line(i));
        if (kind == engine::LineKind::StartMarker) {
            state.seriesStart = i + 1;
        } else if (kind == engine::LineKind::EndMarker) {
            state.endMarkerIndex = i;
            break;
        } else if (kind == engine::LineKind::Foreperiod && i <= engine::kLastTrialIndex) {
            const auto line = static_cast<std::size_t>(i);
            state.reactionTime[line] = trial < reactionTimes.size() ? reactionTimes[trial] : 0U;
            state.prematureCount[line] = trial < premature.size() ? premature[trial] : 0;
            ++trial;
        }
    }
    results::ResultRecord record;
    engine::vyhodnoceni(state, lines, [&](const engine::MeasurementState& evaluated) {
        record = results::makeResultRecord(evaluated, subject);
    });
    return record;
}

results::ResultRecord rawRecord(const results::Identity& subject, const std::vector<RawSeries>& series)
{
    results::ResultRecord record;
    record.values[results::kSurname] = subject.surname;
    record.values[results::kFirstName] = subject.firstName;
    record.values[results::kBirthNumber1] = subject.birthNumber1;
    record.values[results::kBirthNumber2] = subject.birthNumber2;
    record.values[results::kDate] = subject.date;
    for (std::size_t n = 0; n < static_cast<std::size_t>(results::kSeriesCount); ++n) {
        const RawSeries given = n < series.size() ? series[n] : RawSeries {};
        record.values[results::kFirstCount + n] = given.count;
        record.values[results::kFirstMean + n] = given.mean;
        record.values[results::kFirstPremature + n] = given.premature;
        record.values[results::kFirstList + 2 * n] = given.listA;
        record.values[results::kFirstList + 2 * n + 1] = given.listB;
    }
    return record;
}

void appendRecords(const std::string& path, const std::vector<results::ResultRecord>& records)
{
    auto table = storage::OpenTableFile(path, storage::OpenMode::ReadWrite, storage::IfMissing::Create,
                                        results::resultTableFields());
    storage::RowBuffer row = table->newRow();
    for (const results::ResultRecord& record : records) {
        row = table->newRow();
        for (std::size_t i = 0; i < record.values.size(); ++i) {
            storage::EncodeField(row, table->fields()[i],
                                 storage::checkAssignment(table->fields()[i], record.values[i]));
        }
        table->appendRow(row);
    }
    storage::CloseTableFile(table);
}

void deleteRecord(const std::string& path, std::uint32_t record)
{
    auto table = storage::OpenTableFile(path, storage::OpenMode::ReadWrite, storage::IfMissing::Fail);
    table->markRowDeleted(record);
    storage::CloseTableFile(table);
}

std::string listOf(const std::vector<std::uint32_t>& values)
{
    std::string list;
    for (const std::uint32_t value : values) {
        list += std::to_string(value) + "|";
    }
    return list;
}

} // namespace report::testing
