#include "report/record_decoder.h"

#include "report/report_error.h"
#include "text/cp852.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace report {

namespace {

using results::kBirthNumber1;
using results::kBirthNumber2;
using results::kDate;
using results::kFirstCount;
using results::kFirstList;
using results::kFirstMean;
using results::kFirstName;
using results::kFirstPremature;
using results::kSurname;

bool isBlank(char c)
{
    return static_cast<unsigned char>(c) <= 0x20U;
}

// `text` without the padding behind it.
std::string_view trimTrailingBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    return trimTrailingBlanks(text);
}

// True when the table engine reads `text` as the number it shows, not as the 0 it gives for text that
// is no number.
bool readsAsNumber(std::string_view text, storage::FieldKind kind)
{
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    const char* end = text.data() + text.size();
    if (kind == storage::FieldKind::Float) {
        double value = 0.0;
        const auto result = std::from_chars(text.data(), end, value, std::chars_format::general);
        return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
    }
    std::int64_t value = 0;
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

bool isNumericKind(storage::FieldKind kind)
{
    return kind == storage::FieldKind::Int16 || kind == storage::FieldKind::Int32 || kind == storage::FieldKind::Int64
        || kind == storage::FieldKind::Float;
}

std::string textOf(const storage::FieldValue& value)
{
    const auto* text = std::get_if<std::string>(&value);
    return text ? *text : std::string();
}

std::optional<std::int64_t> integerOf(const storage::FieldValue& value)
{
    if (const auto* whole = std::get_if<std::int64_t>(&value)) {
        return *whole;
    }
    if (const auto* number = std::get_if<double>(&value);
        number && std::trunc(*number) == *number && std::fabs(*number) < 9.0e15) {
        return static_cast<std::int64_t>(*number);
    }
    return std::nullopt;
}

std::optional<double> doubleOf(const storage::FieldValue& value)
{
    if (const auto* whole = std::get_if<std::int64_t>(&value)) {
        return static_cast<double>(*whole);
    }
    if (const auto* number = std::get_if<double>(&value)) {
        return *number;
    }
    return std::nullopt;
}

} // namespace

RecordDecoder::RecordDecoder(const std::vector<storage::TableFieldDef>& fields, const std::string& name)
{
    const auto& schema = results::resultTableFields();
    for (std::size_t i = 0; i < schema.size(); ++i) {
        const auto found = std::find_if(fields.begin(), fields.end(), [&](const storage::TableFieldDef& field) {
            return field.name == schema[i].name;
        });
        if (found == fields.end()) {
            throw ReportError(name + " is not a results table: it has no field " + schema[i].name);
        }
        m_fields[i] = *found;
        m_minimumLength = std::max(m_minimumLength, found->offset + static_cast<std::size_t>(found->width));
    }
}

const RecordDecoder& RecordDecoder::standard()
{
    static const RecordDecoder decoder = [] {
        // As a file's fields are read from its header: each one's kind from its letter, width and decimals.
        std::vector<storage::TableFieldDef> fields;
        std::size_t offset = 1;
        for (const storage::TableFieldDef& field : results::resultTableFields()) {
            fields.push_back(storage::normalizeFieldDef(field.name, field.type, field.width, field.decimals));
            fields.back().offset = offset;
            offset += static_cast<std::size_t>(fields.back().width);
        }
        return RecordDecoder(fields, "the program's table");
    }();
    return decoder;
}

std::string RecordDecoder::rawText(const storage::RowBuffer& row, std::size_t schemaIndex) const
{
    const storage::TableFieldDef& def = field(schemaIndex);
    const auto* bytes = reinterpret_cast<const char*>(row.data()) + def.offset;
    return std::string(trimBlanks(std::string_view(bytes, static_cast<std::size_t>(def.width))));
}

void RecordDecoder::appendBirthDigits(const storage::RowBuffer& row, std::string& out) const
{
    for (const std::size_t index : {kBirthNumber1, kBirthNumber2}) {
        const storage::TableFieldDef& def = field(index);
        const auto* bytes = row.data() + def.offset;
        for (std::size_t i = 0; i < static_cast<std::size_t>(def.width); ++i) {
            if (bytes[i] != ' ') {
                out += static_cast<char>(bytes[i]);
            }
        }
    }
}

storage::FieldValue RecordDecoder::storedValue(const storage::RowBuffer& row, std::size_t schemaIndex,
                                               Texts texts) const
{
    const storage::TableFieldDef& def = field(schemaIndex);
    if (def.kind != storage::FieldKind::Text || texts == Texts::Trimmed) {
        return storage::DecodeField(row, def);
    }
    const auto* bytes = reinterpret_cast<const char*>(row.data()) + def.offset;
    const std::string_view text = trimTrailingBlanks(std::string_view(bytes, static_cast<std::size_t>(def.width)));
    return text.empty() ? storage::FieldValue {} : storage::FieldValue {text::decodeCp852(text)};
}

TestIdentity RecordDecoder::identity(const storage::RowBuffer& row, std::uint32_t record) const
{
    TestIdentity identity;
    identity.record = record;
    identity.surname = textOf(storage::DecodeField(row, field(kSurname)));
    identity.firstName = textOf(storage::DecodeField(row, field(kFirstName)));
    identity.birthNumber1 = textOf(storage::DecodeField(row, field(kBirthNumber1)));
    identity.birthNumber2 = textOf(storage::DecodeField(row, field(kBirthNumber2)));
    identity.date = textOf(storage::DecodeField(row, field(kDate)));
    return identity;
}

StoredTest RecordDecoder::decode(const storage::RowBuffer& row, std::uint32_t record, Texts texts) const
{
    StoredTest test;
    test.identity = identity(row, record);
    for (std::size_t i = 0; i < results::kResultFieldCount; ++i) {
        test.values[i] = storedValue(row, i, texts);
        const storage::TableFieldDef& def = field(i);
        if (isNumericKind(def.kind) && !storage::isNull(test.values[i])) {
            const std::string raw = rawText(row, i);
            if (!readsAsNumber(raw, def.kind)) {
                const int series = static_cast<int>((i - kFirstCount) % kSeriesCount) + 1;
                test.issues.push_back(
                    {IssueKind::NumberFieldInvalid, series, def.name, text::decodeCp852(raw), 0, 0, 0});
                test.values[i] = storage::FieldValue {};
            }
        }
    }
    for (std::size_t n = 0; n < static_cast<std::size_t>(kSeriesCount); ++n) {
        StoredSeries& series = test.series[n];
        series.count = integerOf(test.values[kFirstCount + n]);
        series.mean = doubleOf(test.values[kFirstMean + n]);
        series.premature = integerOf(test.values[kFirstPremature + n]);
        series.listA = std::string(trimBlanks(textOf(test.values[kFirstList + 2 * n])));
        series.listB = std::string(trimBlanks(textOf(test.values[kFirstList + 2 * n + 1])));
    }
    return test;
}

} // namespace report
