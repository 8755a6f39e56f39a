#pragma once

#include <stdexcept>

namespace crypto {

// Every failure of the cryptography layer: the system refused its hash or its random source, or a key
// file could not be created or read. what() is the message for the user, "<what> <path>: <reason>"
// where a file is concerned.
class CryptoError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace crypto
