// The pointers at the last version of every test: filled for a collection that had tests before they were
// there, kept as versions are added (several of one test in one statement included), and always what the
// versions themselves say is last: the record's bytes too, and whether the test has trials, whichever of
// its version and its trials came first.
#include "central/digest.h"
#include "central/migrations.h"
#include "central/pg.h"
#include "central/test_server.h"

#include <gtest/gtest.h>

namespace central {
namespace {

using testing::TestServer;

// Every test's last version as the versions say, and as the pointers say: test, version, record, the
// record's bytes before its closing blanks and in all, deleted, the test's lineage and station, date, the
// record's first letter, whether it has trials.
constexpr const char* kLastVersions
    = "SELECT string_agg(concat_ws(' ', v.test_id, v.version_no, v.record_no, octet_length(rtrim(v.raw, '\\x20')),"
      " octet_length(v.raw), v.deleted, t.lineage_id, t.station_id, v.test_date, convert_from(substring(v.raw for 1),"
      " 'LATIN1'), EXISTS (SELECT FROM tivora.trials r WHERE r.test_id = v.test_id)), '; ' ORDER BY v.test_id) FROM "
      "tivora.versions v JOIN tivora.tests t USING (test_id)"
      " WHERE NOT EXISTS (SELECT FROM tivora.versions n WHERE n.test_id = v.test_id AND n.version_no > v.version_no)";
constexpr const char* kPointers
    = "SELECT string_agg(concat_ws(' ', test_id, version_no, record_no, record_kept, record_length, deleted,"
      " lineage_id, station_id, test_date, convert_from(substring(raw for 1), 'LATIN1'), has_trials), '; '"
      " ORDER BY test_id) FROM tivora.current_versions";

// Adds versions given as (test, version, record, flag, date) rows in one statement; record r of version v
// is r letters (A for the first version, B for the second...) and two blanks.
void addVersions(Connection& db, const std::string& rows)
{
    db.run("INSERT INTO tivora.versions (test_id, version_no, office_id, lineage_id, pass_no, record_no, flag, deleted,"
           " content_hash, head_hash, lists_hash, raw, test_date) SELECT t, v, 1, 1, 1, r, f, f = 42, '\\x01', '\\x02',"
           " '\\x03', convert_to(repeat(chr(64 + v), r) || '  ', 'LATIN1'), d::date FROM (VALUES "
           + rows + ") AS x(t, v, r, f, d)");
}

// Adds a trial (line 1) of each test in `tests` ("1, 2") in one statement, as the collector does.
void addTrials(Connection& db, const std::string& tests)
{
    db.run("INSERT INTO tivora.trials (test_id, line, office_id, series) SELECT t, 1, 1, 1 FROM unnest(ARRAY[" + tests
           + "]::bigint[]) t ON CONFLICT DO NOTHING");
}

TEST(CurrentVersionsTest, TheLastVersionOfEveryTestIsPointedAtBeforeAndAfterTheSchemaKnowsThem)
{
    TestServer& server = TestServer::shared();
    auto db = server.connect(server.createDatabase(false));
    // A collection of the first schema, as an office had it before.
    const Migration& first = knownMigrations().front();
    db->run("CREATE SCHEMA tivora; CREATE TABLE tivora.migrations (version int PRIMARY KEY, name text NOT NULL,"
            " checksum text NOT NULL, applied_at timestamptz NOT NULL DEFAULT now())");
    db->run(first.sql);
    db->exec("INSERT INTO tivora.migrations (version, name, checksum) VALUES (1, $1, $2)",
             {first.name, hex(sha256(first.sql))});
    db->run("INSERT INTO tivora.offices (name, collector_role) VALUES ('Brno', 'nobody');"
            "INSERT INTO tivora.stations (office_id, name) VALUES (1, 'Stanice 1');"
            "INSERT INTO tivora.lineages (office_id, first_path) VALUES (1, 'a'), (1, 'b');"
            "INSERT INTO tivora.tests (test_id, office_id, content_key, ordinal, lineage_id, station_id) VALUES"
            " (1, 1, '\\x01', 1, 1, 1), (2, 1, '\\x02', 1, 1, NULL), (3, 1, '\\x03', 1, 2, 1)");
    addVersions(*db, "(1, 1, 1, 32, '2026-01-05'), (2, 1, 2, 32, NULL), (3, 1, 1, 32, '2026-02-01')");
    addVersions(*db, "(1, 2, 1, 32, '2026-01-06'), (3, 2, 4, 42, '2026-02-01')"); // edited; deleted and moved
    addVersions(*db, "(1, 3, 7, 32, '2026-01-06')");                              // renumbered
    addTrials(*db, "3");

    ASSERT_FALSE(migrate(*db).empty());
    const std::string filled = db->exec(kPointers).text(0, 0);
    EXPECT_EQ(filled, "1 3 7 7 9 f 1 1 2026-01-06 C f; 2 1 2 2 4 f 1 A f; 3 2 4 4 6 t 2 1 2026-02-01 B t");
    EXPECT_EQ(filled, db->exec(kLastVersions).text(0, 0));

    // Versions added later, by the statements that add them: one test's two versions in one statement, a
    // test undeleted, new tests: one whose trials come before its version, one whose trials come after;
    // trials again for a test that has some.
    db->run("INSERT INTO tivora.tests (test_id, office_id, content_key, ordinal, lineage_id) VALUES"
            " (4, 1, '\\x04', 1, 2), (5, 1, '\\x05', 1, 2)");
    addTrials(*db, "5");
    addVersions(*db, "(2, 3, 2, 42, NULL), (2, 2, 2, 32, '2026-03-01'), (4, 1, 9, 32, NULL), (5, 1, 3, 32, NULL)");
    addVersions(*db, "(3, 3, 4, 32, '2026-02-01')");
    addTrials(*db, "4, 3");
    const std::string kept = db->exec(kPointers).text(0, 0);
    EXPECT_EQ(kept,
              "1 3 7 7 9 f 1 1 2026-01-06 C f; 2 3 2 2 4 t 1 C f; 3 3 4 4 6 f 2 1 2026-02-01 C t;"
              " 4 1 9 9 11 f 2 A t; 5 1 3 3 5 f 2 A t");
    EXPECT_EQ(kept, db->exec(kLastVersions).text(0, 0));
}

} // namespace
} // namespace central
