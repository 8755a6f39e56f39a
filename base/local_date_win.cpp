#include "base/local_date.h"

#include <cstdio>
#include <windows.h>

namespace base {

LocalDate localToday()
{
    SYSTEMTIME now {};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay};
}

std::string localDateTime()
{
    SYSTEMTIME now {};
    GetLocalTime(&now);
    TIME_ZONE_INFORMATION zone {};
    // The bias is UTC minus local time in minutes, daylight saving included when it is in force.
    LONG bias = 0;
    switch (GetTimeZoneInformation(&zone)) {
    case TIME_ZONE_ID_DAYLIGHT:
        bias = zone.Bias + zone.DaylightBias;
        break;
    case TIME_ZONE_ID_STANDARD:
        bias = zone.Bias + zone.StandardBias;
        break;
    case TIME_ZONE_ID_UNKNOWN:
        bias = zone.Bias;
        break;
    default:
        break;
    }
    const LONG offset = -bias;
    const LONG magnitude = offset < 0 ? -offset : offset;
    char text[40] = {};
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u%c%02ld:%02ld", unsigned {now.wYear},
                  unsigned {now.wMonth}, unsigned {now.wDay}, unsigned {now.wHour}, unsigned {now.wMinute},
                  unsigned {now.wSecond}, offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return text;
}

} // namespace base
