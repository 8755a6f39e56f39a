#include "central/migrations.h"

#include "central/digest.h"

namespace central {

namespace {

// The advisory lock that lets one program migrate at a time (the collectors use positive keys).
constexpr const char* kLockMigrations = "SELECT pg_advisory_xact_lock(-1)";

void createBookkeeping(Connection& connection)
{
    Transaction transaction(connection);
    connection.exec(kLockMigrations);
    connection.run("CREATE SCHEMA IF NOT EXISTS tivora;"
                   "CREATE TABLE IF NOT EXISTS tivora.migrations ("
                   "  version int PRIMARY KEY,"
                   "  name text NOT NULL,"
                   "  checksum text NOT NULL,"
                   "  applied_at timestamptz NOT NULL DEFAULT now())");
    transaction.commit();
}

// Applies `migration` unless it is recorded; checks the text of one that is. Returns true when applied.
bool apply(Connection& connection, const Migration& migration)
{
    const std::string checksum = hex(sha256(migration.sql));
    Transaction transaction(connection);
    connection.exec(kLockMigrations);
    const Result applied
        = connection.exec("SELECT checksum, applied_at::text FROM tivora.migrations WHERE version = $1",
                          {std::to_string(migration.version)});
    if (applied.rows() > 0) {
        if (applied.text(0, 0) != checksum) {
            throw DatabaseError("Migration " + migration.name + " differs from the one applied to the database on "
                                + applied.text(0, 1) + ": a released migration is never edited; add a new one");
        }
        return false;
    }
    connection.run(migration.sql);
    connection.exec("INSERT INTO tivora.migrations (version, name, checksum) VALUES ($1, $2, $3)",
                    {std::to_string(migration.version), migration.name, checksum});
    transaction.commit();
    return true;
}

} // namespace

int latestSchemaVersion()
{
    return knownMigrations().empty() ? 0 : knownMigrations().back().version;
}

std::vector<std::string> migrate(Connection& connection)
{
    createBookkeeping(connection);
    const int version = schemaVersion(connection);
    if (version > latestSchemaVersion()) {
        throw DatabaseError("The database has schema version " + std::to_string(version)
                            + ", newer than this program knows (" + std::to_string(latestSchemaVersion())
                            + "): use a newer tivora-sync");
    }
    std::vector<std::string> names;
    for (const Migration& migration : knownMigrations()) {
        if (apply(connection, migration)) {
            names.push_back(migration.name);
        }
    }
    return names;
}

int schemaVersion(Connection& connection)
{
    const Result exists = connection.exec("SELECT to_regclass('tivora.migrations') IS NOT NULL");
    if (exists.text(0, 0) != "t") {
        return 0;
    }
    const Result version = connection.exec("SELECT coalesce(max(version), 0) FROM tivora.migrations");
    return static_cast<int>(version.integer(0, 0));
}

void requireCurrentSchema(Connection& connection)
{
    const int version = schemaVersion(connection);
    const int wanted = latestSchemaVersion();
    if (version < wanted) {
        throw DatabaseError("The database has schema version " + std::to_string(version) + "; this program needs "
                            + std::to_string(wanted) + ": run tivora-sync migrate as the database's administrator");
    }
    if (version > wanted) {
        throw DatabaseError("The database has schema version " + std::to_string(version)
                            + ", newer than this program knows (" + std::to_string(wanted)
                            + "): use a newer tivora-sync");
    }
}

} // namespace central
