#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The lab's secret key, kept in a file of its own: one line of 64 hexadecimal digits (32 bytes) and a line
// end, short enough to be written down on paper as a backup and typed back in. Whoever holds the key can
// link pseudonyms to birth numbers by trying every birth number, so the file is readable and writable only
// by its owner, and an existing key is never replaced: exports made with the old key could no longer be
// linked to new ones.
namespace crypto {

inline constexpr std::size_t kKeySize = 32;

using Key = std::array<std::uint8_t, kKeySize>;

// What readKeyFile() found: the key, and a warning for the user when the file is open to others in a way
// that does not stop its use (empty when there is none).
struct KeyFileReading
{
    Key key {};
    std::string warning;
};

// The file's whole content for `key`: 64 lowercase hexadecimal digits and LF.
std::string keyFileText(const Key& key);

// The key in the text of a key file. Whitespace (spaces, tabs, line ends) anywhere is ignored, and a UTF-8
// byte order mark at the start, so that a key typed back from paper in any editor, in groups or on several
// lines, is read. Digits may be of either case. Throws CryptoError "Cannot read file <path>: <reason>"
// naming what is wrong (too few or too many digits, a character that is no digit, with its position);
// the message never repeats the file's content.
Key parseKeyFileText(std::string_view text, const std::string& path);

// Creates the key file `path` with a new key of kKeySize bytes from the system's random source, and
// returns the key. The file is created only if nothing of that name exists (atomically with respect to
// other processes), readable and writable only by the current user (POSIX: mode 0600 whatever the umask;
// Windows: a protected access list granting the current user alone), and is on the storage device when
// this returns. Throws CryptoError "Cannot create file <path>: <reason>" when the name exists (an
// existing key is never overwritten) or the system refuses; no file is left behind by a failure after
// the file was created.
Key createKeyFile(const std::string& path);

// Reads and checks the key file `path`. Only a regular file of at most kMaxKeyFileSize bytes is read
// (no device, pipe or directory, and nothing is waited for). On POSIX a file that others (group or world)
// can write is refused, since whoever replaces the key with one they know can reverse every later export.
// One that others can only read gives a warning and is used: on the station the identities themselves lie
// in the results table, readable as widely, and a key kept on a medium whose file system has no owner-only
// modes (a memory stick's FAT) could otherwise not be used at all. Windows: the file's access list is not
// checked. Throws CryptoError "Cannot read file <path>: <reason>".
KeyFileReading readKeyFile(const std::string& path);

// No key file is longer; anything longer is no key file.
inline constexpr std::size_t kMaxKeyFileSize = 1024;

} // namespace crypto
