#pragma once

#include "base/error.h"
#include "text/messages.h"

#include <string>
#include <string_view>

namespace report {

// A failure of the report program that is not the table engine's: a table that is not a results table,
// an output file that cannot be written, a row that does not exist. what() is the message for the user.
class ReportError : public base::Error
{
public:
    using base::Error::Error;
};

// The error "<pattern's text> <path>: <reason>" for one of the platform's standard file messages
// (text::messages::kCannotWriteFile, ...), as every layer words them.
inline ReportError fileError(const char* pattern, const std::string& path, std::string_view reason)
{
    return ReportError(text::formatMessage(pattern, {path}) + ": " + std::string(reason));
}

} // namespace report
