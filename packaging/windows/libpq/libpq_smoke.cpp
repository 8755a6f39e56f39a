// libpq_smoke CONNINFO: connects with libpq to the PostgreSQL server CONNINFO names, says whether the
// session is encrypted, runs one parameterised query and checks the server's answer. It proves that the
// Windows build of libpq and OpenSSL (tools/windows/build-libpq.sh) works: connection, SCRAM
// authentication (the password comes from PGPASSWORD or libpq's password file, never the command line),
// TLS with the server certificate checked, and parameters and results in UTF-8.
//
// Prints "tls: off" or "tls: on <protocol> <cipher>", then "answer: ok". Exit status: 0 when the answer is
// right; 1 when the connection, the query or the answer fails, with libpq's message on the standard error;
// 2 on wrong usage.
#include <cstdio>
#include <libpq-fe.h>
#include <memory>
#include <string>

namespace {

struct ConnectionCloser
{
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct ResultClearer
{
    void operator()(PGresult* result) const { PQclear(result); }
};
using Connection = std::unique_ptr<PGconn, ConnectionCloser>;
using Result = std::unique_ptr<PGresult, ResultClearer>;

// Czech letters outside ASCII: a byte-for-character mix-up on either side shows in the lengths.
const std::string kText = "Zkou\xC5\xA1ka \xC5\x98"
                          "eho\xC5\x99";
constexpr const char* kCharacters = "13";
constexpr const char* kOctets = "16";

std::string sslAttribute(PGconn* connection, const char* name)
{
    const char* value = PQsslAttribute(connection, name);
    return value != nullptr ? value : "?";
}

int fail(const char* what, const char* detail)
{
    std::fprintf(stderr, "%s: %s\n", what, detail);
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: libpq_smoke CONNINFO\n");
        return 2;
    }
    Connection connection(PQconnectdb(argv[1]));
    if (!connection) {
        return fail("connection failed", "out of memory");
    }
    if (PQstatus(connection.get()) != CONNECTION_OK) {
        return fail("connection failed", PQerrorMessage(connection.get()));
    }
    if (PQsetClientEncoding(connection.get(), "UTF8") != 0) {
        return fail("client encoding UTF8 refused", PQerrorMessage(connection.get()));
    }
    if (PQsslInUse(connection.get()) != 0) {
        std::printf("tls: on %s %s\n", sslAttribute(connection.get(), "protocol").c_str(),
                    sslAttribute(connection.get(), "cipher").c_str());
    } else {
        std::printf("tls: off\n");
    }

    const char* values[] = {"41", kText.c_str()};
    Result result(PQexecParams(connection.get(),
                               "SELECT $1::int4 + 1, $2::text, char_length($2::text), octet_length($2::text)", 2,
                               nullptr, values, nullptr, nullptr, 0));
    if (!result || PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
        return fail("query failed", PQerrorMessage(connection.get()));
    }
    if (PQntuples(result.get()) != 1 || PQnfields(result.get()) != 4) {
        return fail("wrong answer", "not one row of four columns");
    }
    const std::string sum = PQgetvalue(result.get(), 0, 0);
    const std::string text = PQgetvalue(result.get(), 0, 1);
    const std::string characters = PQgetvalue(result.get(), 0, 2);
    const std::string octets = PQgetvalue(result.get(), 0, 3);
    if (sum != "42" || text != kText || characters != kCharacters || octets != kOctets) {
        const std::string got = sum + " | " + text + " | " + characters + " | " + octets;
        return fail("wrong answer", got.c_str());
    }
    std::printf("answer: ok\n");
    return 0;
}
