#include "storage/result_record.h"

#include "text/messages.h"

#include <algorithm>

namespace storage {

namespace {

struct FieldConstant
{
    const char* name;
    char type;
    int width;
};

// The schema of the results table. The names are data, stored in every file, and must stay exactly so.
constexpr FieldConstant kResultFields[kResultFieldCount] = {
    {"PRIJM", 'C', 15},    {"JMENO", 'C', 12},    {"RC_1", 'C', 6},     {"RC_2", 'C', 4},      {"DATE", 'C', 12},
    {"POC_1SER", 'N', 3},  {"POC_2SER", 'N', 3},  {"POC_3SER", 'N', 3}, {"POC_4SER", 'N', 3},  {"PRUMER1", 'F', 8},
    {"PRUMER2", 'F', 8},   {"PRUMER3", 'F', 8},   {"PRUMER4", 'F', 8},  {"POC_PRED1", 'N', 3}, {"POC_PRED2", 'N', 3},
    {"POC_PRED3", 'N', 3}, {"POC_PRED4", 'N', 3}, {"SER1A", 'C', 254},  {"SER1B", 'C', 254},   {"SER2A", 'C', 254},
    {"SER2B", 'C', 254},   {"SER3A", 'C', 254},   {"SER3B", 'C', 254},  {"SER4A", 'C', 254},   {"SER4B", 'C', 254},
};

constexpr std::size_t kFirstCount = 5;
constexpr std::size_t kFirstMean = 9;
constexpr std::size_t kFirstPremature = 13;
constexpr std::size_t kFirstList = 17;

constexpr const char* kCappedNotice = "Hodnota %d se nevejde do pole %s: uloženo %d";

// Puts `value` into whole-number field `index` of `record`, capped to what the field's digits hold.
void setCount(ResultRecord& record, std::size_t index, std::int64_t value)
{
    const FieldConstant& field = kResultFields[index];
    std::int64_t largest = 1;
    for (int i = 0; i < field.width; ++i) {
        largest *= 10;
    }
    largest -= 1;                                  // 999 for three digits
    const std::int64_t smallest = -(largest / 10); // -99: the minus sign takes a digit's place
    const std::int64_t stored = std::clamp(value, smallest, largest);
    if (stored != value) {
        record.capped.push_back({field.name, value, stored});
    }
    record.values[index] = stored;
}

} // namespace

const std::vector<TableFieldDef>& resultTableFields()
{
    static const std::vector<TableFieldDef> fields = [] {
        std::vector<TableFieldDef> list;
        for (const FieldConstant& constant : kResultFields) {
            TableFieldDef field;
            field.name = constant.name;
            field.type = constant.type;
            field.width = constant.width;
            list.push_back(field);
        }
        return list;
    }();
    return fields;
}

ResultRecord makeResultRecord(const engine::MeasurementState& state, const SubjectIdentity& subject)
{
    ResultRecord record;
    record.values[0] = subject.surname;
    record.values[1] = subject.firstName;
    record.values[2] = subject.birthNumber1;
    record.values[3] = subject.birthNumber2;
    record.values[4] = subject.date;
    constexpr auto kSeries = static_cast<std::size_t>(engine::kSeriesCount);
    // Family by family, so that capped counts are listed in field order.
    for (std::size_t n = 0; n < kSeries; ++n) {
        setCount(record, kFirstCount + n, state.seriesCount[n]);
        record.values[kFirstMean + n] = state.seriesMean[n];
    }
    for (std::size_t n = 0; n < kSeries; ++n) {
        setCount(record, kFirstPremature + n, state.prematureSum[n]);
        record.values[kFirstList + 2 * n] = state.seriesTextA[n];
        record.values[kFirstList + 2 * n + 1] = state.seriesTextB[n];
    }
    return record;
}

std::string cappedValueNotice(const CappedValue& capped)
{
    return text::formatMessage(
        kCappedNotice, {static_cast<long long>(capped.value), capped.field, static_cast<long long>(capped.stored)});
}

} // namespace storage
