#pragma once

#include "engine/measurement_state.h"
#include "storage/field_codec.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace storage {

// File name of the results table in the start directory.
inline constexpr const char* kResultsTableName = "tivora4.DBF";

// Number of fields of a result row.
inline constexpr std::size_t kResultFieldCount = 25;

// The 25 fields of the results table, in schema order: PRIJM, JMENO, RC_1, RC_2, DATE, POC_1SER to
// POC_4SER, PRUMER1 to PRUMER4, POC_PRED1 to POC_PRED4, SER1A, SER1B, ..., SER4B. Name, type letter,
// width and decimals are set; kinds and offsets are filled in when a file is read.
const std::vector<TableFieldDef>& resultTableFields();

// The examined person as the subject data window reports the boxes: texts exactly as shown, the
// birth-number parts with blank positions as spaces, the date in the short date format.
struct SubjectIdentity
{
    std::string surname;
    std::string firstName;
    std::string birthNumber1; // 6 characters
    std::string birthNumber2; // 4 characters
    std::string date;         // 10 characters, e.g. " 7.12.2026"
};

// A count that did not fit its field: stored as the nearest value the field holds.
struct CappedValue
{
    std::string field;  // the field's name, e.g. "POC_PRED1"
    std::int64_t value; // the true count
    std::int64_t stored;
};

// One result row: the value of each of the 25 fields, in schema order, and the counts capped to fit.
struct ResultRecord
{
    std::array<FieldValue, kResultFieldCount> values;
    std::vector<CappedValue> capped;
};

// The row of one test: the identity texts (fields 0 to 4), the series counts (5 to 8), means (9 to
// 12), premature sums (13 to 16) and the lists A and B of each series in turn (17 to 24).
//
// A count too wide for its 3-digit field (a held key's auto-repeat can make 1,000 premature responses
// in one series) would make every store of the row fail, and the test would be lost. Such a count is
// stored as the largest value the field holds, 999 (the smallest, -99, for a negative one), and listed
// in `capped`; every other value is stored as it is.
ResultRecord makeResultRecord(const engine::MeasurementState& state, const SubjectIdentity& subject);

// The notice that tells the examiner a count was capped: the field, its true value and what was stored.
std::string cappedValueNotice(const CappedValue& capped);

} // namespace storage
