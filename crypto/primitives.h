#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The few cryptographic operations the program needs, from the system's vetted implementations: OpenSSL's
// libcrypto and the kernel's random source on POSIX (primitives_posix.cpp), the system's CNG on Windows
// (primitives_win.cpp). No hash is computed by code of ours.
namespace crypto {

inline constexpr std::size_t kSha256Size = 32;

// A SHA-256 value: 32 bytes, the first byte of the hash first.
using Sha256 = std::array<std::uint8_t, kSha256Size>;

// SHA-256 of `bytes` (FIPS 180-4). Throws CryptoError when the system's implementation fails.
Sha256 sha256(std::string_view bytes);

// HMAC-SHA-256 (RFC 2104) of `bytes` under `key`, which may have any length, a key longer than the hash's
// 64-byte block included (it is hashed first, as the standard says). Throws CryptoError when the system's
// implementation fails.
Sha256 hmacSha256(std::string_view key, std::string_view bytes);

// `count` bytes from the operating system's random source (getrandom, BCryptGenRandom), suitable for
// keys. Waits only while the system's source is not yet seeded after boot. Throws CryptoError when the
// source fails.
std::string randomBytes(std::size_t count);

// `bytes` in hexadecimal, two lowercase digits a byte ("00ff").
std::string toHex(std::string_view bytes);
std::string toHex(const Sha256& value);

// True when `text` is exactly 64 lowercase hexadecimal digits: the form toHex() gives a SHA-256 value.
bool isSha256Hex(std::string_view text);

} // namespace crypto
