#include "sync/collector.h"

#include "central/migrations.h"
#include "sync/lineage_store.h"

#include <map>
#include <set>
#include <thread>

namespace collection {

namespace fs = std::filesystem;

namespace {

// A table written within this time may be written again within the same tick of its modification time,
// so it is read again even when its size and time look unchanged.
constexpr auto kSettleTime = std::chrono::seconds(2);
constexpr int kRetries = 3;
// Lines logged per kind of event and pass; the database keeps them all.
constexpr std::size_t kEventLines = 5;

std::string plural(std::uint64_t count, const std::string& one, const std::string& many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::uint64_t sizeOrZero(const std::string& path)
{
    std::error_code error;
    const auto size = fs::file_size(fs::u8path(path), error);
    return error ? 0 : size;
}

} // namespace

Collector::Collector(CollectorSettings settings, Log log, Log trace)
    : m_settings(std::move(settings))
    , m_log(std::move(log))
    , m_trace(std::move(trace))
{
    for (const FolderSettings& folder : m_settings.folders) {
        auto entry = std::make_unique<FolderState>();
        entry->folder = folder.folder;
        entry->station = folder.station;
        entry->tablePath = (fs::u8path(folder.folder) / "tivora4.DBF").u8string();
        entry->timingPath = timingRecordPath(entry->tablePath);
        m_folders.push_back(std::move(entry));
    }
}

Collector::~Collector() = default;

central::Connection& Collector::connection()
{
    if (m_db && !m_db->isBroken()) {
        return *m_db;
    }
    m_db.reset();
    auto db = std::make_unique<central::Connection>(m_settings.connection);
    try {
        central::requireCurrentSchema(*db);
        m_officeId = LineageStore::officeId(*db, m_settings.office);
    } catch (const central::ConnectionError&) {
        throw;
    } catch (const central::DatabaseError& error) {
        throw SetupError(error.what(), error.sqlState());
    }
    LineageStore store(*db, m_officeId);
    for (auto& folder : m_folders) {
        folder->stationId = store.stationId(folder->station);
    }
    if (!m_lastConnectionProblem.empty()) {
        m_log("Connected again to the " + db->describe());
        m_lastConnectionProblem.clear();
    }
    m_db = std::move(db);
    return *m_db;
}

void Collector::disconnect()
{
    m_db.reset();
    for (auto& folder : m_folders) {
        folder->known = false;
    }
}

void Collector::note(FolderState& folder, const std::string& problem)
{
    if (problem != folder.problem) {
        m_log(folder.folder + ": " + problem);
        folder.problem = problem;
    }
}

bool Collector::collectOnce()
{
    bool allDone = true;
    for (auto& folder : m_folders) {
        allDone = collectFolder(*folder) && allDone;
        if (!m_db && !m_lastConnectionProblem.empty()) {
            return false; // the database is out of reach: the other folders wait for the next pass
        }
    }
    return allDone;
}

void Collector::run(const std::function<bool()>& stop)
{
    while (!stop()) {
        collectOnce();
        const auto until = std::chrono::steady_clock::now() + m_settings.pollInterval;
        while (!stop() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                std::chrono::milliseconds(50), until - std::chrono::steady_clock::now()));
        }
    }
}

bool Collector::collectFolder(FolderState& folder)
{
    try {
        if (!fs::exists(fs::u8path(folder.tablePath))) {
            note(folder, "no results table " + folder.tablePath + " yet");
            return true;
        }
        const std::uint64_t timingSize = sizeOrZero(folder.timingPath); // before the table: see Snapshot
        const std::uint64_t size = sizeOrZero(folder.tablePath);
        const fs::file_time_type modified = fs::last_write_time(fs::u8path(folder.tablePath));
        const bool settled = fs::file_time_type::clock::now() - modified > kSettleTime;
        if (folder.seen && folder.known && settled && size == folder.size && modified == folder.modified
            && timingSize == folder.timingSize) {
            return true;
        }
        connection(); // while the database is out of reach, the table is not read in vain
        Snapshot snapshot(folder.tablePath, timingSize);
        passWithRetries(folder, snapshot);
        folder.seen = true;
        folder.size = size;
        folder.modified = modified;
        folder.timingSize = timingSize;
        folder.problem.clear();
        return true;
    } catch (const central::SettingError&) {
        throw;
    } catch (const SetupError&) {
        throw;
    } catch (const central::ConnectionError& error) {
        disconnect();
        if (error.what() != m_lastConnectionProblem) {
            m_log(std::string(error.what())
                  + "; the stations go on storing, and their tests are collected when "
                    "the database can be reached again");
            m_lastConnectionProblem = error.what();
        }
        return false;
    } catch (const std::exception& error) {
        // The table's own errors, and the file system's (a share that went away): this folder waits for
        // the next pass, the others go on.
        folder.known = false;
        note(folder, error.what());
        return false;
    }
}

void Collector::passWithRetries(FolderState& folder, Snapshot& snapshot)
{
    // A key taken by another collector meanwhile, a serialisation failure: the pass is done again from
    // what the database holds now.
    for (int attempt = 1;; ++attempt) {
        try {
            passInTransaction(folder, snapshot);
            return;
        } catch (const central::ConnectionError&) {
            throw;
        } catch (const central::DatabaseError& error) {
            folder.known = false;
            if (!error.isRetryable() || attempt == kRetries) {
                throw;
            }
        }
    }
}

void Collector::passInTransaction(FolderState& folder, Snapshot& snapshot)
{
    central::Connection& db = connection();
    LineageStore store(db, m_officeId);
    std::set<std::int64_t> taken;
    for (const auto& other : m_folders) {
        if (other.get() != &folder && other->lineage) {
            taken.insert(*other->lineage);
        }
    }
    trace("begin " + folder.folder);
    central::Transaction transaction(db);
    const PassOutcome outcome = runPass(store, folder, snapshot, taken, m_settings.host);
    trace((outcome.wrote ? "commit " : "unchanged ") + folder.folder);
    transaction.commit();
    trace("committed " + folder.folder);
    folder.lineage = outcome.lineage;
    folder.known = outcome.lineage && !outcome.renumbered;
    if (outcome.wrote) {
        report(folder, outcome);
    }
}

void Collector::trace(const std::string& step)
{
    if (m_trace) {
        m_trace(step);
    }
}

void Collector::report(const FolderState& folder, const PassOutcome& outcome)
{
    m_totals.tests += outcome.tests;
    m_totals.versions += outcome.versions;
    m_totals.trials += outcome.trials;
    std::string summary = folder.folder + ": " + plural(outcome.tests, "new test", "new tests");
    if (outcome.versions > 0) {
        summary += ", " + plural(outcome.versions, "new version", "new versions") + " of known tests";
    }
    summary += ", trials of " + plural(outcome.trials, "test", "tests");
    m_log(summary + (outcome.created ? " (a table not seen before)" : ""));
    // Edits and deletions are ordinary; tests missing from a renumbered table are counted in its line. Of
    // the rest a few lines per kind, and how many more the database's events hold.
    std::map<std::string, std::size_t> shown;
    for (const PlannedEvent& event : outcome.events) {
        if (event.kind == "edited" || event.kind == "deleted" || event.kind == "undeleted" || event.kind == "missing") {
            continue;
        }
        if (++shown[event.kind] <= kEventLines) {
            m_log(folder.folder + ": " + (event.testId ? "test " + std::to_string(event.testId) + ": " : "")
                  + event.detail);
        }
    }
    for (const auto& [kind, count] : shown) {
        if (count > kEventLines) {
            m_log(folder.folder + ": " + std::to_string(count - kEventLines) + " more events " + kind
                  + " (see tivora.events)");
        }
    }
    for (std::size_t i = 0; i < outcome.damaged.size() && i < kEventLines; ++i) {
        const auto& [record, decoded] = outcome.damaged[i];
        std::string issues;
        for (const std::string& issue : decoded->issues) {
            issues += (issues.empty() ? "" : "; ") + issue;
        }
        m_log(folder.folder + ": row " + std::to_string(record) + " collected with its damage recorded: " + issues);
    }
    if (outcome.damaged.size() > kEventLines) {
        m_log(folder.folder + ": " + std::to_string(outcome.damaged.size() - kEventLines)
              + " more damaged rows collected (see has_error and issues in tivora.versions)");
    }
}

} // namespace collection
