#pragma once

#include "results/result_record.h"

#include <cstdint>
#include <string>
#include <vector>

// Results tables for the report's tests, its checks with other programs and its benchmark, made the way
// the test program makes them: the engine evaluates a test program with given reaction times, and the
// storage layer writes the row.
namespace report::testing {

// The program of the sample test (sample/program.txt): 3 practice trials, two series of 8.
extern const char* const kSampleProgram;

// The row a finished test stores: `program` (the text of a program.txt) evaluated by the engine with
// `reactionTimes` for its trial lines in order (practice trials first; missing ones are 0) and
// `premature` presses per trial line in the same order, for the person `subject`.
results::ResultRecord evaluatedRecord(const std::string& program, const std::vector<std::uint32_t>& reactionTimes,
                                      const std::vector<int>& premature, const results::Identity& subject);

// A row with every field given as it should stand in the table, for rows edited by hand or damaged:
// the counts, means and premature sums of the four series and their lists A and B as texts.
struct RawSeries
{
    std::int64_t count = 0;
    double mean = 0.0;
    std::int64_t premature = 0;
    std::string listA;
    std::string listB;
};
results::ResultRecord rawRecord(const results::Identity& subject, const std::vector<RawSeries>& series);

// Appends `records` to the results table at `path`, creating it when missing, as the program stores
// them but without waiting for the disk after each row (fast enough for 100,000 rows).
void appendRecords(const std::string& path, const std::vector<results::ResultRecord>& records);

// Marks record `record` of the table at `path` deleted, as the browser does.
void deleteRecord(const std::string& path, std::uint32_t record);

// The "|"-terminated list of `values` ("312|298|").
std::string listOf(const std::vector<std::uint32_t>& values);

} // namespace report::testing
