// The database layer against a real server: values only ever travel as parameters, errors say what the
// server said and never a password, and the schema's migrations apply once.
#include "central/migrations.h"
#include "central/pg.h"
#include "central/test_server.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace central {
namespace {

using testing::TestServer;

struct PasswordCase
{
    const char* conninfo;
    bool refused;
};

class RefusePasswordTest : public ::testing::TestWithParam<PasswordCase>
{ };

TEST_P(RefusePasswordTest, APasswordIsRefusedAndNeverRepeated)
{
    const PasswordCase& c = GetParam();
    if (!c.refused) {
        EXPECT_NO_THROW(refusePassword(c.conninfo, "in sync.conf"));
        return;
    }
    try {
        refusePassword(c.conninfo, "in sync.conf");
        FAIL() << "accepted " << c.conninfo;
    } catch (const SettingError& error) {
        const std::string message = error.what();
        EXPECT_EQ(message.rfind("The connection string in sync.conf ", 0), 0U) << message;
        EXPECT_EQ(message.find("s3cret"), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Strings, RefusePasswordTest,
    ::testing::Values(PasswordCase {"host=db dbname=tivora user=brno", false},
                      PasswordCase {"postgresql://brno@db.example.org:5433/tivora?sslmode=verify-full", false},
                      PasswordCase {"host=db password=s3cret", true},
                      PasswordCase {"host=db password='s3cret x'", true},
                      PasswordCase {"postgresql://brno:s3cret@db/tivora", true},
                      PasswordCase {"postgresql://brno@db/tivora?password=s3cret", true},
                      PasswordCase {"host=db user=brno passwords3cret", true}, // unreadable: not quoted back
                      PasswordCase {"host=db password=", false}));

class ConnectionTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_database = TestServer::shared().createDatabase(false); }

    std::unique_ptr<Connection> connect() { return TestServer::shared().connect(s_database); }

    static std::string s_database;
};

std::string ConnectionTest::s_database;

TEST_F(ConnectionTest, ValuesTravelAsParametersWhateverTheyHold)
{
    auto db = connect();
    const std::vector<std::string> values
        = {"'; DROP TABLE pg_class; --", "a\"b\\c{d},e", "Žluťoučký kůň", "NULL", "", " spaces ", "line\nbreak\ttab"};
    ArrayParam array;
    for (const std::string& value : values) {
        EXPECT_EQ(db->exec("SELECT $1::text", {value}).text(0, 0), value);
        array.add(value);
    }
    array.addNull();
    const Result rows
        = db->exec("SELECT v FROM unnest($1::text[]) WITH ORDINALITY AS u(v, n) ORDER BY n", {array.str()});
    ASSERT_EQ(rows.rows(), static_cast<int>(values.size()) + 1);
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(rows.text(static_cast<int>(i), 0), values[i]);
    }
    EXPECT_TRUE(rows.isNull(static_cast<int>(values.size()), 0));
    EXPECT_TRUE(db->exec("SELECT $1::text IS NULL", {std::nullopt}).text(0, 0) == "t");
}

TEST_F(ConnectionTest, EveryByteValueSurvivesAByteaRoundTrip)
{
    auto db = connect();
    std::vector<unsigned char> bytes;
    for (int i = 0; i < 256; ++i) {
        bytes.push_back(static_cast<unsigned char>(255 - i));
    }
    EXPECT_EQ(db->exec("SELECT $1::bytea", {byteaParam(bytes)}).bytes(0, 0), bytes);
    EXPECT_EQ(db->exec("SELECT length($1::bytea)", {byteaParam(bytes)}).integer(0, 0), 256);
}

TEST_F(ConnectionTest, ServerErrorsCarryTheServersMessageAndState)
{
    auto db = connect();
    db->run("CREATE TABLE unique_things (id int PRIMARY KEY)");
    db->exec("INSERT INTO unique_things VALUES ($1)", {"1"});
    try {
        db->exec("INSERT INTO unique_things VALUES ($1)", {"1"});
        FAIL() << "a second row with the same key was taken";
    } catch (const DatabaseError& error) {
        EXPECT_EQ(error.sqlState(), "23505");
        EXPECT_TRUE(error.isRetryable());
        EXPECT_NE(std::string(error.what()).find("duplicate key value violates unique constraint"), std::string::npos)
            << error.what();
    }
    EXPECT_FALSE(db->isBroken());
}

TEST_F(ConnectionTest, ATransactionLeftWithoutCommitLeavesNothing)
{
    auto db = connect();
    db->run("CREATE TABLE kept (id int)");
    {
        Transaction transaction(*db);
        db->exec("INSERT INTO kept VALUES (1)");
    }
    {
        Transaction transaction(*db);
        db->exec("INSERT INTO kept VALUES (2)");
        transaction.commit();
    }
    EXPECT_EQ(db->exec("SELECT string_agg(id::text, ',') FROM kept").text(0, 0), "2");
}

TEST_F(ConnectionTest, AnUnreachableServerIsAConnectionErrorThatNamesNoPassword)
{
    setenv("PGPASSWORD", "s3cret", 1);
    ConnectionSettings settings;
    settings.conninfo = "host=127.0.0.1 port=1 dbname=tivora user=brno";
    try {
        Connection connection(settings);
        FAIL() << "connected to port 1";
    } catch (const ConnectionError& error) {
        const std::string message = error.what();
        EXPECT_EQ(message.rfind("Cannot connect to the database tivora on 127.0.0.1:1 as brno: ", 0), 0U) << message;
        EXPECT_EQ(message.find("s3cret"), std::string::npos) << message;
    }
    unsetenv("PGPASSWORD");
    settings.overrides = {{"password", "s3cret"}};
    EXPECT_THROW(Connection {settings}, SettingError);
}

TEST(MigrationTest, MigrationsApplyOnceAndAnEditedOneIsRefused)
{
    TestServer& server = TestServer::shared();
    const std::string database = server.createDatabase(false);
    auto db = server.connect(database);
    EXPECT_EQ(schemaVersion(*db), 0);
    try {
        requireCurrentSchema(*db);
        FAIL() << "an empty database passed";
    } catch (const DatabaseError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "The database has schema version 0; this program needs " + std::to_string(latestSchemaVersion())
                      + ": run tivora-sync migrate as the database's administrator");
    }
    EXPECT_EQ(migrate(*db).size(), knownMigrations().size());
    EXPECT_EQ(schemaVersion(*db), latestSchemaVersion());
    EXPECT_NO_THROW(requireCurrentSchema(*db));
    EXPECT_TRUE(migrate(*db).empty());

    db->exec("UPDATE tivora.migrations SET checksum = 'edited' WHERE version = 1");
    try {
        migrate(*db);
        FAIL() << "an edited migration was accepted";
    } catch (const DatabaseError& error) {
        EXPECT_NE(std::string(error.what()).find("Migration 0001_collection.sql differs from the one applied"),
                  std::string::npos)
            << error.what();
    }
    db->exec("UPDATE tivora.migrations SET version = 99 WHERE version = 1");
    EXPECT_THROW(requireCurrentSchema(*db), DatabaseError);
}

} // namespace
} // namespace central
