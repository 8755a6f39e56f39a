#pragma once

#include "crypto/key_file.h"

#include <optional>
#include <string>
#include <string_view>

// A person's stable pseudonym in exports that leave out the identity: a keyed hash of the birth number under
// the lab's key. The same birth number and key give the same pseudonym on every platform and in every export,
// so one person's tests stay linked; without the key nobody can find the pseudonym of a given birth number,
// nor, by trying all birth numbers, the number behind a pseudonym.
//
// Form: 'P' and 32 lowercase hexadecimal digits, the first 16 bytes of HMAC-SHA-256(key, digits), where
// the key is the key file's 32 bytes (not its hexadecimal text) and the digits are the birth number's
// ASCII digits without any separator. 128 bits make two people's pseudonyms collide with a probability of
// about n² / 2^129, for n = one million people 10^-27: never, at any lab's scale. The letter keeps a
// spreadsheet from reading a pseudonym as a number ("12e45..." or all digits would become one, and lose
// digits), and says what the column holds.
namespace crypto {

inline constexpr std::size_t kPseudonymBytes = 16;
inline constexpr char kPseudonymPrefix = 'P';

// The pseudonym of the birth number `digits` (normalised: 9 or 10 ASCII digits, nothing else) under `key`;
// nullopt for anything else, so that two spellings of one number can never give two pseudonyms. Throws
// CryptoError when the system's HMAC fails.
std::optional<std::string> pseudonym(const Key& key, std::string_view digits);

} // namespace crypto
