#include "storage/field_codec.h"

#include "storage/errors.h"
#include "text/cp852.h"
#include "text/messages.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

namespace storage {

namespace {

bool isNumericKind(FieldKind kind)
{
    return kind == FieldKind::Int16 || kind == FieldKind::Int32 || kind == FieldKind::Int64 || kind == FieldKind::Float;
}

bool isIntegerKind(FieldKind kind)
{
    return kind == FieldKind::Int16 || kind == FieldKind::Int32 || kind == FieldKind::Int64;
}

std::string_view fieldBytes(const RowBuffer& row, const TableFieldDef& field)
{
    assert(field.offset + static_cast<std::size_t>(field.width) <= row.size() && "field lies inside the record");
    return {reinterpret_cast<const char*>(row.data()) + field.offset, static_cast<std::size_t>(field.width)};
}

std::string_view trimBlanks(std::string_view text)
{
    // Bytes 0x20 and below count as blanks, so a NUL-padded field from another program reads like a
    // space-padded one.
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20U; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A decimal whole number: optional sign, digits, nothing else.
std::optional<std::int64_t> parseInteger(std::string_view text)
{
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// A number in "." notation, optionally with an exponent; locale-independent.
std::optional<double> parseFloat(std::string_view text)
{
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    double value = 0.0;
    const auto [end, error]
        = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string_view skipLeadingSpaces(std::string_view text)
{
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    return text;
}

void checkRange(const TableFieldDef& field, double value)
{
    double low = 0.0;
    double high = 0.0;
    if (field.kind == FieldKind::Int16) {
        low = -32768.0;
        high = 32767.0;
    } else if (field.kind == FieldKind::Int32) {
        low = -2147483648.0;
        high = 2147483647.0;
    } else {
        return;
    }
    if (value < low || value > high) {
        throw FieldValueError(text::formatMessage(messages::kOutOfRange, {value, field.name, low, high}));
    }
}

long long asLongLong(std::size_t value)
{
    return static_cast<long long>(value);
}

std::string integerText(const TableFieldDef& field, const FieldValue& value)
{
    if (const auto* whole = std::get_if<std::int64_t>(&value)) {
        return std::to_string(*whole);
    }
    const double number = std::get<double>(value);
    if (!std::isfinite(number)) {
        throw FieldValueError(text::formatMessage(messages::kInvalidFloat, {std::to_string(number), field.name}));
    }
    if (std::fabs(number) < 9.0e18) {
        const double rounded = std::round(number); // std::round rounds halves away from zero
        return rounded == 0.0 ? "0" : std::to_string(static_cast<std::int64_t>(rounded));
    }
    return formatFloatField(number, field.width, 0);
}

std::string floatText(const TableFieldDef& field, const FieldValue& value)
{
    const auto* whole = std::get_if<std::int64_t>(&value);
    const double number = whole ? static_cast<double>(*whole) : std::get<double>(value);
    if (!std::isfinite(number)) {
        throw FieldValueError(text::formatMessage(messages::kInvalidFloat, {std::to_string(number), field.name}));
    }
    return formatFloatField(number, field.width, field.decimals);
}

std::string textForTextField(const TableFieldDef& field, const FieldValue& value)
{
    const auto width = static_cast<std::size_t>(field.width);
    if (const auto* text = std::get_if<std::string>(&value)) {
        return text::encodeCp852(*text, width);
    }
    if (const auto* whole = std::get_if<std::int64_t>(&value)) {
        return std::to_string(*whole).substr(0, width);
    }
    return text::formatMessage("%g", {std::get<double>(value)}).substr(0, width);
}

} // namespace

TableFieldDef normalizeFieldDef(std::string name, char typeLetter, int width, int decimals)
{
    TableFieldDef def;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    def.name = std::move(name);
    const char type = typeLetter >= 'a' && typeLetter <= 'z' ? static_cast<char>(typeLetter - 'a' + 'A') : typeLetter;
    def.type = type;
    def.width = width;
    def.decimals = 0;
    auto fixed = [&def](FieldKind kind, int fixedWidth) {
        def.kind = kind;
        def.width = fixedWidth;
    };
    switch (type) {
    case 'C':
        fixed(FieldKind::Text, std::clamp(width, 1, 254));
        break;
    case 'N':
        // The kind follows the stored width and decimals; the clamping below must not change it.
        if (decimals == 0) {
            def.kind = width <= 4 ? FieldKind::Int16 : width <= 9 ? FieldKind::Int32 : FieldKind::Int64;
        } else {
            def.kind = FieldKind::Float;
        }
        def.width = std::clamp(width, 1, 20);
        def.decimals = std::max(0, std::min(decimals, def.width - 2));
        break;
    case 'F':
        fixed(FieldKind::Float, 8);
        break;
    case 'L':
        fixed(FieldKind::Logical, 1);
        break;
    case 'D':
        fixed(FieldKind::Date, 8);
        break;
    case 'I':
    case '+':
        fixed(FieldKind::Binary4, 4);
        break;
    case '@':
    case 'O':
        fixed(FieldKind::Binary8, 8);
        break;
    case 'M':
    case 'B':
    case 'G':
        fixed(FieldKind::Memo, 10);
        break;
    default:
        def.type = '\0';
        def.kind = FieldKind::Unsupported;
        def.decimals = decimals;
        break;
    }
    return def;
}

FieldValue checkAssignment(const TableFieldDef& field, const FieldValue& value)
{
    if (!isNumericKind(field.kind) || isNull(value)) {
        return value;
    }
    FieldValue number = value;
    if (const auto* text = std::get_if<std::string>(&value)) {
        if (text->empty()) {
            return FieldValue {};
        }
        const std::string_view digits = skipLeadingSpaces(*text);
        if (isIntegerKind(field.kind)) {
            const auto parsed = parseInteger(digits);
            if (!parsed) {
                throw FieldValueError(text::formatMessage(messages::kInvalidInteger, {*text, field.name}));
            }
            number = *parsed;
        } else {
            const auto parsed = parseFloat(digits);
            if (!parsed) {
                throw FieldValueError(text::formatMessage(messages::kInvalidFloat, {*text, field.name}));
            }
            number = *parsed;
        }
    }
    const auto* whole = std::get_if<std::int64_t>(&number);
    checkRange(field, whole ? static_cast<double>(*whole) : std::get<double>(number));
    return number;
}

void EncodeField(RowBuffer& row, const TableFieldDef& field, const FieldValue& value)
{
    const auto width = static_cast<std::size_t>(field.width);
    assert(field.offset + width <= row.size() && "field lies inside the record");
    std::string text;
    bool rightAligned = false;
    if (isNull(value)) {
        // All spaces, whatever the kind.
    } else if (isNumericKind(field.kind)) {
        FieldValue number = value;
        if (std::holds_alternative<std::string>(value)) {
            number = checkAssignment(field, value);
        }
        if (!isNull(number)) {
            text = isIntegerKind(field.kind) ? integerText(field, number) : floatText(field, number);
        }
        if (text.size() > width) {
            throw FieldValueError(
                text::formatMessage(messages::kFieldDataTooLong, {asLongLong(text.size()), field.width}));
        }
        rightAligned = true;
    } else if (field.kind == FieldKind::Text || field.kind == FieldKind::Logical || field.kind == FieldKind::Date) {
        text = textForTextField(field, value);
    } else {
        throw FieldValueError(text::formatMessage(messages::kUnsupportedField, {field.name}));
    }
    unsigned char* out = row.data() + field.offset;
    std::memset(out, ' ', width);
    std::memcpy(out + (rightAligned ? width - text.size() : 0), text.data(), text.size());
}

FieldValue DecodeField(const RowBuffer& row, const TableFieldDef& field)
{
    const std::string_view raw = fieldBytes(row, field);
    if (field.kind == FieldKind::Binary4) {
        std::uint32_t bits = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(raw[i])) << (8 * i);
        }
        return static_cast<std::int64_t>(static_cast<std::int32_t>(bits));
    }
    const std::string_view text = trimBlanks(raw);
    if (text.empty()) {
        return FieldValue {};
    }
    if (isIntegerKind(field.kind)) {
        return parseInteger(text).value_or(0);
    }
    if (field.kind == FieldKind::Float) {
        return parseFloat(text).value_or(0.0);
    }
    return text::decodeCp852(text);
}

std::string formatFloatField(double value, int width, int decimals)
{
    assert(std::isfinite(value) && width >= 1 && decimals >= 0);
    // The 18 significant digits of the value and the count of its integer digits, as "%.17e" writes them
    // (to_chars gives the same correctly rounded digits without the cost of printf).
    char buffer[40];
    const std::to_chars_result written
        = std::to_chars(buffer, buffer + sizeof buffer - 1, std::fabs(value), std::chars_format::scientific, 17);
    *written.ptr = '\0';
    std::string digits;
    digits += buffer[0];
    digits.append(buffer + 2, 17);
    const int integerDigits = std::atoi(std::strchr(buffer, 'e') + 1) + 1;
    const bool negative = std::signbit(value);

    const int keep = std::min(integerDigits + decimals, width);
    int scale = integerDigits - static_cast<int>(digits.size()); // value = digits * 10^scale
    if (value == 0.0 || keep < 0) {
        digits.clear();
    } else if (keep < static_cast<int>(digits.size())) {
        const bool roundUp = digits[static_cast<std::size_t>(keep)] >= '5';
        scale += static_cast<int>(digits.size()) - keep;
        digits.resize(static_cast<std::size_t>(keep));
        if (roundUp) {
            std::size_t i = digits.size();
            while (i > 0 && digits[i - 1] == '9') {
                digits[--i] = '0';
            }
            if (i == 0) {
                digits.insert(digits.begin(), '1');
            } else {
                ++digits[i - 1];
            }
        }
    }
    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
        ++scale;
    }
    if (digits.empty()) {
        return decimals > 0 ? "0." + std::string(static_cast<std::size_t>(decimals), '0') : "0";
    }
    const int length = static_cast<int>(digits.size());
    const int intLength = length + scale;
    std::string text = negative ? "-" : "";
    if (intLength > width) {
        text += digits[0];
        if (length > 1) {
            text += '.';
            text.append(digits, 1, std::string::npos);
        }
        return text + "E" + std::to_string(intLength - 1);
    }
    auto digitAt = [&](int position) {
        return position >= 0 && position < length ? digits[static_cast<std::size_t>(position)] : '0';
    };
    if (intLength <= 0) {
        text += '0';
    }
    for (int i = 0; i < intLength; ++i) {
        text += digitAt(i);
    }
    if (decimals > 0) {
        text += '.';
        for (int i = 0; i < decimals; ++i) {
            text += digitAt(intLength + i);
        }
    }
    return text;
}

} // namespace storage
