#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// Fields of a table: their definitions, the values they hold, and the conversion between a value and
// the field's bytes in a record.
namespace storage {

// What a field holds, decided by its type letter (and, for N, by width and decimals as stored).
enum class FieldKind {
    Text,        // C
    Int16,       // N, 0 decimals, width up to 4
    Int32,       // N, 0 decimals, width 5 to 9
    Int64,       // N, 0 decimals, width 10 and more
    Float,       // F, and N with decimals
    Logical,     // L
    Date,        // D
    Binary4,     // I, +: 4-byte little-endian integer
    Binary8,     // @, O: 8-byte date-time and double
    Memo,        // M, B, G: a block number into a memo file, which this program never opens
    Unsupported, // any other letter; the type letter becomes 0
};

// One field as the open table knows it. Files we create use only C, N and F.
struct TableFieldDef
{
    std::string name; // upper-case ASCII, at most 10 characters in files we create
    char type = 'C';  // upper-case type letter, '\0' when not supported
    int width = 1;    // bytes in the record, after normalisation
    int decimals = 0; // digits after the decimal point, after normalisation
    FieldKind kind = FieldKind::Text;
    std::size_t offset = 0; // of the field's first byte in the record (the flag byte is offset 0)
};

// A field definition as read from a descriptor: lower-case letters count as upper-case ones, the kind
// follows the letter (an N field's from its width and decimals as stored), and width and decimals are
// clamped to what the letter allows. `offset` is left 0 for the caller to fill.
TableFieldDef normalizeFieldDef(std::string name, char typeLetter, int width, int decimals);

// A field's value: null, text (UTF-8), a whole number or a floating-point number.
using FieldValue = std::variant<std::monostate, std::string, std::int64_t, double>;

inline bool isNull(const FieldValue& value)
{
    return std::holds_alternative<std::monostate>(value);
}

// One record image: the flag byte, then every field at its offset. The file changes only when a row
// buffer is written to it.
class RowBuffer
{
public:
    RowBuffer() = default;
    // A new row of `recordLength` spaces: live, every field null.
    explicit RowBuffer(std::size_t recordLength)
        : m_bytes(recordLength, ' ')
    { }

    std::size_t size() const { return m_bytes.size(); }
    unsigned char* data() { return m_bytes.data(); }
    const unsigned char* data() const { return m_bytes.data(); }
    unsigned char flag() const { return m_bytes.empty() ? 0 : m_bytes[0]; }
    void setFlag(unsigned char flag) { m_bytes.at(0) = flag; }
    bool operator==(const RowBuffer& other) const { return m_bytes == other.m_bytes; }

private:
    std::vector<unsigned char> m_bytes;
};

// The assignment check of a field: a text given to a numeric field is read as a number, and whole-
// number fields of 16 and 32 bits reject values outside their range. Returns the value to encode.
// Throws FieldValueError "'%s' is not a valid integer value for field '%s'", "'%s' is not a valid
// floating point value for field '%s'" or "%g is not a valid value for field '%s'. The allowed range
// is %g to %g".
FieldValue checkAssignment(const TableFieldDef& field, const FieldValue& value);

// Writes `value` into the field's bytes of `row` (which must be as long as the record). Text is cut to
// the width in characters and stored in code page 852; numbers are ASCII, right-aligned. Throws
// FieldValueError "Field data too long :<n> (must be between 1 and <width>)." for a number whose text
// does not fit, and for a value the field kind cannot store; `row` is then unchanged.
void EncodeField(RowBuffer& row, const TableFieldDef& field, const FieldValue& value);

// The value of the field in `row`: bytes of 0x20 and below are trimmed at both ends and an empty
// result is null; a number that does not read as one is 0. Never throws.
FieldValue DecodeField(const RowBuffer& row, const TableFieldDef& field);

// The text of a floating-point number for a field of `width` and `decimals`: rounded half away from
// zero on its 18-digit decimal expansion, with at most `width` significant digits, in exponent form
// ("2.5E8") when the integer part has more digits than the width. The result may be longer than
// `width`; EncodeField() rejects it then. `value` must be finite.
std::string formatFloatField(double value, int width, int decimals);

} // namespace storage
