#pragma once

#include "engine/measurement_state.h"
#include "storage/field_codec.h"

#include <cstddef>
#include <string>
#include <vector>

// The results table: one row per finished test, appended by every station to the same dBase III table
// in the start folder. Its name, its 25 fields and where each family of fields begins are defined here
// and nowhere else; the store, the readers, the tests and the tools all take them from this header.
namespace results {

// File name of the results table in the start folder.
inline constexpr const char* kResultsTableName = "tivora4.DBF";

// Series a test measures: the measurement's own count, which the row's field families follow.
using engine::kSeriesCount;

// The row, field by field (positions 0-based; name, type letter, width in bytes):
inline constexpr std::size_t kSurname = 0;         // PRIJM      C 15
inline constexpr std::size_t kFirstName = 1;       // JMENO      C 12
inline constexpr std::size_t kBirthNumber1 = 2;    // RC_1       C 6   first part of the birth number
inline constexpr std::size_t kBirthNumber2 = 3;    // RC_2       C 4   second part
inline constexpr std::size_t kDate = 4;            // DATE       C 12  the date box's text
inline constexpr std::size_t kFirstCount = 5;      // POC_1SER .. POC_4SER    N 3    trials counted, series 1..4
inline constexpr std::size_t kFirstMean = 9;       // PRUMER1 .. PRUMER4      F 8.0  mean reaction time, ms
inline constexpr std::size_t kFirstPremature = 13; // POC_PRED1 .. POC_PRED4  N 3    premature responses
inline constexpr std::size_t kFirstList = 17;      // SER1A, SER1B .. SER4A, SER4B  C 254  "312|298|" lists
inline constexpr std::size_t kResultFieldCount = 25;

static_assert(kFirstMean == kFirstCount + kSeriesCount && kFirstPremature == kFirstMean + kSeriesCount
                  && kFirstList == kFirstPremature + kSeriesCount && kResultFieldCount == kFirstList + 2 * kSeriesCount,
              "each family has one field per series, the lists two");

// The 25 fields in schema order, with name, type letter, width and decimals set; kinds and offsets are
// filled in when a file is read.
const std::vector<storage::TableFieldDef>& resultTableFields();

// Names of the fields of series `series` (1..kSeriesCount): "POC_2SER", "PRUMER2", "POC_PRED2", "SER2A",
// "SER2B".
const std::string& countField(int series);
const std::string& meanField(int series);
const std::string& prematureField(int series);
const std::string& listAField(int series);
const std::string& listBField(int series);

} // namespace results
