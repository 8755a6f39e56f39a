#include "base/file.h"
#include "results/station_identity.h"

#include <lmcons.h>
#include <windows.h>

namespace results {

std::string stationName()
{
    // The DNS host name, as gethostname() gives it elsewhere; the NetBIOS name is cut to 15 characters.
    wchar_t name[256] = {};
    DWORD size = 256;
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size) || size == 0) {
        size = 256;
        if (!GetComputerNameExW(ComputerNameNetBIOS, name, &size) || size == 0) {
            return "?";
        }
    }
    return base::utf8Path(std::wstring(name, size));
}

std::string operatingSystemUser()
{
    wchar_t name[UNLEN + 1] = {};
    DWORD size = UNLEN + 1;
    if (!GetUserNameW(name, &size) || size <= 1) {
        return "?";
    }
    return base::utf8Path(std::wstring(name, size - 1)); // size counts the terminating zero
}

} // namespace results
