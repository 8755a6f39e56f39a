#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace engine {

// The one integer conversion of the program, for foreperiod lines, series-count lines and the birth
// number: leading spaces are skipped, one "+" or "-" may follow, then decimal digits up to the end of
// the text, or hexadecimal digits after a "$", "x", "X" or "0x" ("0X") prefix. Nothing else is an
// integer, trailing spaces included. Decimal values must lie within the signed 32-bit range;
// hexadecimal ones may use all 32 bits and are taken as two's complement ("$FFFFFFFF" is -1).
std::optional<std::int32_t> tryToInteger(std::string_view text);

// As tryToInteger(), but throws FormatError "'<text>' is not a valid integer value" for a text that
// is not an integer.
std::int32_t toInteger(std::string_view text);

} // namespace engine
