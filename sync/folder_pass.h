#pragma once

#include "sync/lineage_store.h"
#include "sync/pass_plan.h"
#include "sync/table_source.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

// One collecting pass over one folder, inside the transaction the collector opened: which lineage the
// table is, what the database knows of it, what is new, and the rows that say so.
namespace collection {

// What the collector holds of a folder between passes. Only a copy: `known` says whether `state` is the
// database's as of the last committed pass; anything else is read from the database again.
struct FolderState
{
    std::string folder;
    std::string station;
    std::string tablePath;
    std::string timingPath;
    int stationId = 0;
    std::optional<std::int64_t> lineage; // recognised at a committed pass
    bool known = false;
    LineageState state;
    // The files as they were at the last pass that completed.
    bool seen = false;
    std::uint64_t size = 0;
    std::filesystem::file_time_type modified {};
    std::uint64_t timingSize = 0;
    std::string problem; // the last problem logged, so that a lasting one is logged once
};

// The table as one pass read it.
struct Snapshot
{
    std::unique_ptr<TableSource> source;
    std::vector<unsigned char> header;
    std::uint64_t fileSize = 0;
    std::uint64_t timingSize = 0; // taken before the table was read: its lines are of rows already stored
    std::vector<RecordImage> images;
    std::vector<SeenRecord> seen;
    std::map<std::uint32_t, DecodedRecord> decoded;

    // Reads the table at `tablePath` whole; `timingSize` is the timing record's size taken before.
    Snapshot(const std::string& tablePath, std::uint64_t timingSize);
    // The values of record `record`, decoded once.
    const DecodedRecord& decode(std::uint32_t record);
};

// What a pass added and found, for the log.
struct PassOutcome
{
    std::optional<std::int64_t> lineage; // the table's lineage; none for an unknown table without rows
    bool wrote = false;                  // something was added (the pass was committed with a pass row)
    bool created = false;                // the table was not seen before
    bool renumbered = false;             // the table's records were renumbered: its state is read afresh next time
    std::size_t tests = 0;
    std::size_t versions = 0; // of known tests
    std::size_t trials = 0;   // tests whose trials were attached
    std::vector<PlannedEvent> events;
    std::vector<std::pair<std::uint32_t, const DecodedRecord*>> damaged; // records with errors, collected
};

// Does the pass in the open transaction of `store`'s connection, up to (not including) the commit, and
// returns what it added. `taken` are the lineages of the collector's other folders; `host` names this
// machine in the pass row. Updates `folder.state` as it will be once the caller commits; after the commit
// the caller sets `folder.lineage` and `folder.known`, after a failure it forgets the copy
// (`folder.known = false`). Throws central::DatabaseError, storage and report errors.
PassOutcome runPass(LineageStore& store, FolderState& folder, Snapshot& snapshot, const std::set<std::int64_t>& taken,
                    const std::string& host);

} // namespace collection
