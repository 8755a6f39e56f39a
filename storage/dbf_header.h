#pragma once

#include "base/file.h"
#include "storage/field_codec.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace storage {

// The structure of a table file as its header gives it, after the checks of readTableStructure().
struct TableStructure
{
    std::uint8_t version = 0;
    std::size_t headerLength = 0;       // H as stored: main header, descriptors, terminator, zero padding
    std::size_t storedRecordLength = 0; // R as stored; not compared with the fields here
    std::uint32_t storedRowCount = 0;   // as stored; not compared with the file's size here
    std::vector<TableFieldDef> fields;  // from the descriptors, normalised, with their record offsets
    std::vector<unsigned char> header;  // the H bytes of the header as read
    std::uint64_t fileSize = 0;         // the file's size when it was read
};

// Reads the header of the table file `file` and checks that it is a table at all, before anything else is
// done with the file. A file is refused when
// - it is empty, or its first byte is no known version byte (dbf::isKnownVersion());
// - it ends within its main header, or the header length reaches past its end;
// - no terminator (0x0D) follows the field descriptors within the header length, or none precedes it;
// - the header length is not where the descriptors and the terminator end (some writers pad the header
//   with 0x00 bytes after the terminator, which is allowed: anything else there would be read as records
//   shifted by the difference);
// - a descriptor has no name (or control bytes in it) or no printable type letter.
// The row count and the record length are only read: a crash or another program can leave them wrong
// in a sound table, and the table's opening corrects them with a notice. Reads nothing beyond the header.
// Throws TableError "Cannot open file <path>: <reason>" (texts in storage::messages), FileError when a
// read fails.
TableStructure readTableStructure(base::File& file);

} // namespace storage
