#pragma once

#include "report/stored_test.h"
#include "storage/field_codec.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace report {

// Where the fields of the results table lie in the records of one file, and the reading of one record's
// bytes into a stored test. The table reader and the central database's reader (which holds each
// record's bytes as they were collected) read through this one class, so a row gives the same values
// from either.
class RecordDecoder
{
public:
    // How the texts of a decoded row's values are read: as stored, without only the padding behind them
    // (what an export shows), or without blanks on either side, as the table engine reads text (what the
    // central database's columns hold).
    enum class Texts { AsStored, Trimmed };

    // The results table's fields among `fields` (a file's fields, offsets filled). Throws ReportError
    // "<name> is not a results table: it has no field <FIELD>" when one is missing.
    RecordDecoder(const std::vector<storage::TableFieldDef>& fields, const std::string& name);

    // The layout the program creates: the 25 fields in schema order from byte 1. The records of any
    // table that passed the results table's shape check begin with this layout.
    static const RecordDecoder& standard();

    // Bytes a record needs (flag byte included) for every field to be in it.
    std::size_t minimumLength() const { return m_minimumLength; }

    // Who and when, as the engine reads text (no blanks before or behind). `row` holds a whole record
    // of at least minimumLength() bytes.
    TestIdentity identity(const storage::RowBuffer& row, std::uint32_t record) const;
    // The whole row: typed values (their texts as `texts` says), the series, and the numeric fields that
    // hold no number as issues. `row` as for identity().
    StoredTest decode(const storage::RowBuffer& row, std::uint32_t record, Texts texts = Texts::AsStored) const;
    // Appends the birth number's digits as stored (RC_1 then RC_2, blanks left out) to `out`.
    void appendBirthDigits(const storage::RowBuffer& row, std::string& out) const;

    // Where the results table's field `schemaIndex` (results/schema.h) lies in the records.
    const storage::TableFieldDef& field(std::size_t schemaIndex) const { return m_fields[schemaIndex]; }

private:
    std::string rawText(const storage::RowBuffer& row, std::size_t schemaIndex) const;
    storage::FieldValue storedValue(const storage::RowBuffer& row, std::size_t schemaIndex, Texts texts) const;

    std::array<storage::TableFieldDef, results::kResultFieldCount> m_fields; // in schema order
    std::size_t m_minimumLength = 1;
};

} // namespace report
