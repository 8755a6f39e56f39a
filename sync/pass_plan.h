#pragma once

#include "central/digest.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What one collecting pass does to a lineage, worked out from what the database knows of it and what the
// table holds now, before anything is written. Pure: no files, no database.
namespace collection {

// The last version the database holds of the test at one record.
struct KnownRow
{
    std::int64_t testId = 0;
    int versionNo = 0;
    unsigned char flag = 0;
    central::Digest content {};
    central::Digest head {};
    central::Digest lists {};
};

// A lineage as the database knows it after its last pass.
struct LineageState
{
    std::int64_t lineageId = 0;
    int passNo = 0;                 // 0 before the first pass
    int epoch = 1;                  // the numbering of records in force
    std::uint32_t records = 0;      // records covered
    std::uint64_t timingOffset = 0; // bytes of the timing record dealt with
    std::vector<KnownRow> rows;     // record n at index n - 1
};

// Any version of any test of the lineage, for matching a renumbered table.
struct KnownVersion
{
    std::int64_t testId = 0;
    int versionNo = 0;
    unsigned char flag = 0;
    central::Digest content {};
};

// One record as the table holds it now.
struct SeenRecord
{
    unsigned char flag = 0;
    central::Digest content {};
    central::Digest head {};
    central::Digest lists {};
};

// A test a record holds: a known test's id (> 0), or a new test, -(its index in Plan::newTests + 1).
using TestRef = std::int64_t;

struct PlannedVersion
{
    std::uint32_t record = 0;
    TestRef test = 0;
    int versionNo = 1;
};

struct PlannedEvent
{
    std::string kind;         // "edited", "deleted", "undeleted", "renumbered", "missing", "timing_mismatch"
    std::uint32_t record = 0; // 0 for the table as a whole
    std::int64_t testId = 0;  // 0 when none
    std::string detail;
};

struct Plan
{
    bool newEpoch = false;                // the records were renumbered: every position is written anew
    std::vector<std::uint32_t> newTests;  // records that hold tests never seen, in record order
    std::vector<PlannedVersion> versions; // every version to add, new tests' first versions included
    std::vector<TestRef> map;             // the test of record n at index n - 1, after the pass
    std::uint32_t firstNewPosition = 0;   // positions from here on are written (all of them in a new epoch)
    std::vector<PlannedEvent> events;

    bool changesRecords() const { return newEpoch || !versions.empty() || !events.empty(); }
};

// Works out the pass over `seen` (record n at index n - 1) for a lineage in `state`. A record that holds
// what the database has for it changes nothing; one whose flag changed is a deletion or undeletion; one
// whose content changed but whose identity or reaction times stayed is an edit; records behind the known
// ones are new tests. Anything else (fewer records than known, a record holding another known test, a
// record that is neither the same test edited nor new) means the records were renumbered or replaced
// (a packed table, an older copy, a restored backup): then every record is matched by content to any
// version of the lineage's tests (`allVersions` is asked then, and only then), unmatched ones become new
// tests, and known tests no longer present are named in events. Nothing is ever re-keyed: a test keeps
// its id, and a row that matches no test gets a new one.
Plan planPass(const LineageState& state, const std::vector<SeenRecord>& seen,
              const std::function<std::vector<KnownVersion>()>& allVersions);

} // namespace collection
