#pragma once

#include "base/error.h"
#include "base/messages.h"
#include "text/messages.h"

#include <string>

namespace storage {

// Every failure of the storage layer: the system's error root, under the name the table engine has always
// thrown and caught it by. what() is the exact text the examiner sees; the application's error handler
// shows it in a message box.
using TableError = base::Error;

// The operating system refused or cut short an open, read, write, lock or sync (the file seam's error).
// Nothing that failed this way was counted as stored.
using FileError = base::FileError;

// A value that does not fit its field: out of range, not a number, or too long for the width. The
// row buffer is unchanged.
class FieldValueError : public TableError
{
public:
    using TableError::TableError;
};

// The table was used in a state that does not allow the operation ("Table1: Cannot perform this
// operation on an open dataset").
class StateError : public TableError
{
public:
    using TableError::TableError;
};

} // namespace storage

// Texts of the storage layer's messages, patterns for text::formatMessage(). Those that the
// examiner's older tools also show are kept exactly as those tools word them; the platform's standard
// file messages are kept beneath every layer.
namespace storage::messages {

using base::messages::kCannotLockFile;
using text::messages::kCannotCreateFile;
using text::messages::kCannotOpenFile;
using text::messages::kCannotReadFile;
using text::messages::kCannotWriteFile;
inline constexpr const char* kTableNotFound = "Open: Table file not found : %s";
inline constexpr const char* kInvalidFieldCount = "Invalid field count : %d (must be between 1 and 4095)";
inline constexpr const char* kFieldDataTooLong = "Field data too long :%d (must be between 1 and %d).";
inline constexpr const char* kOutOfRange = "%g is not a valid value for field '%s'. The allowed range is %g to %g";
inline constexpr const char* kInvalidInteger = "'%s' is not a valid integer value for field '%s'";
inline constexpr const char* kInvalidFloat = "'%s' is not a valid floating point value for field '%s'";
inline constexpr const char* kOpenDataset = "%s: Cannot perform this operation on an open dataset";
inline constexpr const char* kClosedDataset = "%s: Cannot perform this operation on a closed dataset";
inline constexpr const char* kEmptyDataset = "%s: Cannot perform this operation on an empty dataset";
inline constexpr const char* kReadOnlyDataset = "%s: Cannot modify a read-only dataset";
inline constexpr const char* kRowDeleted = "%s: The row was deleted by another user";
inline constexpr const char* kFieldIndex = "List index out of bounds (%d)";
inline constexpr const char* kInvalidRowNumber = "Invalid record number %d";
inline constexpr const char* kUnsupportedField = "Field '%s' has a type that cannot be written";
inline constexpr const char* kInvalidRecordCount = "Invalid Record Count,\rRecordCount in Hdr : %d\rexpected : %d";
inline constexpr const char* kInvalidRecordSize = "Invalid Record Size,\rRecord Size in Hdr : %d\rExpected : %d";

// Why a name is refused before it is opened or created (the file seam's reasons).
using base::messages::kIsDevice;
using base::messages::kIsDirectory;
using base::messages::kIsNamedPipe;
using base::messages::kIsNotRegular;
using base::messages::kIsSocket;

// Why a file is refused as a table; each follows "Cannot open file <path>: ". Nothing is written to
// such a file, not even a header.
inline constexpr const char* kEmptyFile = "the file is empty, it holds no table";
inline constexpr const char* kNotATable = "it is not a table (it begins with the byte %s, no table's version byte)";
inline constexpr const char* kCutInHeader = "damaged table: the file is shorter than a table's header (%d of %d bytes)";
inline constexpr const char* kHeaderBeyondFile = "damaged table: the header length is %d bytes, the file has only %d";
inline constexpr const char* kNoDescriptorEnd = "damaged table: the field descriptors have no terminator";
inline constexpr const char* kNoFields = "damaged table: the header has no field descriptors";
inline constexpr const char* kHeaderLengthMismatch
    = "damaged table: the header length is %d bytes, its %d field descriptors and their terminator take %d";
inline constexpr const char* kBadFieldName = "damaged table: field descriptor %d has no valid name";
inline constexpr const char* kBadFieldType = "damaged table: field descriptor %d has no valid type letter";

} // namespace storage::messages
