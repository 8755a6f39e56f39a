// What each role may do: an office's collector adds its own office's rows and reads back only what
// matching needs; it never reads another office's rows or anyone's identity, and never changes or removes
// anything. The report reads everything and writes nothing.
#include "central/pg.h"
#include "central/test_server.h"

#include <gtest/gtest.h>

namespace central {
namespace {

using testing::TestServer;

class RolesTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        TestServer& server = TestServer::shared();
        s_database = server.createDatabase();
        server.addOffice(s_database, "Brno", "roles_brno");
        server.addOffice(s_database, "Ostrava", "roles_ostrava");
        auto admin = server.connect(s_database);
        admin->run("CREATE ROLE roles_reader LOGIN IN ROLE tivora_report");
        s_brno = officeId(*admin, "Brno");
        s_ostrava = officeId(*admin, "Ostrava");
        s_ostravaTest = addTest(*admin, s_ostrava, "Nováková");
    }

    static std::string officeId(Connection& db, const std::string& name)
    {
        return db.exec("SELECT office_id FROM tivora.offices WHERE name = $1", {name}).text(0, 0);
    }

    // A lineage, a test and its first version for `office`, as its collector adds them; returns the test.
    static std::string addTest(Connection& db, const std::string& office, const std::string& surname)
    {
        const std::string lineage
            = db.exec("INSERT INTO tivora.lineages (office_id, first_path) VALUES ($1, '/srv') RETURNING lineage_id",
                      {office})
                  .text(0, 0);
        const std::string test = db.exec("SELECT nextval('tivora.tests_test_id_seq')").text(0, 0);
        db.exec("INSERT INTO tivora.tests (test_id, office_id, content_key, ordinal, lineage_id) "
                "VALUES ($1, $2, '\\x01', 0, $3)",
                {test, office, lineage});
        db.exec("INSERT INTO tivora.versions (test_id, version_no, office_id, lineage_id, pass_no, record_no, flag, "
                "deleted, content_hash, head_hash, lists_hash, raw, surname, rc_1, rc_2) "
                "VALUES ($1, 1, $2, $3, 1, 1, 32, false, '\\x01', '\\x02', '\\x03', '\\x20', $4, '855101', '1234')",
                {test, office, lineage, surname});
        return test;
    }

    static std::unique_ptr<Connection> as(const std::string& role)
    {
        return TestServer::shared().connect(s_database, role);
    }

    static std::string s_database, s_brno, s_ostrava, s_ostravaTest;
};

std::string RolesTest::s_database, RolesTest::s_brno, RolesTest::s_ostrava, RolesTest::s_ostravaTest;

TEST_F(RolesTest, ACollectorAddsItsOwnOfficesRowsAndSeesOnlyThose)
{
    auto brno = as("roles_brno");
    const std::string own = addTest(*brno, s_brno, "Dvořák");
    const Result seen = brno->exec("SELECT test_id, content_hash FROM tivora.versions");
    ASSERT_EQ(seen.rows(), 1);
    EXPECT_EQ(seen.text(0, 0), own);
    // The pointer at its last version comes with it, though the collector may not touch the pointers.
    auto admin = TestServer::shared().connect(s_database);
    EXPECT_EQ(admin->exec("SELECT version_no FROM tivora.current_versions WHERE test_id = $1", {own}).integer(0, 0), 1);
    EXPECT_EQ(brno->exec("SELECT count(*) FROM tivora.tests WHERE office_id = $1", {s_ostrava}).integer(0, 0), 0);
    EXPECT_EQ(brno->exec("SELECT count(*) FROM tivora.lineages WHERE office_id = $1", {s_ostrava}).integer(0, 0), 0);
}

// Each statement the collector of Brno tries, and the SQLSTATE that stops it.
struct Forbidden
{
    const char* what;
    const char* sql;
    const char* state;
};

TEST_F(RolesTest, ACollectorCanNeitherReadIdentitiesNorChangeNorRemoveAnything)
{
    const std::vector<Forbidden> attempts = {
        {"names", "SELECT surname FROM tivora.versions", "42501"},
        {"birth numbers", "SELECT rc_1, rc_2, birth_key FROM tivora.versions", "42501"},
        {"the records' bytes", "SELECT raw FROM tivora.versions", "42501"},
        {"every column", "SELECT * FROM tivora.versions", "42501"},
        {"the current view", "SELECT * FROM tivora.current_tests", "42501"},
        {"another office's last versions", "SELECT * FROM tivora.current_versions", "42501"},
        {"a test pointed at another version", "UPDATE tivora.current_versions SET version_no = 1", "42501"},
        {"a pointer of its own",
         "INSERT INTO tivora.current_versions (test_id, version_no, office_id, lineage_id, record_no, record_length,"
         " record_kept, deleted) VALUES (1, 1, $1, 1, 1, 1, 1, false)",
         "42501"},
        {"another office's rows as its own", "INSERT INTO tivora.lineages (office_id, first_path) VALUES ($1, 'x')",
         "42501"},
        {"an update", "UPDATE tivora.tests SET ordinal = ordinal + 1", "42501"},
        {"an update of a version", "UPDATE tivora.versions SET deleted = true", "42501"},
        {"a delete", "DELETE FROM tivora.versions", "42501"},
        {"a delete of its bookkeeping", "DELETE FROM tivora.passes", "42501"},
        {"emptying a table", "TRUNCATE tivora.trials", "42501"},
        {"registering an office", "SELECT tivora.add_office('Praha', 'roles_brno')", "42501"},
        {"changing an office", "UPDATE tivora.offices SET collector_role = 'roles_brno'", "42501"},
    };
    auto brno = as("roles_brno");
    for (const Forbidden& attempt : attempts) {
        const std::string sql = attempt.sql;
        const std::vector<Param> params
            = sql.find("$1") != std::string::npos ? std::vector<Param> {s_ostrava} : std::vector<Param> {};
        try {
            brno->exec(sql, params);
            ADD_FAILURE() << "the collector could read or change " << attempt.what;
        } catch (const DatabaseError& error) {
            EXPECT_EQ(error.sqlState(), attempt.state) << attempt.what << ": " << error.what();
        }
    }
    auto admin = TestServer::shared().connect(s_database);
    EXPECT_EQ(admin->exec("SELECT surname FROM tivora.versions WHERE test_id = $1", {s_ostravaTest}).text(0, 0),
              "Nováková");
}

TEST_F(RolesTest, TheReportReadsEveryOfficeAndWritesNothing)
{
    auto reader = as("roles_reader");
    EXPECT_GE(reader->exec("SELECT count(DISTINCT office) FROM tivora.current_tests").integer(0, 0), 1);
    EXPECT_GE(reader->exec("SELECT count(DISTINCT office_id) FROM tivora.current_versions").integer(0, 0), 1);
    EXPECT_EQ(reader->exec("SELECT surname FROM tivora.current_tests WHERE test_id = $1", {s_ostravaTest}).text(0, 0),
              "Nováková");
    for (const char* sql : {"INSERT INTO tivora.lineages (office_id, first_path) VALUES (1, 'x')",
                            "UPDATE tivora.versions SET deleted = true", "DELETE FROM tivora.tests",
                            "UPDATE tivora.current_versions SET deleted = true"}) {
        try {
            reader->exec(sql);
            ADD_FAILURE() << "the report could run " << sql;
        } catch (const DatabaseError& error) {
            EXPECT_EQ(error.sqlState(), "42501") << sql;
        }
    }
}

} // namespace
} // namespace central
