#pragma once

#include "engine/measurement_state.h"
#include "storage/field_codec.h"

#include <array>
#include <cstddef>
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

// One result row: the value of each of the 25 fields, in schema order.
struct ResultRecord
{
    std::array<FieldValue, kResultFieldCount> values;
};

// The row of one test: the identity texts (fields 0 to 4), the series counts (5 to 8), means (9 to
// 12), premature sums (13 to 16) and the lists A and B of each series in turn (17 to 24).
ResultRecord makeResultRecord(const engine::MeasurementState& state, const SubjectIdentity& subject);

} // namespace storage
