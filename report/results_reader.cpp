#include "report/results_reader.h"

#include "base/file.h"
#include "report/report_error.h"
#include "storage/dbf_format.h"
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

ResultsReader::ResultsReader(const std::string& path)
    : m_path(path)
{
    storage::TableOptions options;
    options.notice = [this](const std::string& text) { m_notices.push_back(text); };
    try {
        m_table = storage::OpenTableFile(path, storage::OpenMode::ReadOnly, storage::IfMissing::Fail, {}, options);
    } catch (const std::exception& error) {
        // The table engine's own texts ("Invalid field count : -1 ...") do not always say which file.
        if (std::string(error.what()).find(path) != std::string::npos) {
            throw;
        }
        throw fileError(text::messages::kCannotReadFile, path, error.what());
    }
    const auto& fields = m_table->fields();
    const auto& schema = results::resultTableFields();
    for (std::size_t i = 0; i < schema.size(); ++i) {
        std::size_t found = fields.size();
        for (std::size_t f = 0; f < fields.size(); ++f) {
            if (fields[f].name == schema[i].name) {
                found = f;
                break;
            }
        }
        if (found == fields.size()) {
            throw ReportError(path + " is not a results table: it has no field " + schema[i].name);
        }
        m_fieldIndex[i] = found;
    }
    m_identity = base::fileIdentity(path);
    refresh();
}

ResultsReader::~ResultsReader() = default;

std::uint32_t ResultsReader::recordCount() const
{
    return m_table->rowCount();
}

std::uint32_t ResultsReader::refresh()
{
    const std::uint32_t count = m_table->refreshRowCount();
    m_sizeCounted = m_table->headerLength() + std::uint64_t {count} * m_table->recordLength();
    return count;
}

void ResultsReader::changed(const std::string& what) const
{
    throw fileError(text::messages::kCannotReadFile, m_path, "it was changed while it was read (" + what + ")");
}

void ResultsReader::checkUnchanged()
{
    if (base::fileIdentity(m_path) != m_identity) {
        changed("another file has taken its name");
    }
    base::File& file = m_table->file();
    if (file.size() < m_sizeCounted) {
        changed("it is shorter than its rows");
    }
    // Stations rewrite only the date (bytes 1-3) and the row count (4-7) of the header.
    const std::vector<unsigned char>& opened = m_table->header();
    std::vector<unsigned char> now(opened.size());
    const std::size_t got = file.readAt(0, now.data(), now.size());
    const auto structureDiffers = [&](std::size_t from, std::size_t to) {
        return !std::equal(opened.begin() + static_cast<std::ptrdiff_t>(from),
                           opened.begin() + static_cast<std::ptrdiff_t>(to),
                           now.begin() + static_cast<std::ptrdiff_t>(from));
    };
    if (got < opened.size() || structureDiffers(0, 1) || structureDiffers(8, opened.size())) {
        changed("its header is not the one it had");
    }
}

bool ResultsReader::load(std::uint32_t record)
{
    if (record < 1 || record > recordCount() || m_row.size() != m_table->recordLength()) {
        m_table->loadRow(record, m_row); // the table's own error for a number outside, or a fresh buffer
    }
    // Every record counted was whole in the file when counted; one that is not now was cut off, and the
    // buffer would still hold the record read before it.
    if (m_table->readPage(record, m_row.data()) < m_row.size()) {
        changed("it is shorter than its rows");
    }
    return m_row.flag() == storage::dbf::kLiveFlag;
}

std::string ResultsReader::rawText(std::size_t schemaIndex) const
{
    const storage::TableFieldDef& field = m_table->fields()[m_fieldIndex[schemaIndex]];
    const auto* bytes = reinterpret_cast<const char*>(m_row.data()) + field.offset;
    return std::string(trimBlanks(std::string_view(bytes, static_cast<std::size_t>(field.width))));
}

void ResultsReader::appendDigits(std::size_t schemaIndex, std::string& out) const
{
    const storage::TableFieldDef& field = m_table->fields()[m_fieldIndex[schemaIndex]];
    const auto* bytes = m_row.data() + field.offset;
    for (std::size_t i = 0; i < static_cast<std::size_t>(field.width); ++i) {
        if (bytes[i] != ' ') {
            out += static_cast<char>(bytes[i]);
        }
    }
}

storage::FieldValue ResultsReader::value(std::size_t schemaIndex) const
{
    return storage::DecodeField(m_row, m_table->fields()[m_fieldIndex[schemaIndex]]);
}

storage::FieldValue ResultsReader::storedValue(std::size_t schemaIndex) const
{
    const storage::TableFieldDef& field = m_table->fields()[m_fieldIndex[schemaIndex]];
    if (field.kind != storage::FieldKind::Text) {
        return value(schemaIndex);
    }
    const auto* bytes = reinterpret_cast<const char*>(m_row.data()) + field.offset;
    const std::string_view text = trimTrailingBlanks(std::string_view(bytes, static_cast<std::size_t>(field.width)));
    return text.empty() ? storage::FieldValue {} : storage::FieldValue {text::decodeCp852(text)};
}

TestIdentity ResultsReader::identityOf(std::uint32_t record) const
{
    TestIdentity identity;
    identity.record = record;
    identity.surname = textOf(value(kSurname));
    identity.firstName = textOf(value(kFirstName));
    identity.birthNumber1 = textOf(value(kBirthNumber1));
    identity.birthNumber2 = textOf(value(kBirthNumber2));
    identity.date = textOf(value(kDate));
    return identity;
}

StoredTest ResultsReader::decode(std::uint32_t record) const
{
    StoredTest test;
    test.identity = identityOf(record);
    for (std::size_t i = 0; i < results::kResultFieldCount; ++i) {
        test.values[i] = storedValue(i);
        const storage::TableFieldDef& field = m_table->fields()[m_fieldIndex[i]];
        if (isNumericKind(field.kind) && !storage::isNull(test.values[i])) {
            const std::string raw = rawText(i);
            if (!readsAsNumber(raw, field.kind)) {
                const int series = static_cast<int>((i - kFirstCount) % kSeriesCount) + 1;
                test.issues.push_back(
                    {IssueKind::NumberFieldInvalid, series, field.name, text::decodeCp852(raw), 0, 0, 0});
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

std::optional<StoredTest> ResultsReader::read(std::uint32_t record)
{
    if (!load(record)) {
        return std::nullopt;
    }
    return decode(record);
}

void ResultsReader::forEach(const std::function<void(const StoredTest&)>& visit)
{
    const std::uint32_t count = recordCount();
    for (std::uint32_t record = 1; record <= count; ++record) {
        if (load(record)) {
            visit(decode(record));
        }
    }
    checkUnchanged();
}

std::vector<TestIdentity> ResultsReader::identities(const Progress& progress)
{
    constexpr std::uint32_t kProgressStep = 4096;
    std::vector<TestIdentity> list;
    const std::uint32_t count = recordCount();
    for (std::uint32_t record = 1; record <= count; ++record) {
        if (progress && record % kProgressStep == 0 && !progress(record, count)) {
            throw Cancelled();
        }
        if (load(record)) {
            list.push_back(identityOf(record));
        }
    }
    checkUnchanged();
    return list;
}

std::vector<TestIdentity> ResultsReader::identitiesWithBirthNumber(const std::string& key)
{
    std::vector<TestIdentity> list;
    std::string digits;
    const std::uint32_t count = recordCount();
    for (std::uint32_t record = 1; record <= count; ++record) {
        if (load(record)) {
            // The digits are ASCII in code page 852 too: comparing bytes is comparing the decoded text.
            digits.clear();
            appendDigits(kBirthNumber1, digits);
            appendDigits(kBirthNumber2, digits);
            if (digits == key) {
                list.push_back(identityOf(record));
            }
        }
    }
    checkUnchanged();
    return list;
}

} // namespace report
