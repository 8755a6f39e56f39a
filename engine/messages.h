#pragma once

#include "text/messages.h"

// The engine's messages, patterns for text::formatMessage(). Those that name files are the platform's
// standard texts, kept in one place beneath every layer.
namespace engine::messages {

using text::messages::kCannotCreateFile;
using text::messages::kCannotOpenFile;
using text::messages::kCannotReadFile;
using text::messages::kFailedToLoadStream;

inline constexpr const char* kInvalidInteger = "'%s' is not a valid integer value";
inline constexpr const char* kInvalidForeperiod = "'%s' is not a valid foreperiod value";
inline constexpr const char* kProgramTooLong
    = "The test program is too long: line %d would be a trial, but a test holds trials on lines 1 to %d only";

// Why a test program file is refused, the detail after "Cannot open file <path>: " or
// "Cannot create file <path>: ".
inline constexpr const char* kLargerThanAnyProgram = "it is larger than %d KB, more than any test program";
inline constexpr const char* kMoreLinesThanAnyProgram = "it has %d lines, more than the %d a test program may have";

} // namespace engine::messages
