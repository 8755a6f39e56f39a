#include "report/birth_number.h"

#include <cstdint>

namespace report {

namespace {

constexpr int kFirstTenDigitYear = 54; // YY from which numbers have ten digits (1954)
constexpr int kLastOldCheckYear = 1985;
constexpr int kFirstExtraMonthYear = 2004;

bool leapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return kDays[month - 1] + (month == 2 && leapYear(year) ? 1 : 0);
}

BirthNumberIssue issueOf(BirthNumberProblem problem)
{
    BirthNumberIssue issue;
    issue.problem = problem;
    return issue;
}

// Appends the digits of stored part `number` to `digits`. Blanks around the digits are unfilled positions
// and are left out; a blank between them is a missing digit. Everything before the first character that
// is refused is ASCII, so its byte index is its character position.
std::optional<BirthNumberIssue> takeDigits(std::string_view part, int number, std::string& digits)
{
    const std::size_t first = part.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t end = part.find_last_not_of(' ') + 1;
    for (std::size_t i = first; i < end; ++i) {
        const char c = part[i];
        if (c == ' ' || c < '0' || c > '9') {
            BirthNumberIssue issue
                = issueOf(c == ' ' ? BirthNumberProblem::BlankInside : BirthNumberProblem::NotADigit);
            issue.part = number;
            issue.position = static_cast<int>(i) + 1;
            return issue;
        }
        digits += c;
    }
    return std::nullopt;
}

int twoDigits(const std::string& digits, std::size_t at)
{
    return (digits[at] - '0') * 10 + (digits[at + 1] - '0');
}

// The check of a ten-digit number whose birth year is `year`.
std::optional<BirthNumberIssue> checkDigit(const std::string& digits, int year)
{
    std::uint64_t number = 0;
    for (const char c : digits) {
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (number % 11 == 0) {
        return std::nullopt;
    }
    if ((number / 10) % 11 == 10 && number % 10 == 0) {
        if (year <= kLastOldCheckYear) {
            return std::nullopt;
        }
        BirthNumberIssue issue = issueOf(BirthNumberProblem::OldCheckDigitTooLate);
        issue.year = year;
        return issue;
    }
    return issueOf(BirthNumberProblem::CheckDigit);
}

// The birth date and sex the first part gives for a birth in `year`, or why it gives none.
std::optional<BirthNumberIssue> dateAndSex(const std::string& digits, int year, BirthNumber& number)
{
    const int stored = twoDigits(digits, 2);
    int month = stored;
    number.sex = Sex::Male;
    bool extra = false;
    if (stored >= 51 && stored <= 62) {
        month = stored - 50;
        number.sex = Sex::Female;
    } else if (stored >= 21 && stored <= 32) {
        month = stored - 20;
        extra = true;
    } else if (stored >= 71 && stored <= 82) {
        month = stored - 70;
        number.sex = Sex::Female;
        extra = true;
    }
    if (month < 1 || month > 12) {
        BirthNumberIssue issue = issueOf(BirthNumberProblem::MonthNotPossible);
        issue.month = stored;
        return issue;
    }
    if (extra && year < kFirstExtraMonthYear) {
        BirthNumberIssue issue = issueOf(BirthNumberProblem::ExtraMonthBefore2004);
        issue.month = stored;
        issue.year = year;
        return issue;
    }
    const int day = twoDigits(digits, 4);
    if (day < 1 || day > daysInMonth(year, month)) {
        BirthNumberIssue issue = issueOf(BirthNumberProblem::NoSuchDay);
        issue.year = year;
        issue.month = month;
        issue.day = day;
        return issue;
    }
    number.birthDate = {year, month, day};
    return std::nullopt;
}

std::optional<BirthNumberIssue> checkNumber(std::string_view part1, std::string_view part2, BirthNumber& number)
{
    std::string first;
    std::string second;
    if (auto issue = takeDigits(part1, 1, first)) {
        return issue;
    }
    if (auto issue = takeDigits(part2, 2, second)) {
        return issue;
    }
    if (first.empty() && second.empty()) {
        return issueOf(BirthNumberProblem::Missing);
    }
    if (first.size() != 6) {
        BirthNumberIssue issue = issueOf(BirthNumberProblem::FirstPartLength);
        issue.count = static_cast<int>(first.size());
        return issue;
    }
    if (second.size() != 3 && second.size() != 4) {
        BirthNumberIssue issue = issueOf(BirthNumberProblem::SecondPartLength);
        issue.count = static_cast<int>(second.size());
        return issue;
    }
    number.digits = first + second;
    const int yy = twoDigits(first, 0);
    int year = 1900 + yy;
    if (second.size() == 3) {
        if (yy >= kFirstTenDigitYear) {
            BirthNumberIssue issue = issueOf(BirthNumberProblem::NineDigitsFrom1954);
            issue.year = year;
            return issue;
        }
    } else {
        year = yy >= kFirstTenDigitYear ? 1900 + yy : 2000 + yy;
        if (auto issue = checkDigit(number.digits, year)) {
            return issue;
        }
    }
    return dateAndSex(first, year, number);
}

std::string twoDigitText(int value)
{
    return (value < 10 ? "0" : "") + std::to_string(value);
}

} // namespace

ParsedBirthNumber parseBirthNumber(std::string_view part1, std::string_view part2)
{
    ParsedBirthNumber parsed;
    BirthNumber number;
    parsed.issue = checkNumber(part1, part2, number);
    if (!parsed.issue) {
        parsed.number = std::move(number);
    }
    return parsed;
}

std::optional<int> ageOn(const BirthDate& birth, const BirthDate& day)
{
    if (day < birth) {
        return std::nullopt;
    }
    int birthdayDay = birth.day;
    if (birth.month == 2 && birth.day == 29 && !leapYear(day.year)) {
        birthdayDay = 28;
    }
    const bool reached = day.month != birth.month ? day.month > birth.month : day.day >= birthdayDay;
    return day.year - birth.year - (reached ? 0 : 1);
}

std::string describe(const BirthNumberIssue& issue)
{
    const std::string part = issue.part == 1 ? "first" : "second";
    switch (issue.problem) {
    case BirthNumberProblem::Missing:
        return "the birth number is blank";
    case BirthNumberProblem::NotADigit:
        return "character " + std::to_string(issue.position) + " of the birth number's " + part
            + " part is not a digit";
    case BirthNumberProblem::BlankInside:
        return "the birth number's " + part + " part has a blank between its digits, at character "
            + std::to_string(issue.position);
    case BirthNumberProblem::FirstPartLength:
        return "the birth number's first part has " + std::to_string(issue.count) + " digits, not 6";
    case BirthNumberProblem::SecondPartLength:
        return "the birth number's second part has " + std::to_string(issue.count) + " digits, not 3 or 4";
    case BirthNumberProblem::NineDigitsFrom1954:
        return "a birth number of nine digits is for births before 1954, not in " + std::to_string(issue.year);
    case BirthNumberProblem::CheckDigit:
        return "the birth number is not divisible by 11";
    case BirthNumberProblem::OldCheckDigitTooLate:
        return "the check digit 0 for a remainder of 10 was issued until 1985, not for a birth in "
            + std::to_string(issue.year);
    case BirthNumberProblem::MonthNotPossible:
        return "the birth number's month " + twoDigitText(issue.month) + " is no month of a birth number";
    case BirthNumberProblem::ExtraMonthBefore2004:
        return "the birth number's month " + twoDigitText(issue.month) + " is for births from 2004 on, not in "
            + std::to_string(issue.year);
    case BirthNumberProblem::NoSuchDay:
        return "the birth number's date " + std::to_string(issue.year) + "-" + twoDigitText(issue.month) + "-"
            + twoDigitText(issue.day) + " is no day of the calendar";
    }
    return "the birth number is not valid";
}

} // namespace report
