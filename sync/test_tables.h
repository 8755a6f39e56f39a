#pragma once

#include "results/result_record.h"

#include <cstdint>
#include <string>

// Finished tests stored as a station stores them, for the collector's tests and benchmarks: the engine
// evaluates a test whose trials were answered, and the table's store path writes the row and then the
// timing record beside it. Every field and every reaction time depends on the station and the sequence
// number, so each stored row is one test that can be recognised.
namespace collection::testing {

// The test program the feed's tests follow: 3 practice trials, then two series of 15 (30 measured).
extern const char* const kFeedProgram;

// The identity that test `sequence` of station `station` stores.
results::Identity subjectFor(int station, int sequence);

// Stores test `sequence` of station `station` into the results table in `folder` (created when missing)
// with its timing record, as the program does at the end of a test. Throws what the store throws
// (storage::TableError).
void storeTest(const std::string& folder, int station, int sequence);

} // namespace collection::testing
