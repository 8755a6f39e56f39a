#pragma once

#include "report/row_issue.h"
#include "storage/field_codec.h"
#include "storage/result_record.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace report {

// Number of series a test can have.
inline constexpr int kSeriesCount = 4;

// Who was examined and when, as the row holds it (UTF-8, trimmed as the table engine reads text).
struct TestIdentity
{
    std::uint32_t record = 0; // record number in the table, 1-based, deleted rows included
    std::string surname;
    std::string firstName;
    std::string birthNumber1;
    std::string birthNumber2;
    std::string date; // the date box's text in the station's short date format

    // The birth number as one key: the digits of both parts, blanks left out ("1234567890"); empty when
    // the row has none.
    std::string birthNumberKey() const;
    // The birth number as people write it: "123456/7890"; only the first part when the second is blank.
    std::string birthNumberText() const;
};

// What the row stores about one series.
struct StoredSeries
{
    std::optional<std::int64_t> count;     // POC_nSER; empty when the field is blank or not a number
    std::optional<double> mean;            // PRUMERn
    std::optional<std::int64_t> premature; // POC_PREDn
    std::string listA;                     // SERnA
    std::string listB;                     // SERnB
};

// One row of the results table as read for a report.
struct StoredTest
{
    TestIdentity identity;
    std::array<StoredSeries, kSeriesCount> series;
    // The 25 fields in schema order as typed values (text, whole or floating-point number, or null),
    // for the export. A numeric field holding something that is not a number is null here.
    std::array<storage::FieldValue, storage::kResultFieldCount> values;
    // Problems found while reading: a numeric field that is not a number.
    std::vector<RowIssue> issues;
};

// Names of the fields of series n (1..4).
std::string countField(int series);
std::string meanField(int series);
std::string prematureField(int series);
std::string listAField(int series);
std::string listBField(int series);

} // namespace report
