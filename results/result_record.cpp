#include "results/result_record.h"

#include "text/messages.h"

#include <algorithm>

namespace results {

namespace {

constexpr const char* kCappedNotice = "Hodnota %d se nevejde do pole %s: uloženo %d";

// Puts `value` into whole-number field `index` of `record`, capped to what the field's digits hold.
void setCount(ResultRecord& record, std::size_t index, std::int64_t value)
{
    const storage::TableFieldDef& field = resultTableFields()[index];
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

ResultRecord makeResultRecord(const engine::MeasurementState& state, const Identity& subject)
{
    ResultRecord record;
    record.values[kSurname] = subject.surname;
    record.values[kFirstName] = subject.firstName;
    record.values[kBirthNumber1] = subject.birthNumber1;
    record.values[kBirthNumber2] = subject.birthNumber2;
    record.values[kDate] = subject.date;
    constexpr auto kSeries = static_cast<std::size_t>(kSeriesCount);
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

} // namespace results
