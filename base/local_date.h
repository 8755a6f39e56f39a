#pragma once

#include <string>

// The local calendar: the date stamped into a table's header and the time stamped on each test of the
// timing record. local_date_posix.cpp and local_date_win.cpp implement it.
namespace base {

// A date of the local calendar.
struct LocalDate
{
    int year = 0;  // e.g. 2026
    int month = 0; // 1..12
    int day = 0;   // 1..31
};

// Today's date in the local time zone.
LocalDate localToday();

// The local date and time now, ISO 8601 with the offset from UTC: "2026-12-08T14:03:12+01:00".
std::string localDateTime();

} // namespace base
