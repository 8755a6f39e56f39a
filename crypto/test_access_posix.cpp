#include "crypto/test_access.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace crypto::testing {

std::string accessBeyondOwner(const std::string& path)
{
    struct stat info
    { };
    if (::stat(path.c_str(), &info) != 0) {
        return "no such file";
    }
    const unsigned mode = info.st_mode & 07777U;
    if (mode == 0600U && info.st_uid == ::geteuid()) {
        return {};
    }
    char text[32];
    std::snprintf(text, sizeof text, "mode 0%o", mode);
    return text;
}

bool setModeBits(const std::string& path, unsigned extraModeBits)
{
    return ::chmod(path.c_str(), static_cast<mode_t>(0600U | extraModeBits)) == 0;
}

unsigned setCreationMask(unsigned mask)
{
    return ::umask(static_cast<mode_t>(mask));
}

bool makeNamedPipe(const std::string& path)
{
    return ::mkfifo(path.c_str(), 0600) == 0;
}

} // namespace crypto::testing
