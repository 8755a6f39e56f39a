#include "report/birth_number.h"

#include <gtest/gtest.h>

namespace report {
namespace {

// Ten-digit numbers below were made by hand: the check digit is the first nine digits' remainder when
// divided by 11 (10 ≡ -1 mod 11, so the number is then divisible by 11), e.g. 540101001 = 11 · 49100091,
// check digit 0.
struct ValidNumber
{
    const char* part1;
    const char* part2;
    const char* digits;
    BirthDate birth;
    Sex sex;
};

void PrintTo(const ValidNumber& number, std::ostream* out)
{
    *out << "'" << number.part1 << "' '" << number.part2 << "'";
}

class ValidBirthNumberTest : public ::testing::TestWithParam<ValidNumber>
{ };

TEST_P(ValidBirthNumberTest, GivesDateAndSex)
{
    const ValidNumber& expected = GetParam();
    const ParsedBirthNumber parsed = parseBirthNumber(expected.part1, expected.part2);
    ASSERT_TRUE(parsed.valid()) << describe(*parsed.issue);
    EXPECT_FALSE(parsed.issue);
    EXPECT_EQ(parsed.number->digits, expected.digits);
    EXPECT_EQ(parsed.number->birthDate, expected.birth);
    EXPECT_EQ(parsed.number->sex, expected.sex);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ValidBirthNumberTest,
    ::testing::Values(
        ValidNumber {"531231", "123", "531231123", {1953, 12, 31}, Sex::Male},    // last year of nine digits
        ValidNumber {"536231", "123 ", "536231123", {1953, 12, 31}, Sex::Female}, // RC_2 with its blank kept
        ValidNumber {"000101", "001", "000101001", {1900, 1, 1}, Sex::Male},
        ValidNumber {"520101", " 001", "520101001", {1952, 1, 1}, Sex::Male},  // blanks in front
        ValidNumber {"540101", "0010", "5401010010", {1954, 1, 1}, Sex::Male}, // first year of ten digits
        ValidNumber {"995101", "0003", "9951010003", {1999, 1, 1}, Sex::Female},
        ValidNumber {"885229", "0007", "8852290007", {1988, 2, 29}, Sex::Female},  // a leap day
        ValidNumber {"000229", "0002", "0002290002", {2000, 2, 29}, Sex::Male},    // 2000 is a leap year
        ValidNumber {"800131", "0009", "8001310009", {1980, 1, 31}, Sex::Male},    // 800131000 mod 11 = 9
        ValidNumber {"851231", "0060", "8512310060", {1985, 12, 31}, Sex::Male},   // 851231006 mod 11 = 10: 0 in 1985
        ValidNumber {"042101", "0007", "0421010007", {2004, 1, 1}, Sex::Male},     // + 20 from 2004
        ValidNumber {"048231", "0004", "0482310004", {2004, 12, 31}, Sex::Female}, // + 70 from 2004
        ValidNumber {"530101", "0000", "5301010000", {2053, 1, 1}, Sex::Male}));   // a number, if a future one

struct InvalidNumber
{
    const char* part1;
    const char* part2;
    BirthNumberProblem problem;
    const char* message;
};

void PrintTo(const InvalidNumber& number, std::ostream* out)
{
    *out << "'" << number.part1 << "' '" << number.part2 << "'";
}

class InvalidBirthNumberTest : public ::testing::TestWithParam<InvalidNumber>
{ };

TEST_P(InvalidBirthNumberTest, GivesTheReasonAndNothingElse)
{
    const InvalidNumber& expected = GetParam();
    const ParsedBirthNumber parsed = parseBirthNumber(expected.part1, expected.part2);
    EXPECT_FALSE(parsed.valid());
    ASSERT_TRUE(parsed.issue);
    EXPECT_EQ(parsed.issue->problem, expected.problem);
    EXPECT_EQ(describe(*parsed.issue), expected.message);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, InvalidBirthNumberTest,
    ::testing::Values(
        InvalidNumber {"      ", "    ", BirthNumberProblem::Missing, "the birth number is blank"},
        InvalidNumber {"", "", BirthNumberProblem::Missing, "the birth number is blank"},
        InvalidNumber {"12a456", "7890", BirthNumberProblem::NotADigit,
                       "character 3 of the birth number's first part is not a digit"},
        InvalidNumber {"1\xC4\x8D"
                       "3456",
                       "7890", BirthNumberProblem::NotADigit,
                       "character 2 of the birth number's first part is not a digit"},
        InvalidNumber {"123456", "-789", BirthNumberProblem::NotADigit,
                       "character 1 of the birth number's second part is not a digit"},
        InvalidNumber {"12 456", "7890", BirthNumberProblem::BlankInside,
                       "the birth number's first part has a blank between its digits, at character 3"},
        InvalidNumber {"540101", "00 0", BirthNumberProblem::BlankInside,
                       "the birth number's second part has a blank between its digits, at character 3"},
        InvalidNumber {" 54010", "0010", BirthNumberProblem::FirstPartLength,
                       "the birth number's first part has 5 digits, not 6"},
        InvalidNumber {"      ", "0010", BirthNumberProblem::FirstPartLength,
                       "the birth number's first part has 0 digits, not 6"},
        InvalidNumber {"5401010", "010", BirthNumberProblem::FirstPartLength,
                       "the birth number's first part has 7 digits, not 6"},
        InvalidNumber {"540101", "    ", BirthNumberProblem::SecondPartLength,
                       "the birth number's second part has 0 digits, not 3 or 4"},
        InvalidNumber {"540101", "01", BirthNumberProblem::SecondPartLength,
                       "the birth number's second part has 2 digits, not 3 or 4"},
        InvalidNumber {"540101", "001", BirthNumberProblem::NineDigitsFrom1954,
                       "a birth number of nine digits is for births before 1954, not in 1954"},
        InvalidNumber {"540101", "0011", BirthNumberProblem::CheckDigit, "the birth number is not divisible by 11"},
        InvalidNumber {"861231", "0070", BirthNumberProblem::OldCheckDigitTooLate, // 861231007 mod 11 = 10
                       "the check digit 0 for a remainder of 10 was issued until 1985, not for a birth in 1986"},
        InvalidNumber {"531301", "123", BirthNumberProblem::MonthNotPossible,
                       "the birth number's month 13 is no month of a birth number"},
        InvalidNumber {"530001", "123", BirthNumberProblem::MonthNotPossible,
                       "the birth number's month 00 is no month of a birth number"},
        InvalidNumber {"535001", "123", BirthNumberProblem::MonthNotPossible,
                       "the birth number's month 50 is no month of a birth number"},
        InvalidNumber {"536301", "123", BirthNumberProblem::MonthNotPossible,
                       "the birth number's month 63 is no month of a birth number"},
        InvalidNumber {"043301", "0006", BirthNumberProblem::MonthNotPossible, // 043301000 mod 11 = 6
                       "the birth number's month 33 is no month of a birth number"},
        InvalidNumber {"048301", "0011", BirthNumberProblem::MonthNotPossible, // 048301001 mod 11 = 1
                       "the birth number's month 83 is no month of a birth number"},
        InvalidNumber {"037101", "0002", BirthNumberProblem::ExtraMonthBefore2004, // 037101000 mod 11 = 2
                       "the birth number's month 71 is for births from 2004 on, not in 2003"},
        InvalidNumber {"992101", "0000", BirthNumberProblem::ExtraMonthBefore2004, // 992101000 mod 11 = 0
                       "the birth number's month 21 is for births from 2004 on, not in 1999"},
        InvalidNumber {"532101", "123", BirthNumberProblem::ExtraMonthBefore2004,
                       "the birth number's month 21 is for births from 2004 on, not in 1953"},
        InvalidNumber {"870229", "0003", BirthNumberProblem::NoSuchDay, // 870229000 mod 11 = 3
                       "the birth number's date 1987-02-29 is no day of the calendar"},
        InvalidNumber {"000229", "123", BirthNumberProblem::NoSuchDay, // 1900 is no leap year
                       "the birth number's date 1900-02-29 is no day of the calendar"},
        InvalidNumber {"535431", "123", BirthNumberProblem::NoSuchDay, // a woman's April has 30 days too
                       "the birth number's date 1953-04-31 is no day of the calendar"},
        InvalidNumber {"530100", "123", BirthNumberProblem::NoSuchDay,
                       "the birth number's date 1953-01-00 is no day of the calendar"}));

struct AgeCase
{
    BirthDate birth;
    BirthDate day;
    std::optional<int> age;
};

class AgeTest : public ::testing::TestWithParam<AgeCase>
{ };

TEST_P(AgeTest, CountsWholeYears)
{
    EXPECT_EQ(ageOn(GetParam().birth, GetParam().day), GetParam().age);
}

INSTANTIATE_TEST_SUITE_P(
    Birthdays, AgeTest,
    ::testing::Values(AgeCase {{1980, 6, 15}, {2026, 6, 15}, 46}, // the birthday on the test day counts
                      AgeCase {{1980, 6, 15}, {2026, 6, 14}, 45}, AgeCase {{1980, 6, 15}, {2026, 5, 31}, 45},
                      AgeCase {{1980, 6, 15}, {2026, 7, 1}, 46}, AgeCase {{1980, 12, 31}, {2026, 1, 1}, 45},
                      AgeCase {{2000, 2, 29}, {2025, 2, 27}, 24}, AgeCase {{2000, 2, 29}, {2025, 2, 28}, 25},
                      AgeCase {{2000, 2, 29}, {2024, 2, 28}, 23}, AgeCase {{2000, 2, 29}, {2024, 2, 29}, 24},
                      AgeCase {{2000, 2, 29}, {2100, 2, 28}, 100}, // 2100 is no leap year
                      AgeCase {{2026, 3, 1}, {2026, 3, 1}, 0}, AgeCase {{2026, 3, 2}, {2026, 3, 1}, std::nullopt},
                      AgeCase {{2053, 1, 1}, {2026, 6, 1}, std::nullopt}));

} // namespace
} // namespace report
