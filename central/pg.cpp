#include "central/pg.h"

#include <charconv>
#include <cstdio>
#include <libpq-fe.h>

namespace central {

#ifdef _WIN32
const char* const kPasswordFile = "%APPDATA%\\postgresql\\pgpass.conf";
#else
const char* const kPasswordFile = "~/.pgpass";
#endif

namespace {

std::string trimmed(const char* text)
{
    std::string result = text ? text : "";
    while (!result.empty() && (result.back() == '\n' || result.back() == ' ')) {
        result.pop_back();
    }
    return result;
}

// The server's first message line, without libpq's "ERROR:  " prefix.
std::string serverMessage(const PGresult* result, const PGconn* conn)
{
    if (result) {
        if (const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY)) {
            std::string message = primary;
            if (const char* detail = PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL)) {
                message += std::string(" (") + detail + ")";
            }
            return message;
        }
    }
    return trimmed(PQerrorMessage(conn));
}

void ignoreNotice(void*, const char*) { }

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::string byteaParam(const void* data, std::size_t size)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 + 2 * size);
    text += "\\x";
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

void ArrayParam::separate()
{
    if (m_count++ > 0) {
        m_text += ',';
    }
}

ArrayParam& ArrayParam::add(const std::string& text)
{
    separate();
    m_text += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            m_text += '\\';
        }
        m_text += c;
    }
    m_text += '"';
    return *this;
}

ArrayParam& ArrayParam::add(std::int64_t number)
{
    separate();
    m_text += std::to_string(number);
    return *this;
}

ArrayParam& ArrayParam::add(double number)
{
    separate();
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", number);
    m_text += text;
    return *this;
}

ArrayParam& ArrayParam::add(bool value)
{
    separate();
    m_text += value ? "t" : "f";
    return *this;
}

ArrayParam& ArrayParam::addNull()
{
    separate();
    m_text += "NULL";
    return *this;
}

namespace {

// Appends `value` as 4 bytes, most significant first (the binary format's order).
void appendInt32(std::string& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFFU);
    }
}

} // namespace

ByteaArrayParam& ByteaArrayParam::add(const void* data, std::size_t size)
{
    appendInt32(m_elements, static_cast<std::uint32_t>(size));
    m_elements.append(static_cast<const char*>(data), size);
    ++m_count;
    return *this;
}

std::string ByteaArrayParam::str() const
{
    // Dimensions, no NULLs, element type bytea (oid 17); the one dimension's length and lower bound 1.
    std::string out;
    appendInt32(out, 1);
    appendInt32(out, 0);
    appendInt32(out, 17);
    appendInt32(out, static_cast<std::uint32_t>(m_count));
    appendInt32(out, 1);
    return out + m_elements;
}

Result::Result(pg_result* result)
    : m_result(result)
{ }

Result::~Result()
{
    PQclear(m_result);
}

Result::Result(Result&& other) noexcept
    : m_result(other.m_result)
{
    other.m_result = nullptr;
}

Result& Result::operator=(Result&& other) noexcept
{
    if (this != &other) {
        PQclear(m_result);
        m_result = other.m_result;
        other.m_result = nullptr;
    }
    return *this;
}

int Result::rows() const
{
    return m_result ? PQntuples(m_result) : 0;
}

int Result::columns() const
{
    return m_result ? PQnfields(m_result) : 0;
}

bool Result::isNull(int row, int column) const
{
    return PQgetisnull(m_result, row, column) != 0;
}

std::string Result::text(int row, int column) const
{
    return std::string(PQgetvalue(m_result, row, column), static_cast<std::size_t>(PQgetlength(m_result, row, column)));
}

std::int64_t Result::integer(int row, int column) const
{
    const char* value = PQgetvalue(m_result, row, column);
    const char* end = value + PQgetlength(m_result, row, column);
    std::int64_t number = 0;
    const auto parsed = std::from_chars(value, end, number);
    if (isNull(row, column) || parsed.ec != std::errc() || parsed.ptr != end) {
        throw DatabaseError("The database gave '" + text(row, column) + "' where a whole number was expected");
    }
    return number;
}

std::vector<unsigned char> Result::bytes(int row, int column) const
{
    const std::string hex = text(row, column);
    if (hex.size() < 2 || hex.compare(0, 2, "\\x") != 0 || hex.size() % 2 != 0) {
        throw DatabaseError("The database gave a value that is not in bytea's hex form");
    }
    std::vector<unsigned char> bytes;
    bytes.reserve(hex.size() / 2 - 1);
    for (std::size_t i = 2; i < hex.size(); i += 2) {
        const int high = hexValue(hex[i]);
        const int low = hexValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            throw DatabaseError("The database gave a value that is not in bytea's hex form");
        }
        bytes.push_back(static_cast<unsigned char>(high * 16 + low));
    }
    return bytes;
}

std::string_view Result::view(int row, int column) const
{
    return std::string_view(PQgetvalue(m_result, row, column),
                            static_cast<std::size_t>(PQgetlength(m_result, row, column)));
}

void refusePassword(const std::string& conninfo, const std::string& where)
{
    // libpq's own complaint may quote a piece of the string, which may be a password: it is not repeated.
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
    PQfreemem(error);
    if (!options) {
        throw SettingError("The connection string " + where
                           + " cannot be read: it is neither key=value pairs nor a postgresql:// URI");
    }
    bool hasPassword = false;
    for (const PQconninfoOption* option = options; option->keyword; ++option) {
        if (std::string(option->keyword) == "password" && option->val && *option->val) {
            hasPassword = true;
        }
    }
    PQconninfoFree(options);
    if (hasPassword) {
        throw SettingError("The connection string " + where
                           + " holds a password: give it in the password file (PGPASSFILE, " + kPasswordFile
                           + ") or in PGPASSWORD, never in the settings or on the command line");
    }
}

Connection::Connection(const ConnectionSettings& settings)
{
    refusePassword(settings.conninfo, "given");
    // Defaults first, then the connection string (expanded from dbname), then the explicit settings: a
    // later keyword wins.
    std::vector<std::pair<std::string, std::string>> pairs = {{"connect_timeout", "10"},
                                                              {"keepalives", "1"},
                                                              {"keepalives_idle", "30"},
                                                              {"keepalives_interval", "10"},
                                                              {"keepalives_count", "3"},
                                                              {"tcp_user_timeout", "60000"},
                                                              {"application_name", settings.applicationName},
                                                              {"dbname", settings.conninfo}};
    for (const auto& override : settings.overrides) {
        if (override.first == "password") {
            throw SettingError("A password is never taken from the settings: give it in the password file (PGPASSFILE, "
                               + std::string(kPasswordFile) + ") or in PGPASSWORD");
        }
        pairs.push_back(override);
    }
    std::vector<const char*> keywords;
    std::vector<const char*> values;
    for (const auto& [keyword, value] : pairs) {
        keywords.push_back(keyword.c_str());
        values.push_back(value.c_str());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    m_conn = PQconnectdbParams(keywords.data(), values.data(), 1);
    if (!m_conn) {
        throw ConnectionError("Cannot connect to the database: out of memory");
    }
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const std::string message = "Cannot connect to the " + describe() + ": " + trimmed(PQerrorMessage(m_conn));
        PQfinish(m_conn);
        m_conn = nullptr;
        throw ConnectionError(message);
    }
    PQsetNoticeProcessor(m_conn, ignoreNotice, nullptr);
}

Connection::~Connection()
{
    PQfinish(m_conn);
}

std::string Connection::describe() const
{
    const auto part = [](const char* value) { return std::string(value && *value ? value : "?"); };
    return "database " + part(PQdb(m_conn)) + " on " + part(PQhost(m_conn)) + ":" + part(PQport(m_conn)) + " as "
        + part(PQuser(m_conn));
}

bool Connection::usesTls() const
{
    return PQsslInUse(m_conn) != 0;
}

bool Connection::isBroken() const
{
    return PQstatus(m_conn) != CONNECTION_OK;
}

void Connection::fail(pg_result* result, const std::string& what)
{
    const std::string message = what + " (" + describe() + "): " + serverMessage(result, m_conn);
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const std::string sqlState = state ? state : "";
    PQclear(result);
    if (isBroken()) {
        throw ConnectionError(message, sqlState);
    }
    throw DatabaseError(message, sqlState);
}

Result Connection::exec(const std::string& sql, const std::vector<Param>& params)
{
    return exec(sql, params, {});
}

Result Connection::exec(const std::string& sql, const std::vector<Param>& params, const std::vector<bool>& binary)
{
    send(sql, params, binary);
    return finish();
}

Result Connection::execBinary(const std::string& sql, const std::vector<Param>& params)
{
    sendBinary(sql, params);
    return finish();
}

void Connection::sendBinary(const std::string& sql, const std::vector<Param>& params)
{
    std::vector<const char*> values;
    std::vector<int> lengths;
    for (const Param& param : params) {
        values.push_back(param ? param->data() : nullptr);
        lengths.push_back(param ? static_cast<int>(param->size()) : 0);
    }
    if (PQsendQueryParams(m_conn, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), lengths.data(),
                          nullptr, 1)
        != 1) {
        fail(nullptr, "The database refused a statement");
    }
}

void Connection::send(const std::string& sql, const std::vector<Param>& params, const std::vector<bool>& binary)
{
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    for (std::size_t i = 0; i < params.size(); ++i) {
        values.push_back(params[i] ? params[i]->data() : nullptr);
        lengths.push_back(params[i] ? static_cast<int>(params[i]->size()) : 0);
        formats.push_back(i < binary.size() && binary[i] ? 1 : 0);
    }
    if (PQsendQueryParams(m_conn, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), lengths.data(),
                          formats.data(), 0)
        != 1) {
        fail(nullptr, "The database refused a statement");
    }
}

Result Connection::finish()
{
    // The first result is the statement's; libpq needs the rest read until it says there is no more.
    PGresult* result = PQgetResult(m_conn);
    for (PGresult* more = result ? PQgetResult(m_conn) : nullptr; more; more = PQgetResult(m_conn)) {
        PQclear(more);
    }
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        fail(result, "The database refused a statement");
    }
    return Result(result);
}

void Connection::run(const std::string& script)
{
    PGresult* result = PQexec(m_conn, script.c_str());
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        fail(result, "The database refused a script");
    }
    PQclear(result);
}

Transaction::Transaction(Connection& connection)
    : m_connection(connection)
{
    m_connection.exec("BEGIN");
}

Transaction::~Transaction()
{
    if (m_open && !m_connection.isBroken()) {
        try {
            m_connection.exec("ROLLBACK");
        } catch (const DatabaseError&) {
            // The connection is then useless anyway; its owner notices at the next statement.
        }
    }
}

void Transaction::commit()
{
    m_open = false;
    m_connection.exec("COMMIT");
}

} // namespace central
