#pragma once

#include <cstdint>
#include <string>

namespace engine {

// The longest foreperiod a program line may ask for: the most whole seconds whose milliseconds a signed
// 32-bit timer interval holds.
inline constexpr std::int64_t kMaxForeperiodSeconds = 2147483;
inline constexpr std::uint32_t kMaxForeperiodMilliseconds = kMaxForeperiodSeconds * 1000;

// The foreperiod a line asks for, in milliseconds. Throws FormatError "'<line>' is not a valid integer
// value" for a line that is not an integer, and "'<line>' is not a valid foreperiod value" for a
// negative one or one longer than kMaxForeperiodSeconds.
std::uint32_t foreperiodMilliseconds(const std::string& line);

} // namespace engine
