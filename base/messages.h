#pragma once

#include "text/messages.h"

// Texts of the file seam, patterns for text::formatMessage(). The platform's standard file messages are
// kept beneath every layer (text/messages.h).
namespace base::messages {

using text::messages::kCannotCreateFile;
using text::messages::kCannotOpenFile;
using text::messages::kCannotReadFile;
using text::messages::kCannotWriteFile;
inline constexpr const char* kCannotLockFile = "Cannot lock file %s";

// Why a name is refused as a file shared with other stations (file.h); each follows "Cannot open file
// <path>: " (or "Cannot create file <path>: "). Such a file lives in a regular file: a device would swallow
// what is written, and opening a named pipe waits for a writer that never comes.
inline constexpr const char* kIsDirectory = "it is a directory, not a file";
inline constexpr const char* kIsNamedPipe = "it is a named pipe, not a file";
inline constexpr const char* kIsDevice = "it is a device, not a file";
inline constexpr const char* kIsSocket = "it is a socket, not a file";
inline constexpr const char* kIsNotRegular = "it is not a regular file";

// Why one of the examiner's own files is refused (user_file.h), the detail after "Cannot open file <path>: "
// or "Cannot create file <path>: ".
inline constexpr const char* kIsAFolder = "it is a folder, not a file";
inline constexpr const char* kIsAPipe = "it is a pipe, not a file";
inline constexpr const char* kIsADevice = "it is a device, not a file";
inline constexpr const char* kIsNotAFile = "it is not an ordinary file";

} // namespace base::messages
