#include "sync/pass_plan.h"

#include <map>
#include <set>

namespace collection {

namespace {

constexpr unsigned char kDeletedFlag = 0x2A;

std::string flagChange(unsigned char before, unsigned char now)
{
    if (now == kDeletedFlag) {
        return "deleted";
    }
    return before == kDeletedFlag ? "undeleted" : "edited";
}

// Records seen in place: each known record either unchanged, edited, deleted or undeleted; new ones
// behind. Returns false when the table cannot be read that way.
bool planInPlace(const LineageState& state, const std::vector<SeenRecord>& seen, Plan& plan)
{
    if (seen.size() < state.rows.size()) {
        return false;
    }
    std::set<central::Digest> knownContent;
    for (const KnownRow& row : state.rows) {
        knownContent.insert(row.content);
    }
    for (std::size_t i = 0; i < state.rows.size(); ++i) {
        const KnownRow& known = state.rows[i];
        const SeenRecord& now = seen[i];
        const auto record = static_cast<std::uint32_t>(i + 1);
        plan.map.push_back(known.testId);
        if (now.content == known.content) {
            if (now.flag != known.flag) {
                plan.versions.push_back({record, known.testId, known.versionNo + 1});
                plan.events.push_back({flagChange(known.flag, now.flag), record, known.testId, {}});
            }
            continue;
        }
        // Changed content: an edit keeps either the person and date or the measured times, and does not
        // turn the row into another known one (as a shift by a pack does).
        if (knownContent.count(now.content) > 0 || (now.head != known.head && now.lists != known.lists)) {
            return false;
        }
        plan.versions.push_back({record, known.testId, known.versionNo + 1});
        plan.events.push_back({"edited", record, known.testId, {}});
    }
    for (std::size_t i = state.rows.size(); i < seen.size(); ++i) {
        plan.newTests.push_back(static_cast<std::uint32_t>(i + 1));
        const TestRef ref = -static_cast<TestRef>(plan.newTests.size());
        plan.map.push_back(ref);
        plan.versions.push_back({static_cast<std::uint32_t>(i + 1), ref, 1});
    }
    plan.firstNewPosition = static_cast<std::uint32_t>(state.rows.size() + 1);
    return true;
}

// Every record matched by content to any version of the lineage's tests.
void planRenumbered(const LineageState& state, const std::vector<SeenRecord>& seen,
                    const std::vector<KnownVersion>& versions, Plan& plan)
{
    std::map<central::Digest, std::set<std::int64_t>> testsWithContent; // ids ascending: oldest first
    std::map<std::int64_t, KnownVersion> latest;
    for (const KnownVersion& version : versions) {
        testsWithContent[version.content].insert(version.testId);
        KnownVersion& last = latest[version.testId];
        if (version.versionNo > last.versionNo) {
            last = version;
        }
    }
    std::vector<TestRef> assigned(seen.size(), 0);
    std::set<std::int64_t> taken;
    // First the tests that stayed where they were (in any of their versions), then the rest in order.
    for (std::size_t i = 0; i < seen.size() && i < state.rows.size(); ++i) {
        const auto found = testsWithContent.find(seen[i].content);
        const std::int64_t test = state.rows[i].testId;
        if (found != testsWithContent.end() && found->second.count(test) > 0 && taken.insert(test).second) {
            assigned[i] = test;
        }
    }
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const auto found = testsWithContent.find(seen[i].content);
        if (assigned[i] != 0 || found == testsWithContent.end()) {
            continue;
        }
        for (const std::int64_t test : found->second) {
            if (taken.insert(test).second) {
                assigned[i] = test;
                break;
            }
        }
    }
    std::size_t matched = 0;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const auto record = static_cast<std::uint32_t>(i + 1);
        if (assigned[i] == 0) {
            plan.newTests.push_back(record);
            assigned[i] = -static_cast<TestRef>(plan.newTests.size());
            plan.versions.push_back({record, assigned[i], 1});
            continue;
        }
        ++matched;
        const KnownVersion& last = latest[assigned[i]];
        if (last.content != seen[i].content || last.flag != seen[i].flag) {
            plan.versions.push_back({record, assigned[i], last.versionNo + 1});
        }
    }
    plan.map = assigned;
    plan.newEpoch = true;
    plan.firstNewPosition = 1;
    std::size_t missing = 0;
    for (const KnownRow& row : state.rows) {
        if (taken.count(row.testId) == 0) {
            ++missing;
            plan.events.push_back({"missing", 0, row.testId, "no longer in the table"});
        }
    }
    plan.events.insert(plan.events.begin(),
                       {"renumbered", 0, 0,
                        "the table's records were renumbered or replaced (a packed table, an older copy, a restored "
                        "backup): "
                            + std::to_string(seen.size()) + " records, " + std::to_string(state.rows.size())
                            + " before; " + std::to_string(matched) + " matched known tests, "
                            + std::to_string(plan.newTests.size()) + " new, " + std::to_string(missing)
                            + " known tests no longer in it"});
}

} // namespace

Plan planPass(const LineageState& state, const std::vector<SeenRecord>& seen,
              const std::function<std::vector<KnownVersion>()>& allVersions)
{
    Plan plan;
    if (planInPlace(state, seen, plan)) {
        return plan;
    }
    plan = Plan {};
    planRenumbered(state, seen, allVersions(), plan);
    return plan;
}

} // namespace collection
