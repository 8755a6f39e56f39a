#pragma once

#include "engine/errors.h"

#include <string>

namespace central {

// A failure of the database layer. what() is the message for the user: what failed and the server's or
// the client library's reason. It never holds a password: the connection is described by host, port,
// database and user only, never by its connection string.
class DatabaseError : public engine::Error
{
public:
    explicit DatabaseError(const std::string& message, std::string sqlState = {})
        : engine::Error(message)
        , m_sqlState(std::move(sqlState))
    { }

    // The server's five-character SQLSTATE ("23505" for a unique violation), empty when the failure did
    // not come from the server.
    const std::string& sqlState() const { return m_sqlState; }

    // True for failures that a new attempt of the same transaction may not meet: a unique key taken by a
    // concurrent writer, a serialisation failure, a deadlock.
    bool isRetryable() const { return m_sqlState == "23505" || m_sqlState == "40001" || m_sqlState == "40P01"; }

private:
    std::string m_sqlState;
};

// The server could not be reached, refused the connection (authentication, TLS), or the connection
// broke. Whatever was not committed is gone; a later attempt may succeed.
class ConnectionError : public DatabaseError
{
public:
    using DatabaseError::DatabaseError;
};

// A setting that the database layer refuses before it connects: a password in a connection string.
class SettingError : public DatabaseError
{
public:
    using DatabaseError::DatabaseError;
};

} // namespace central
