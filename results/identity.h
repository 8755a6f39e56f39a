#pragma once

#include <string>

namespace results {

// The examined person as a row of the results table holds them (fields PRIJM, JMENO, RC_1, RC_2, DATE),
// UTF-8. What the data window hands the store is the boxes' text exactly as shown (the birth-number
// parts with blank positions as spaces); what a reader hands on is the row's text as the table engine
// reads it, without the padding.
struct Identity
{
    std::string surname;
    std::string firstName;
    std::string birthNumber1; // 6 characters in the box
    std::string birthNumber2; // 4 characters in the box
    std::string date;         // the date box's text in the station's short date format, e.g. " 7.12.2026"

    // The birth number as one key: the digits of both parts, blanks left out ("1234567890"); empty when
    // the row has none. Blanks anywhere are left out, so that a part typed "  12" and one typed "12  "
    // find each other.
    std::string birthNumberKey() const;
    // The birth number as people write it: "123456/7890"; only the first part when the second is blank.
    std::string birthNumberText() const;
};

} // namespace results
