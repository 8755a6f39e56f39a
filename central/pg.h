#pragma once

#include "central/errors.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// PostgreSQL through libpq, behind three small owners: a connection, a result and a transaction. This is
// the only place that sees libpq; everything else talks to the database through these types, with
// parameterised statements only (a value never becomes part of a statement's text).
struct pg_conn;
struct pg_result;

namespace central {

// A statement parameter in PostgreSQL's text form; nullopt is SQL NULL.
using Param = std::optional<std::string>;

// A bytea parameter in the server's hex form ("\x0a1b...").
std::string byteaParam(const void* data, std::size_t size);
inline std::string byteaParam(const std::vector<unsigned char>& bytes)
{
    return byteaParam(bytes.data(), bytes.size());
}

// Builds a one-dimensional array parameter ("{1,NULL,\"text\"}") for statements that insert many rows at
// once through unnest(). Every element is quoted and escaped, so any text is safe in it.
class ArrayParam
{
public:
    ArrayParam& add(const std::string& text);
    ArrayParam& add(std::int64_t number);
    ArrayParam& add(double number);
    ArrayParam& add(bool value);
    ArrayParam& addNull();
    // Adds `value` or NULL.
    template<typename T>
    ArrayParam& add(const std::optional<T>& value)
    {
        return value ? add(*value) : addNull();
    }
    std::string str() const { return m_text + "}"; }
    std::size_t size() const { return m_count; }

private:
    void separate();

    std::string m_text = "{";
    std::size_t m_count = 0;
};

// A bytea array parameter in PostgreSQL's binary form, for many records' bytes at once: the bytes travel
// as they are, without the hex form's doubling and the text array's quoting. Pass it with
// Connection::exec()'s `binary` flags.
class ByteaArrayParam
{
public:
    ByteaArrayParam& add(const void* data, std::size_t size);
    std::size_t size() const { return m_count; }
    // The whole binary array value.
    std::string str() const;

private:
    std::string m_elements;
    std::size_t m_count = 0;
};

// The rows a statement returned. Owns the libpq result; movable, not copyable.
class Result
{
public:
    Result() = default;
    explicit Result(pg_result* result);
    ~Result();
    Result(Result&& other) noexcept;
    Result& operator=(Result&& other) noexcept;
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    int rows() const;
    int columns() const;
    bool isNull(int row, int column) const;
    // The value in text form ("" for NULL).
    std::string text(int row, int column) const;
    // The value as a whole number. Throws DatabaseError when it is NULL or not one.
    std::int64_t integer(int row, int column) const;
    // A bytea value (sent in the hex form). Throws DatabaseError when it is not one.
    std::vector<unsigned char> bytes(int row, int column) const;
    // The value's bytes as the server sent them, valid while the result lives ("" for NULL): text for
    // a text column, the bytes themselves for a bytea column of a result in binary form.
    std::string_view view(int row, int column) const;

private:
    pg_result* m_result = nullptr;
};

// libpq's password file of the user, as messages name it: "~/.pgpass", on Windows
// "%APPDATA%\postgresql\pgpass.conf".
extern const char* const kPasswordFile;

// Where and how to connect: a libpq connection string or URI ("host=db dbname=tivora user=brno",
// "postgresql://brno@db/tivora"), and settings that override it (sslmode, sslrootcert, ...). Passwords
// never come this way: refusePassword() rejects them, and libpq takes them from its password file
// (PGPASSFILE, kPasswordFile) or PGPASSWORD.
struct ConnectionSettings
{
    std::string conninfo;
    std::vector<std::pair<std::string, std::string>> overrides;
    std::string applicationName = "tivora";
};

// Throws SettingError when `conninfo` cannot be read or holds a password, naming `where` it came from
// ("The connection string in /etc/tivora/sync.conf holds a password: ..."). The message never repeats
// the string itself.
void refusePassword(const std::string& conninfo, const std::string& where);

// One open connection. Not thread-safe; one per thread.
class Connection
{
public:
    // Connects, with a connect timeout and TCP keepalives so that a dead network is noticed, unless the
    // settings say otherwise. Throws SettingError for a password in the settings and ConnectionError
    // "Cannot connect to the database <name> on <host>:<port> as <user>: <reason>" (the TLS check's
    // refusal of a server certificate included).
    explicit Connection(const ConnectionSettings& settings);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Runs one statement with `params` in text form ($1, $2, ...). Throws DatabaseError with the server's
    // message and SQLSTATE, ConnectionError when the connection broke.
    Result exec(const std::string& sql, const std::vector<Param>& params = {});
    // The same, with the parameters whose flag in `binary` is set sent in binary form (ByteaArrayParam).
    Result exec(const std::string& sql, const std::vector<Param>& params, const std::vector<bool>& binary);

    // Runs one statement as exec() does, its result in binary form (Result::view()): a bytea value comes as
    // its bytes, a text value as its text; other types in their binary forms, so a caller casts them to
    // text in the statement.
    Result execBinary(const std::string& sql, const std::vector<Param>& params = {});
    // Sends a statement as execBinary() does but returns at once (see send()); finish() gives its result.
    void sendBinary(const std::string& sql, const std::vector<Param>& params = {});

    // Sends a statement as exec() does but returns at once, so that the caller can prepare the next one
    // while the server works; finish() waits for its result. One statement at a time: every send() is
    // followed by finish() before anything else runs on the connection. Throws ConnectionError.
    void send(const std::string& sql, const std::vector<Param>& params, const std::vector<bool>& binary = {});
    // The result of the statement sent last. Throws as exec().
    Result finish();

    // Runs a fixed text of several statements (a migration), without parameters. Throws as exec().
    void run(const std::string& script);

    // "database tivora on 127.0.0.1:5432 as brno", for messages.
    std::string describe() const;
    // True when the connection is encrypted with TLS.
    bool usesTls() const;
    // True once the connection broke; such a connection cannot be used again.
    bool isBroken() const;

private:
    [[noreturn]] void fail(pg_result* result, const std::string& what);

    pg_conn* m_conn = nullptr;
};

// A transaction on `connection` for one scope: begun at construction, rolled back at destruction unless
// commit() succeeded. A rollback on a broken connection is skipped (the server has already dropped it).
class Transaction
{
public:
    explicit Transaction(Connection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Commits. Throws DatabaseError (ConnectionError when the connection broke before the server's answer
    // came: the outcome is then unknown, and the caller finds it out from what the database holds).
    void commit();

private:
    Connection& m_connection;
    bool m_open = true;
};

} // namespace central
