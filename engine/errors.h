#pragma once

#include "base/error.h"

#include <stdexcept>
#include <string>

namespace engine {

// Base of every error the engine raises: the system's error root. The message is the text the examiner
// sees, exactly; the application's error handler shows it in a message box and the program goes on.
using Error = base::Error;

// A file could not be opened, read, created or written (the file seam's error).
using IoError = base::FileError;

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
