#pragma once

#include "engine/measurement_state.h"
#include "results/identity.h"
#include "results/schema.h"
#include "storage/field_codec.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace results {

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
    std::array<storage::FieldValue, kResultFieldCount> values;
    std::vector<CappedValue> capped;
};

// The row of one test (schema.h): the identity texts, the series counts, means, premature sums and the
// lists A and B of each series in turn.
//
// A count too wide for its 3-digit field (a held key's auto-repeat can make 1,000 premature responses
// in one series) would make every store of the row fail, and the test would be lost. Such a count is
// stored as the largest value the field holds, 999 (the smallest, -99, for a negative one), and listed
// in `capped`; every other value is stored as it is.
ResultRecord makeResultRecord(const engine::MeasurementState& state, const Identity& subject);

// The notice that tells the examiner a count was capped: the field, its true value and what was stored.
std::string cappedValueNotice(const CappedValue& capped);

} // namespace results
