#pragma once

#include "central/pg.h"

#include <string>
#include <vector>

// The database's schema as numbered migrations (central/migrations/NNNN_name.sql, built into the
// program). Each is applied once, in its own transaction, and recorded in tivora.migrations with the
// SHA-256 of its text; a migration is never edited once released: changes come as a new one.
namespace central {

struct Migration
{
    int version = 0;  // the file's number
    std::string name; // "0001_collection.sql"
    std::string sql;
};

// Every migration this program knows, in order.
const std::vector<Migration>& knownMigrations();

// The newest version this program knows.
int latestSchemaVersion();

// Applies the migrations the database lacks, each in its own transaction, while holding a lock that
// keeps a second migrating program waiting. Returns the names of those applied (empty when the schema
// was current). Needs a role that may create schemas and roles (the administrator). Throws DatabaseError
// when a migration fails (earlier ones stay applied), and when an applied migration's text differs from
// the program's ("Migration 0001_collection.sql differs from the one applied to the database on ...").
std::vector<std::string> migrate(Connection& connection);

// The version of the newest migration applied, 0 when none is.
int schemaVersion(Connection& connection);

// Throws DatabaseError when the database's schema is not the one this program knows: "The database has
// schema version 0; this program needs 1: run tivora-sync migrate as the database's administrator" (or
// that the program is too old for it).
void requireCurrentSchema(Connection& connection);

} // namespace central
