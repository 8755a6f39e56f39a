#pragma once

#include <stdexcept>
#include <string>

namespace engine {

// Base of every error the engine raises. The message is the text the examiner sees, exactly; the
// application's error handler shows it in a message box and the program goes on.
class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A file could not be opened, read, created or written.
class IoError : public Error
{
public:
    using Error::Error;
};

// A text that should hold a value (an integer, a foreperiod) does not.
class FormatError : public Error
{
public:
    using Error::Error;
};

// The test program asks for something the measurement cannot hold (a trial past the last line index).
class ProgramError : public Error
{
public:
    using Error::Error;
};

} // namespace engine
