#include "results/station_identity.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace results {

std::string stationName()
{
    char name[256] = {};
    // A name cut to the buffer need not end with a zero; the last byte stays one.
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "?";
    }
    return name;
}

std::string operatingSystemUser()
{
    const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr
        || found->pw_name == nullptr || found->pw_name[0] == '\0') {
        // A user without an entry (a container's numeric user) is still someone: its number.
        return "uid " + std::to_string(geteuid());
    }
    return found->pw_name;
}

} // namespace results
