#include "sync/folder_pass.h"

namespace collection {

namespace {

// Records whose contents recognise a lineage: the first and the last ones.
constexpr std::size_t kSamples = 32;

std::vector<central::Digest> samplesOf(const std::vector<SeenRecord>& seen)
{
    std::set<central::Digest> samples;
    for (std::size_t i = 0; i < seen.size() && i < kSamples; ++i) {
        samples.insert(seen[i].content);
        samples.insert(seen[seen.size() - 1 - i].content);
    }
    return {samples.begin(), samples.end()};
}

// The folder's lineage: the one recognised before, or recognised now by content (under the office's
// lock), or a new one. nullopt for an unknown table without rows.
std::optional<std::int64_t> lineageOf(LineageStore& store, FolderState& folder, const Snapshot& snapshot,
                                      const std::set<std::int64_t>& taken, bool& created)
{
    if (folder.lineage) {
        return folder.lineage; // a table once recognised stays its lineage
    }
    store.lockOffice();
    std::optional<std::int64_t> lineage = store.recognise(samplesOf(snapshot.seen), taken);
    if (!lineage && !snapshot.seen.empty()) {
        lineage = store.createLineage(folder.folder);
        created = true;
    }
    return lineage;
}

// Makes `folder.state` the database's for `lineage`, reading it only when the copy is not current.
// Returns true when the lineage has a pass the copy did not describe: another collector's, or one whose
// outcome this collector did not learn. Such a pass may have read the table later than this one did.
bool loadState(LineageStore& store, FolderState& folder, std::int64_t lineage)
{
    store.lockLineage(lineage);
    const std::optional<PassHead> head = store.lastPass(lineage);
    if (folder.known && head && head->passNo == folder.state.passNo && folder.state.lineageId == lineage) {
        return false; // the last pass is this collector's own, committed before the table was read
    }
    folder.known = false;
    folder.state = head ? store.load(lineage, *head) : LineageState {};
    folder.state.lineageId = lineage;
    return head.has_value();
}

std::uint64_t sizeOrZero(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(std::filesystem::u8path(path), error);
    return error ? 0 : size;
}

struct TimingOutcome
{
    std::vector<TrialRows> trials;
    std::vector<PlannedEvent> events;
    std::uint64_t consumed = 0;
};

// The timing record's lines written since the last pass, matched against the records they name (`map`:
// the test of each record). The last store of a record that grew since the last pass may still be being
// written: when it does not match, it is looked at again at the next pass.
TimingOutcome matchTiming(const std::vector<TimingGroup>& groups, const std::vector<std::int64_t>& map,
                          Snapshot& snapshot, const FolderState& folder)
{
    TimingOutcome timing;
    timing.consumed = folder.state.timingOffset;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const TimingGroup& group = groups[i];
        const bool rowExists = group.tableRow >= 1 && group.tableRow <= map.size();
        if (rowExists && trialsMatch(group, snapshot.decode(group.tableRow).times)) {
            timing.trials.push_back({map[group.tableRow - 1], &group});
        } else if (rowExists && i + 1 == groups.size() && snapshot.timingSize != folder.timingSize) {
            break;
        } else {
            timing.events.push_back(
                {"timing_mismatch", group.tableRow, rowExists ? map[group.tableRow - 1] : 0,
                 "the timing record's lines of " + group.testTime + " for row " + std::to_string(group.tableRow)
                     + (rowExists ? " do not hold that row's reaction times" : " name a row the table does not have")
                     + ": not attached (a timing record of another table?)"});
        }
        timing.consumed = group.end;
    }
    return timing;
}

// New tests: identity = content within the office, with the next free ordinal for a repeated one.
std::vector<LineageStore::NewTest> identify(LineageStore& store, const Plan& plan, const Snapshot& snapshot,
                                            const std::vector<std::int64_t>& ids)
{
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
    return tests;
}

// The copy of the database's state as it will be after the commit.
void remember(FolderState& folder, const Plan& plan, std::size_t records, const std::vector<VersionRow>& versions,
              std::uint64_t timingOffset)
{
    LineageState& state = folder.state;
    state.passNo += 1;
    state.epoch += plan.newEpoch ? 1 : 0;
    state.records = static_cast<std::uint32_t>(records);
    state.timingOffset = timingOffset;
    state.rows.resize(records);
    for (const VersionRow& version : versions) {
        const RecordImage& image = *version.image;
        state.rows[image.record - 1]
            = {version.testId, version.versionNo, image.flag, image.content, image.head, image.lists};
    }
}

} // namespace

Snapshot::Snapshot(const std::string& tablePath, std::uint64_t timingSizeBefore)
    : source(std::make_unique<TableSource>(tablePath))
    , timingSize(timingSizeBefore)
{
    const std::uint32_t records = source->refresh();
    header = source->header();
    for (std::uint32_t record = 1; record <= records; ++record) {
        images.push_back(source->read(record));
        const RecordImage& image = images.back();
        seen.push_back({image.flag, image.content, image.head, image.lists});
    }
    fileSize = std::filesystem::file_size(std::filesystem::u8path(tablePath));
}

const DecodedRecord& Snapshot::decode(std::uint32_t record)
{
    auto found = decoded.find(record);
    if (found == decoded.end()) {
        found = decoded.emplace(record, source->decode(images[record - 1])).first;
    }
    return found->second;
}

namespace {

// Everything one pass adds, in the open transaction, with the pass row last; returns what was added.
PassOutcome write(LineageStore& store, FolderState& folder, Snapshot& snapshot, const Plan& plan,
                  const std::vector<std::int64_t>& ids, const std::vector<std::int64_t>& map,
                  const TimingOutcome& timing, const std::string& host)
{
    const std::int64_t lineage = folder.state.lineageId;
    const std::vector<LineageStore::NewTest> tests = identify(store, plan, snapshot, ids);
    std::vector<VersionRow> versions;
    for (const PlannedVersion& version : plan.versions) {
        const std::int64_t test = version.test > 0 ? version.test : ids[static_cast<std::size_t>(-version.test - 1)];
        versions.push_back({test, version.versionNo, &snapshot.images[version.record - 1]});
    }
    const int passNo = folder.state.passNo + 1;
    const int epoch = folder.state.epoch + (plan.newEpoch ? 1 : 0);
    PassOutcome outcome;
    outcome.events = plan.events;
    outcome.events.insert(outcome.events.end(), timing.events.begin(), timing.events.end());
    store.insertTests(lineage, folder.stationId, tests);
    store.insertVersions(lineage, passNo, versions,
                         [&snapshot](std::uint32_t record) -> const DecodedRecord& { return snapshot.decode(record); });
    const std::uint32_t first
        = plan.firstNewPosition == 0 ? static_cast<std::uint32_t>(map.size() + 1) : plan.firstNewPosition;
    store.insertPositions(lineage, epoch, passNo, first,
                          std::vector<std::int64_t>(map.begin() + (first - 1), map.end()));
    store.insertTrials(timing.trials);
    store.insertEvents(lineage, passNo, outcome.events);
    store.insertPass({lineage, passNo, epoch, static_cast<std::uint32_t>(map.size()), snapshot.fileSize,
                      snapshot.header, timing.consumed, folder.stationId, folder.tablePath, host});
    remember(folder, plan, map.size(), versions, timing.consumed);
    outcome.wrote = true;
    outcome.renumbered = plan.newEpoch;
    outcome.tests = tests.size();
    outcome.versions = versions.size() - tests.size();
    outcome.trials = timing.trials.size();
    for (const VersionRow& version : versions) {
        const DecodedRecord& decoded = snapshot.decode(version.image->record);
        if (decoded.hasError) {
            outcome.damaged.emplace_back(version.image->record, &decoded);
        }
    }
    return outcome;
}

} // namespace

PassOutcome runPass(LineageStore& store, FolderState& folder, Snapshot& snapshot, const std::set<std::int64_t>& taken,
                    const std::string& host)
{
    bool created = false;
    const std::optional<std::int64_t> lineage = lineageOf(store, folder, snapshot, taken, created);
    if (!lineage) {
        return {}; // nothing to recognise the table by, nor to collect
    }
    if (loadState(store, folder, *lineage)) {
        // The table was read before this pass held the lineage's lock, and a pass this collector does not
        // know committed meanwhile: it may have seen rows stored or edited after that read. Compared with
        // its state, the older read would look like a shrunk or renumbered table, or undo its edits. Read
        // the table again now that no other pass can commit: what that pass saw is in the file by now.
        snapshot = Snapshot(folder.tablePath, sizeOrZero(folder.timingPath));
    }
    const Plan plan = planPass(folder.state, snapshot.seen, [&] { return store.allVersions(*lineage); });
    // The new records' tests get their ids now, so that their trials can name them.
    const std::vector<std::int64_t> ids = store.newTestIds(plan.newTests.size());
    std::vector<std::int64_t> map;
    for (const TestRef ref : plan.map) {
        map.push_back(ref > 0 ? ref : ids[static_cast<std::size_t>(-ref - 1)]);
    }
    const std::vector<TimingGroup> groups
        = readTimingGroups(folder.timingPath, folder.state.timingOffset, snapshot.timingSize);
    const TimingOutcome timing = matchTiming(groups, map, snapshot, folder);
    PassOutcome outcome;
    if (created || plan.changesRecords() || !timing.trials.empty() || !timing.events.empty()
        || timing.consumed != folder.state.timingOffset) {
        outcome = write(store, folder, snapshot, plan, ids, map, timing, host);
    }
    outcome.lineage = lineage;
    outcome.created = created;
    return outcome;
}

} // namespace collection
