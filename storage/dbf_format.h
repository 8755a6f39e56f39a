#pragma once

#include <cstddef>
#include <cstdint>

// Byte layout of a table file. A file is, without gaps: the main header, one descriptor per field,
// the header terminator, the records (row 1 first) and, after a header store, the end marker.
// DBF_FORMAT.md beside this file has the longer write-up.
namespace storage::dbf {

// Main header of the common layout (version byte 0x03 and all others not listed below). Little-endian.
inline constexpr std::size_t kMainHeaderSize = 32;     // offset 0, size 32
inline constexpr std::size_t kVersionOffset = 0;       // offset 0, size 1: version byte
inline constexpr std::size_t kYearOffset = 1;          // offset 1, size 1: (year - 1900) mod 256
inline constexpr std::size_t kMonthOffset = 2;         // offset 2, size 1: month 1..12
inline constexpr std::size_t kDayOffset = 3;           // offset 3, size 1: day 1..31
inline constexpr std::size_t kRowCountOffset = 4;      // offset 4, size 4: records, deleted ones included
inline constexpr std::size_t kHeaderLengthOffset = 8;  // offset 8, size 2: H, header incl. terminator
inline constexpr std::size_t kRecordLengthOffset = 10; // offset 10, size 2: R, flag byte + field widths
inline constexpr std::size_t kReservedOffset = 12;     // offset 12, size 20: kept as read, 0x00 on create
inline constexpr std::size_t kReservedSize = 20;

// Field descriptor of the common layout, 32 bytes each, the first at file offset 32.
inline constexpr std::size_t kDescriptorSize = 32; // size 32
inline constexpr std::size_t kNameOffset = 0;      // offset 0, size 11: ASCII name, 0x00-padded
inline constexpr std::size_t kNameSize = 11;
inline constexpr std::size_t kMaxNameLength = 10;  // byte 10 is always 0x00 in files we write
inline constexpr std::size_t kTypeOffset = 11;     // offset 11, size 1: type letter
inline constexpr std::size_t kAddressOffset = 12;  // offset 12, size 4: 0x00, never read
inline constexpr std::size_t kWidthOffset = 16;    // offset 16, size 1: width in bytes
inline constexpr std::size_t kDecimalsOffset = 17; // offset 17, size 1: decimal count
                                                   // offset 18, size 14: reserved, 0x00

// Long layout (version bytes 0x04, 0x8C, 0x30, 0xF5): read, never written.
inline constexpr std::size_t kLongMainHeaderSize = 68; // offsets 0..11 as above, the rest unused here
inline constexpr std::size_t kLongDescriptorSize = 48; // size 48
inline constexpr std::size_t kLongNameSize = 32;       // offset 0, size 32: name, 0x00-padded
inline constexpr std::size_t kLongTypeOffset = 32;     // offset 32, size 1: type letter
inline constexpr std::size_t kLongWidthOffset = 33;    // offset 33, size 1: width
inline constexpr std::size_t kLongDecimalsOffset = 34; // offset 34, size 1: decimal count

// Single bytes.
inline constexpr std::uint8_t kVersionDbase3 = 0x03;    // version byte of every file we create
inline constexpr std::uint8_t kHeaderTerminator = 0x0D; // at offset H - 1
inline constexpr std::uint8_t kEndMarker = 0x1A;        // at H + rowCount * R after a header store
inline constexpr std::uint8_t kLiveFlag = 0x20;         // record offset 0: a visible row
inline constexpr std::uint8_t kDeletedFlag = 0x2A;      // record offset 0: a row marked deleted
inline constexpr std::uint8_t kPadding = 0x20;          // fills fields; a field of spaces is null

// Limits.
inline constexpr int kMinFieldCount = 1;
inline constexpr int kMaxFieldCount = 4095;
inline constexpr int kMaxTextWidth = 254;
inline constexpr int kMaxNumberWidth = 20;

// True when the version byte selects the long layout.
constexpr bool usesLongLayout(std::uint8_t version)
{
    return version == 0x04 || version == 0x8C || version == 0x30 || version == 0xF5;
}

// True for a version byte of a table this engine reads: 0x03, the common layout with memo or other flag
// bits set (0x02, 0x43, 0x63, 0x83, 0x8B, 0xB3, 0xCB, 0xFB), and the long layout's. Any other first byte
// means the file is no table at all (text begins with a letter, most binary files with their own magic).
constexpr bool isKnownVersion(std::uint8_t version)
{
    switch (version) {
    case 0x02:
    case 0x03:
    case 0x43:
    case 0x63:
    case 0x83:
    case 0x8B:
    case 0xB3:
    case 0xCB:
    case 0xFB:
        return true;
    default:
        return usesLongLayout(version);
    }
}

// Header length of a file we create with `fieldCount` fields: main header, descriptors, terminator.
constexpr std::size_t headerLength(std::size_t fieldCount)
{
    return kMainHeaderSize + kDescriptorSize * fieldCount + 1;
}

static_assert(headerLength(25) == 833, "the results table's header is 833 bytes");

} // namespace storage::dbf
