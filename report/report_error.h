#pragma once

#include "engine/errors.h"

namespace report {

// A failure of the report program that is not the table engine's: a table that is not a results table,
// an output file that cannot be written, a row that does not exist. what() is the message for the user.
class ReportError : public engine::Error
{
public:
    using engine::Error::Error;
};

} // namespace report
