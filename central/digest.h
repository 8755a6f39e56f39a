#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace central {

// A SHA-256 digest.
using Digest = std::array<unsigned char, 32>;

// SHA-256 of `size` bytes at `data` (OpenSSL's libcrypto). Throws DatabaseError only if the library fails.
Digest sha256(const void* data, std::size_t size);
inline Digest sha256(const std::string& bytes)
{
    return sha256(bytes.data(), bytes.size());
}

// The digest as 64 lower-case hex digits.
std::string hex(const Digest& digest);

} // namespace central
