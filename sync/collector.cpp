#include "sync/collector.h"

#include "central/migrations.h"
#include "sync/lineage_store.h"
#include "sync/table_source.h"

#include <map>
#include <set>
#include <thread>

namespace collection {

namespace fs = std::filesystem;

namespace {

// A table written within this time may be written again within the same tick of its modification time,
// so it is read again even when its size and time look unchanged.
constexpr auto kSettleTime = std::chrono::seconds(2);
// Records whose contents recognise a lineage: the first and the last ones.
constexpr std::size_t kSamples = 32;
constexpr int kRetries = 3;

std::uint64_t sizeOrZero(const std::string& path)
{
    std::error_code error;
    const auto size = fs::file_size(fs::u8path(path), error);
    return error ? 0 : size;
}

} // namespace

struct Collector::Folder
{
    FolderSettings settings;
    std::string tablePath;
    std::string timingPath;
    int stationId = 0;
    std::optional<std::int64_t> lineage; // recognised at a committed pass
    bool known = false;                  // `state` is the database's, as of the last committed pass
    LineageState state;
    // The files as they were at the last pass that completed.
    bool seen = false;
    std::uint64_t size = 0;
    fs::file_time_type modified {};
    std::uint64_t timingSize = 0;
    std::string problem; // the last problem logged, so that a lasting one is logged once
};

// The table as one pass read it.
struct Collector::Snapshot
{
    std::unique_ptr<TableSource> source;
    std::vector<unsigned char> header;
    std::uint64_t fileSize = 0;
    std::uint64_t timingSize = 0; // taken before the table was read: its lines are of rows already stored
    std::vector<RecordImage> images;
    std::vector<SeenRecord> seen;
    std::map<std::uint32_t, DecodedRecord> decoded;

    const DecodedRecord& decode(std::uint32_t record)
    {
        auto found = decoded.find(record);
        if (found == decoded.end()) {
            found = decoded.emplace(record, source->decode(images[record - 1])).first;
        }
        return found->second;
    }
};

Collector::Collector(CollectorSettings settings, Log log, Log trace)
    : m_settings(std::move(settings))
    , m_log(std::move(log))
    , m_trace(std::move(trace))
{
    for (const FolderSettings& folder : m_settings.folders) {
        auto entry = std::make_unique<Folder>();
        entry->settings = folder;
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
        folder->stationId = store.stationId(folder->settings.station);
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

void Collector::note(Folder& folder, const std::string& problem)
{
    if (problem != folder.problem) {
        m_log(folder.settings.folder + ": " + problem);
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

namespace {

// Trials to attach and what to tell about the timing record's lines of one pass.
struct TimingOutcome
{
    std::vector<TrialRows> trials;
    std::vector<PlannedEvent> events;
    std::uint64_t consumed = 0;
};

std::vector<central::Digest> samplesOf(const std::vector<SeenRecord>& seen)
{
    std::set<central::Digest> samples;
    for (std::size_t i = 0; i < seen.size() && i < kSamples; ++i) {
        samples.insert(seen[i].content);
        samples.insert(seen[seen.size() - 1 - i].content);
    }
    return {samples.begin(), samples.end()};
}

std::string plural(std::uint64_t count, const std::string& one, const std::string& many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

bool Collector::collectFolder(Folder& folder)
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
        Snapshot snapshot;
        snapshot.timingSize = timingSize;
        snapshot.source = std::make_unique<TableSource>(folder.tablePath);
        const std::uint32_t records = snapshot.source->refresh();
        snapshot.fileSize = sizeOrZero(folder.tablePath);
        snapshot.header = snapshot.source->header();
        for (std::uint32_t record = 1; record <= records; ++record) {
            snapshot.images.push_back(snapshot.source->read(record));
            const RecordImage& image = snapshot.images.back();
            snapshot.seen.push_back({image.flag, image.content, image.head, image.lists});
        }
        for (int attempt = 1;; ++attempt) {
            try {
                passInTransaction(folder, snapshot);
                break;
            } catch (const central::ConnectionError&) {
                throw;
            } catch (const central::DatabaseError& error) {
                folder.known = false;
                if (!error.isRetryable() || attempt == kRetries) {
                    throw;
                }
            }
        }
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
    } catch (const engine::Error& error) {
        folder.known = false;
        note(folder, error.what());
        return false;
    }
}

void Collector::passInTransaction(Folder& folder, Snapshot& snapshot)
{
    central::Connection& db = connection();
    LineageStore store(db, m_officeId);
    if (m_trace) {
        m_trace("begin " + folder.settings.folder);
    }
    central::Transaction transaction(db);
    std::optional<std::int64_t> lineage = folder.lineage; // a table once recognised stays its lineage
    bool created = false;
    if (!lineage) {
        store.lockOffice();
        std::set<std::int64_t> taken;
        for (const auto& other : m_folders) {
            if (other.get() != &folder && other->lineage) {
                taken.insert(*other->lineage);
            }
        }
        lineage = store.recognise(samplesOf(snapshot.seen), taken);
        if (!lineage && snapshot.seen.empty()) {
            transaction.commit(); // nothing to recognise a table by, nor to collect
            if (m_trace) {
                m_trace("unchanged " + folder.settings.folder);
            }
            return;
        }
        if (!lineage) {
            lineage = store.createLineage(folder.settings.folder);
            created = true;
        }
    }
    store.lockLineage(*lineage);
    const std::optional<PassHead> head = store.lastPass(*lineage);
    if (!folder.known || !head || head->passNo != folder.state.passNo || folder.state.lineageId != *lineage) {
        folder.known = false;
        folder.state = head ? store.load(*lineage, *head) : LineageState {};
        folder.state.lineageId = *lineage;
    }
    const LineageState& state = folder.state;
    Plan plan = planPass(state, snapshot.seen, [&] { return store.allVersions(*lineage); });

    // The tests of the new records get their ids and ordinals now, so that trials can name them.
    const std::vector<std::int64_t> ids = store.newTestIds(plan.newTests.size());
    std::vector<std::int64_t> map;
    for (const TestRef ref : plan.map) {
        map.push_back(ref > 0 ? ref : ids[static_cast<std::size_t>(-ref - 1)]);
    }

    // The timing record's lines written since the last pass, matched against the records they name.
    TimingOutcome timing;
    timing.consumed = state.timingOffset;
    const std::vector<TimingGroup> groups
        = readTimingGroups(folder.timingPath, state.timingOffset, snapshot.timingSize);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const TimingGroup& group = groups[i];
        const bool rowExists = group.tableRow >= 1 && group.tableRow <= map.size();
        if (rowExists && trialsMatch(group, snapshot.decode(group.tableRow).times)) {
            timing.trials.push_back({map[group.tableRow - 1], &group});
        } else if (rowExists && i + 1 == groups.size() && snapshot.timingSize != folder.timingSize) {
            break; // the last lines may still be being written: looked at again at the next pass
        } else {
            timing.events.push_back(
                {"timing_mismatch", group.tableRow, rowExists ? map[group.tableRow - 1] : 0,
                 "the timing record's lines of " + group.testTime + " for row " + std::to_string(group.tableRow)
                     + (rowExists ? " do not hold that row's reaction times" : " name a row the table does not have")
                     + ": not attached (a timing record of another table?)"});
        }
        timing.consumed = group.end;
    }
    if (!created && !plan.changesRecords() && timing.trials.empty() && timing.events.empty()
        && timing.consumed == state.timingOffset) {
        transaction.commit();
        if (m_trace) {
            m_trace("unchanged " + folder.settings.folder);
        }
        folder.lineage = lineage;
        folder.known = true;
        return;
    }

    // New tests: identity = content within the office, with the next free ordinal for a repeated one.
    std::set<central::Digest> contents;
    for (const std::uint32_t record : plan.newTests) {
        contents.insert(snapshot.seen[record - 1].content);
    }
    std::map<central::Digest, int> ordinals = store.maxOrdinals(contents);
    std::vector<LineageStore::NewTest> tests;
    for (std::size_t i = 0; i < plan.newTests.size(); ++i) {
        const central::Digest& content = snapshot.seen[plan.newTests[i] - 1].content;
        const auto found = ordinals.find(content);
        const int ordinal = found == ordinals.end() ? 0 : found->second + 1;
        ordinals[content] = ordinal;
        tests.push_back({ids[i], content, ordinal});
    }
    std::vector<VersionRow> versions;
    for (const PlannedVersion& version : plan.versions) {
        const std::int64_t test = version.test > 0 ? version.test : ids[static_cast<std::size_t>(-version.test - 1)];
        versions.push_back(
            {test, version.versionNo, &snapshot.images[version.record - 1], &snapshot.decode(version.record)});
    }
    const int passNo = state.passNo + 1;
    const int epoch = plan.newEpoch ? state.epoch + 1 : state.epoch;
    std::vector<PlannedEvent> events = plan.events;
    events.insert(events.end(), timing.events.begin(), timing.events.end());

    store.insertTests(*lineage, folder.stationId, tests);
    store.insertVersions(*lineage, passNo, versions);
    const std::uint32_t first
        = plan.firstNewPosition == 0 ? static_cast<std::uint32_t>(map.size() + 1) : plan.firstNewPosition;
    store.insertPositions(*lineage, epoch, passNo, first,
                          std::vector<std::int64_t>(map.begin() + (first - 1), map.end()));
    store.insertTrials(timing.trials);
    store.insertEvents(*lineage, passNo, events);
    store.insertPass({*lineage, passNo, epoch, static_cast<std::uint32_t>(map.size()), snapshot.fileSize,
                      snapshot.header, timing.consumed, folder.stationId, folder.tablePath, m_settings.host});
    if (m_trace) {
        m_trace("commit " + folder.settings.folder);
    }
    transaction.commit();
    if (m_trace) {
        m_trace("committed " + folder.settings.folder);
    }

    // The copy of the database's state follows what was committed.
    folder.lineage = lineage;
    folder.state.passNo = passNo;
    folder.state.epoch = epoch;
    folder.state.records = static_cast<std::uint32_t>(map.size());
    folder.state.timingOffset = timing.consumed;
    folder.known = !plan.newEpoch; // a renumbered table is loaded afresh
    folder.state.rows.resize(map.size());
    for (const VersionRow& version : versions) {
        const RecordImage& image = *version.image;
        folder.state.rows[image.record - 1]
            = {version.testId, version.versionNo, image.flag, image.content, image.head, image.lists};
    }

    // What happened, for the log.
    m_totals.tests += tests.size();
    m_totals.versions += versions.size() - tests.size();
    m_totals.trials += timing.trials.size();
    std::string summary = folder.settings.folder + ": " + plural(tests.size(), "new test", "new tests");
    if (versions.size() > tests.size()) {
        summary += ", " + plural(versions.size() - tests.size(), "new version", "new versions") + " of known tests";
    }
    summary += ", trials of " + plural(timing.trials.size(), "test", "tests");
    if (created) {
        summary += " (a table not seen before)";
    }
    m_log(summary);
    for (const PlannedEvent& event : events) {
        if (event.kind != "edited" && event.kind != "deleted" && event.kind != "undeleted") {
            m_log(folder.settings.folder + ": " + (event.testId ? "test " + std::to_string(event.testId) + ": " : "")
                  + event.detail);
        }
    }
    for (const VersionRow& version : versions) {
        if (version.decoded->hasError) {
            std::string issues;
            for (const std::string& issue : version.decoded->issues) {
                issues += (issues.empty() ? "" : "; ") + issue;
            }
            m_log(folder.settings.folder + ": row " + std::to_string(version.image->record)
                  + " collected with its damage recorded: " + issues);
        }
    }
}

} // namespace collection
