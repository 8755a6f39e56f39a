// How a pass reads a table against what the database knows: edits, deletions and new rows in place;
// packed, shrunk and replaced tables matched by content, never re-keyed and never counted twice.
#include "sync/pass_plan.h"

#include <gtest/gtest.h>

namespace collection {
namespace {

constexpr unsigned char kLive = 0x20;
constexpr unsigned char kDeleted = 0x2A;

central::Digest d(int n)
{
    central::Digest digest {};
    digest[0] = static_cast<unsigned char>(n);
    digest[1] = static_cast<unsigned char>(n >> 8);
    return digest;
}

// A row by numbers: content, identity part and lists part.
struct Row
{
    int content, head, lists;
    unsigned char flag = kLive;
};

struct PlanCase
{
    const char* name;
    std::vector<Row> known; // the known tests are 101, 102, ... at records 1, 2, ...
    std::vector<Row> seen;
    bool renumbered;
    std::vector<std::int64_t> map;                       // expected test per record: known ids, -1, -2 for new tests
    std::vector<std::pair<std::uint32_t, int>> versions; // (record, version number) added
    std::vector<std::string> events;
};

class PlanTest : public ::testing::TestWithParam<PlanCase>
{ };

TEST_P(PlanTest, PlansThePass)
{
    const PlanCase& c = GetParam();
    LineageState state;
    std::vector<KnownVersion> versions;
    for (std::size_t i = 0; i < c.known.size(); ++i) {
        const Row& row = c.known[i];
        const std::int64_t test = 101 + static_cast<std::int64_t>(i);
        state.rows.push_back({test, 2, row.flag, d(row.content), d(row.head), d(row.lists)});
        versions.push_back({test, 1, kLive, d(row.content + 1000)}); // an earlier version
        versions.push_back({test, 2, row.flag, d(row.content)});
    }
    std::vector<SeenRecord> seen;
    for (const Row& row : c.seen) {
        seen.push_back({row.flag, d(row.content), d(row.head), d(row.lists)});
    }
    bool asked = false;
    const Plan plan = planPass(state, seen, [&] {
        asked = true;
        return versions;
    });
    EXPECT_EQ(plan.newEpoch, c.renumbered);
    EXPECT_EQ(asked, c.renumbered) << "all versions are read only for a renumbered table";
    EXPECT_EQ(plan.map, c.map);
    std::vector<std::pair<std::uint32_t, int>> added;
    for (const PlannedVersion& version : plan.versions) {
        added.emplace_back(version.record, version.versionNo);
    }
    EXPECT_EQ(added, c.versions);
    std::vector<std::string> kinds;
    for (const PlannedEvent& event : plan.events) {
        kinds.push_back(event.kind);
    }
    EXPECT_EQ(kinds, c.events);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, PlanTest,
    ::testing::Values(PlanCase {"unchanged", {{1, 1, 1}, {2, 2, 2}}, {{1, 1, 1}, {2, 2, 2}}, false, {101, 102}, {}, {}},
                      PlanCase {"deleted and undeleted",
                                {{1, 1, 1}, {2, 2, 2, kDeleted}},
                                {{1, 1, 1, kDeleted}, {2, 2, 2}},
                                false,
                                {101, 102},
                                {{1, 3}, {2, 3}},
                                {"deleted", "undeleted"}},
                      PlanCase {"a name corrected, then a time corrected",
                                {{1, 1, 1}, {2, 2, 2}},
                                {{5, 9, 1}, {6, 2, 9}},
                                false,
                                {101, 102},
                                {{1, 3}, {2, 3}},
                                {"edited", "edited"}},
                      PlanCase {"new rows behind",
                                {{1, 1, 1}},
                                {{1, 1, 1}, {2, 2, 2}, {2, 2, 2}},
                                false,
                                {101, -1, -2},
                                {{2, 1}, {3, 1}},
                                {}},
                      PlanCase {"identical rows stay apart",
                                {{7, 7, 7}, {7, 7, 7}},
                                {{7, 7, 7}, {7, 7, 7}, {7, 7, 7}},
                                false,
                                {101, 102, -1},
                                {{3, 1}},
                                {}},
                      PlanCase {"packed: a deleted row removed, the later ones moved up",
                                {{1, 1, 1}, {2, 2, 2, kDeleted}, {3, 3, 3}},
                                {{1, 1, 1}, {3, 3, 3}},
                                true,
                                {101, 103},
                                {},
                                {"renumbered", "missing"}},
                      PlanCase {"packed, then stored to again: the same length as before",
                                {{1, 1, 1}, {2, 2, 2, kDeleted}, {3, 3, 3}},
                                {{1, 1, 1}, {3, 3, 3}, {4, 4, 4}},
                                true,
                                {101, 103, -1},
                                {{3, 1}},
                                {"renumbered", "missing"}},
                      PlanCase {"an older copy: an edited row back as it was first seen",
                                {{1, 1, 1}, {2, 2, 2}},
                                {{1001, 8, 8}},
                                true,
                                {101},
                                {{1, 3}},
                                {"renumbered", "missing"}},
                      PlanCase {"a row replaced by another test is never taken for an edit",
                                {{1, 1, 1}, {2, 2, 2}},
                                {{1, 1, 1}, {9, 9, 9}},
                                true,
                                {101, -1},
                                {{2, 1}},
                                {"renumbered", "missing"}},
                      PlanCase {"identical rows of a shrunk table",
                                {{7, 7, 7}, {7, 7, 7}},
                                {{7, 7, 7}},
                                true,
                                {101},
                                {},
                                {"renumbered", "missing"}},
                      PlanCase {"emptied", {{1, 1, 1}}, {}, true, {}, {}, {"renumbered", "missing"}}),
    [](const ::testing::TestParamInfo<PlanCase>& param) {
        std::string name;
        for (const char c : std::string(param.param.name)) {
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

} // namespace
} // namespace collection
