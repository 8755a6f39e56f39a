#pragma once

#include <stdexcept>

// The root of every error the system throws. Each layer names it as it always has (engine::Error,
// storage::TableError) and adds the kinds of its own; one handler in each program shows what() to the
// examiner and the program goes on.
namespace base {

// Base of every error of the system. The message is the text the examiner sees, exactly: "<what>: <detail>".
class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A file could not be opened, read, created, written, locked or synced, or was refused before it was opened
// (a folder, a pipe, a device). Nothing that failed this way counts as written.
class FileError : public Error
{
public:
    using Error::Error;
};

} // namespace base
