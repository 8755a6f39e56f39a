#pragma once

#include "results/station_log.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Which station stored a test and how that station measured in its latest self-test before it: the
// set-up a norm applies to. The station comes from the audit journal beside the table (its entry that
// stored the row), the self-test from the stations' log beside it (results/station_log.h).
namespace report {

struct StationTiming
{
    std::string station;  // the host that stored the row; empty when the journal does not say
    std::string storedAt; // the journal's time of the store
    std::optional<results::StationSelfTest> selfTest; // the station's latest self-test at or before it
    bool fromDatabase = false; // the test was read from the central database, which keeps neither file
};

// Reads both files beside the table at `tablePath` for its row `record`. What is missing, damaged or
// unreadable counts as not known; never throws.
StationTiming stationTimingFor(const std::string& tablePath, std::uint32_t record);

// The station that stored `record` by the journal's `bytes`, and when: the last entry that stored the
// row (test_stored, row_stored). Lines that are no entry are passed over. nullopt when there is none.
std::optional<std::pair<std::string, std::string>> storingStation(std::string_view journalBytes, std::uint32_t record);

// The self-tests of the log's `bytes`, in file order; lines that cannot be read are passed over. Empty
// when the file does not begin with the log's header.
std::vector<results::StationSelfTest> parseStationLog(std::string_view bytes);

// The latest of `tests` run on `station` (host names compared without regard to ASCII case) at or before
// `time`; nullopt when there is none or a time cannot be read.
std::optional<results::StationSelfTest> latestSelfTest(const std::vector<results::StationSelfTest>& tests,
                                                       const std::string& station, const std::string& time);

// Seconds since 1970-01-01 UTC of a time written "2026-12-08T14:03:12+01:00" (or with "Z"); nullopt for
// anything else.
std::optional<std::int64_t> isoSeconds(std::string_view text);

} // namespace report
