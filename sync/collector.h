#pragma once

#include "central/pg.h"
#include "sync/folder_pass.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The collector: brings every row of the results tables in its folders, with their trials, into the
// central database, exactly once. It keeps no state of its own: what it knows of a table (the lineage, the
// records seen, the test at each record, how far the timing record was read) lives in the database and
// commits in the same transaction as the rows it describes, so a collector killed at any moment, a
// connection lost mid-transaction or a server down for days costs nothing but time. What it keeps in
// memory is only a copy, checked against the database at every pass and thrown away after any failure.
namespace collection {

// A failure no later pass can mend: the office is not registered, the database's schema is of another
// version. The collector stops on it.
class SetupError : public central::DatabaseError
{
public:
    using central::DatabaseError::DatabaseError;
};

// One watched folder and the station name its tests are collected under.
struct FolderSettings
{
    std::string station;
    std::string folder;
};

struct CollectorSettings
{
    central::ConnectionSettings connection;
    std::string office;
    std::vector<FolderSettings> folders;
    std::chrono::milliseconds pollInterval {1000};
    std::string host; // this machine's name, recorded with each pass
};

// Where the collector's messages go: one line each, without the line end.
using Log = std::function<void(const std::string&)>;

// What passes over the folders have added.
struct CollectTotals
{
    std::uint64_t tests = 0;
    std::uint64_t versions = 0; // new versions of known tests
    std::uint64_t trials = 0;   // tests whose trials were attached
};

class Collector
{
public:
    // Nothing happens until the first pass. `trace`, when given, is told of each transaction's steps
    // ("begin <folder>", "commit <folder>"): for tests that stop the collector at exact points.
    Collector(CollectorSettings settings, Log log, Log trace = {});
    ~Collector();
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;

    // One pass over every folder: returns true when each was brought up to date, false when one could not
    // be (the database out of reach, a table that cannot be read); the log says why. Throws only
    // central::SettingError and SetupError.
    bool collectOnce();

    // Passes every poll interval until `stop` returns true (asked between passes and while waiting).
    void run(const std::function<bool()>& stop);

    const CollectTotals& totals() const { return m_totals; }

private:
    central::Connection& connection();
    void disconnect();
    bool collectFolder(FolderState& folder);
    void passWithRetries(FolderState& folder, Snapshot& snapshot);
    void passInTransaction(FolderState& folder, Snapshot& snapshot);
    void report(const FolderState& folder, const PassOutcome& outcome);
    void note(FolderState& folder, const std::string& problem);
    void trace(const std::string& step);

    CollectorSettings m_settings;
    Log m_log;
    Log m_trace;
    std::unique_ptr<central::Connection> m_db;
    int m_officeId = 0;
    std::vector<std::unique_ptr<FolderState>> m_folders;
    CollectTotals m_totals;
    std::string m_lastConnectionProblem;
};

} // namespace collection
