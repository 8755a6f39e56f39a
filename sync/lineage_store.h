#pragma once

#include "central/pg.h"
#include "sync/pass_plan.h"
#include "sync/table_source.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The collector's statements: what it reads back of its own office's lineages and what it adds. Every
// statement is parameterised; every row it adds has a key the database enforces, and nothing here updates
// or deletes. Callers run these inside one transaction per pass.
namespace collection {

// The last pass of a lineage.
struct PassHead
{
    int passNo = 0;
    int epoch = 1;
    std::uint32_t records = 0;
    std::uint64_t timingOffset = 0;
};

// A version to add: the test, its number, and the record it was read as.
struct VersionRow
{
    std::int64_t testId = 0;
    int versionNo = 1;
    const RecordImage* image = nullptr;
};

// The values of a record (by its number), decoded when a version of it is written.
using DecodeRecord = std::function<const DecodedRecord&(std::uint32_t record)>;

// A test's trial lines to attach.
struct TrialRows
{
    std::int64_t testId = 0;
    const TimingGroup* group = nullptr;
};

// What a pass adds besides its versions.
struct PassRow
{
    std::int64_t lineageId = 0;
    int passNo = 0;
    int epoch = 1;
    std::uint32_t records = 0;
    std::uint64_t fileSize = 0;
    std::vector<unsigned char> header;
    std::uint64_t timingOffset = 0;
    int stationId = 0;
    std::string path;
    std::string host;
};

class LineageStore
{
public:
    // Works for office `officeId` on `db`. Throws nothing.
    LineageStore(central::Connection& db, int officeId);

    // The id of the office named `office`. Throws central::DatabaseError "The database knows no office
    // '<office>': ..." when it is not registered.
    static int officeId(central::Connection& db, const std::string& office);
    // The id of the office's station `name`, added when missing.
    int stationId(const std::string& name);

    // Transaction-scoped advisory locks: one recognising collector per office, one pass per lineage.
    void lockOffice();
    void lockLineage(std::int64_t lineageId);

    // The lineage that holds most of the tests whose contents are `samples` (contents held by tests of
    // several lineages do not count), other than those in `exclude`; nullopt when none does.
    std::optional<std::int64_t> recognise(const std::vector<central::Digest>& samples,
                                          const std::set<std::int64_t>& exclude);
    std::int64_t createLineage(const std::string& path);

    std::optional<PassHead> lastPass(std::int64_t lineageId);
    // The lineage's records after pass `head`: the last version of the test at each of them.
    LineageState load(std::int64_t lineageId, const PassHead& head);
    std::vector<KnownVersion> allVersions(std::int64_t lineageId);

    // `count` new test ids from the database's sequence.
    std::vector<std::int64_t> newTestIds(std::size_t count);
    // The highest ordinal taken for each of `contents` in the office (absent: none).
    std::map<central::Digest, int> maxOrdinals(const std::set<central::Digest>& contents);

    struct NewTest
    {
        std::int64_t testId = 0;
        central::Digest content {};
        int ordinal = 0;
    };
    void insertTests(std::int64_t lineageId, int stationId, const std::vector<NewTest>& tests);
    void insertVersions(std::int64_t lineageId, int passNo, const std::vector<VersionRow>& versions,
                        const DecodeRecord& decode);
    void insertPositions(std::int64_t lineageId, int epoch, int passNo, std::uint32_t firstRecord,
                         const std::vector<std::int64_t>& testIds);
    void insertTrials(const std::vector<TrialRows>& trials);
    void insertEvents(std::int64_t lineageId, int passNo, const std::vector<PlannedEvent>& events);
    void insertPass(const PassRow& pass);

private:
    central::Connection& m_db;
    int m_officeId;
    std::string m_office;
};

} // namespace collection
