#pragma once

#include <optional>
#include <string>
#include <string_view>

// Czech and Slovak birth numbers as the results table stores them: the first part (six digits, the birth
// date as YYMMDD) in RC_1, the second part (three digits before 1954, four from then on) in RC_2. The
// number gives the birth date and the sex; it is never guessed at: a number that breaks a rule has no
// date, no sex and no age, only the reason.
//
// The rules:
// - Nine digits for births before 1954: the year is 1900 + YY, and YY must be below 54. There is no
//   check digit.
// - Ten digits for births from 1954 on: the year is 19YY for YY 54..99 and 20YY for YY 00..53. The ten-digit
//   number is divisible by 11; until 1985 a number whose first nine digits leave 10 when divided by 11 was
//   also issued, with the check digit 0.
// - The month is MM for men and MM + 50 for women; for births from 2004 on, when a day's numbers ran out,
//   also MM + 20 for men (21..32) and MM + 70 for women (71..82).
// - The date is a real day of the calendar.
namespace report {

enum class Sex { Male, Female };

// A day of the calendar.
struct BirthDate
{
    int year = 0;
    int month = 0;
    int day = 0;

    bool operator==(const BirthDate& other) const
    {
        return year == other.year && month == other.month && day == other.day;
    }
    bool operator<(const BirthDate& other) const
    {
        if (year != other.year) {
            return year < other.year;
        }
        return month != other.month ? month < other.month : day < other.day;
    }
};

// A valid birth number.
struct BirthNumber
{
    std::string digits; // the normalised number: its 9 or 10 digits, nothing else
    BirthDate birthDate;
    Sex sex = Sex::Male;
};

// Why a stored birth number is not valid.
enum class BirthNumberProblem {
    Missing,              // both parts are blank
    NotADigit,            // character `position` of part `part` is neither a digit nor a blank
    BlankInside,          // part `part` has a blank at `position` between its digits
    FirstPartLength,      // the first part has `count` digits, not 6
    SecondPartLength,     // the second part has `count` digits, not 3 or 4
    NineDigitsFrom1954,   // nine digits, but YY gives `year` (1954 or later), when ten digits were issued
    CheckDigit,           // ten digits that are not divisible by 11
    OldCheckDigitTooLate, // the check digit 0 for a remainder of 10, for a birth in `year` (after 1985)
    MonthNotPossible,     // the month digits `month` are no month of a birth number
    ExtraMonthBefore2004, // the month digits `month` (+ 20 ranges) for a birth in `year`, before 2004
    NoSuchDay,            // `year`-`month`-`day` (the month without its additions) is no day of the calendar
};

// A problem with the details its description needs; the fields a problem does not name are 0.
struct BirthNumberIssue
{
    BirthNumberProblem problem = BirthNumberProblem::Missing;
    int part = 0;     // 1 or 2
    int position = 0; // 1-based character position in the part as stored
    int count = 0;
    int year = 0;
    int month = 0;
    int day = 0;
};

// The outcome of reading a birth number: exactly one of the two is set.
struct ParsedBirthNumber
{
    std::optional<BirthNumber> number;
    std::optional<BirthNumberIssue> issue;

    bool valid() const { return number.has_value(); }
};

// Reads the stored parts `part1` (RC_1) and `part2` (RC_2) and checks them by the rules above. Blanks
// (spaces) before and after the digits of a part are left out, as the data window stores unfilled
// positions; a blank between digits means a digit is missing, and is refused. Never throws.
ParsedBirthNumber parseBirthNumber(std::string_view part1, std::string_view part2);

// The age in whole years on `day` of someone born on `birth`: a birthday on `day` counts as reached. Someone
// born on 29 February reaches a birthday on 28 February in common years (the last day of the month, as
// Czech and Slovak law count periods in years). nullopt when `day` is before `birth`.
std::optional<int> ageOn(const BirthDate& birth, const BirthDate& day);

// The problem in English, e.g. "the birth number's first part has 5 digits, not 6". Quotes nothing of
// the stored text, so it is safe to print wherever it goes.
std::string describe(const BirthNumberIssue& issue);

} // namespace report
