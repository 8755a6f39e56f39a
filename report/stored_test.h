#pragma once

#include "report/row_issue.h"
#include "results/identity.h"
#include "results/schema.h"
#include "storage/field_codec.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace report {

using results::kSeriesCount;

// Who was examined and when, as the row holds it (UTF-8, without blanks before and behind, as the table
// engine reads text: the history finds a person by these), and which row.
struct TestIdentity : results::Identity
{
    TestIdentity() = default;
    // The row `recordNumber` of the person with these texts.
    TestIdentity(std::uint32_t recordNumber, std::string surnameText, std::string firstNameText, std::string part1,
                 std::string part2, std::string dateText)
        : results::Identity {std::move(surnameText), std::move(firstNameText), std::move(part1), std::move(part2),
                             std::move(dateText)}
        , record(recordNumber)
    { }

    std::uint32_t record = 0; // record number in the table, 1-based, deleted rows included
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
    // for the export. Texts are as stored, without only the padding behind them: a birth-number part
    // stored "  12" stays "  12" (the identity above and the lists drop blanks on both sides, since they
    // are compared, searched and shown). A numeric field holding something that is not a number is null
    // here.
    std::array<storage::FieldValue, results::kResultFieldCount> values;
    // Problems found while reading: a numeric field that is not a number.
    std::vector<RowIssue> issues;
};

using results::countField;
using results::listAField;
using results::listBField;
using results::meanField;
using results::prematureField;

} // namespace report
