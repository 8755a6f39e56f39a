#pragma once

#include "crypto/key_file.h"
#include "report/birth_number.h"
#include "report/date_field.h"
#include "report/stored_test.h"
#include "report/table_sink.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// Exports that leave the person's identity behind: instead of the name and the birth number, a stable
// pseudonym (crypto::pseudonym under the lab's key), the age at the test and the sex, and the test's date
// as a date rather than the text typed into the date box.
namespace report {

// The columns that stand for the person, in the order they follow the "row" column.
inline constexpr const char* kPersonColumns[] = {"pseudonym", "age", "sex", "test_date"};

// What a row says about its person once the identity is taken away.
struct PersonFacts
{
    std::string pseudonym;                // empty when the row holds no birth number of 9 or 10 digits
    std::optional<int> age;               // whole years on the test's date
    std::optional<Sex> sex;               // from a valid birth number only
    std::optional<CalendarDate> testDate; // DATE read as a date (day before month, as the collector reads it)
    // Why a column is empty ("no age or sex: the birth number is not divisible by 11"). Quotes nothing of
    // the row, nor the date a broken birth number gives, so that no identity reaches the file or the
    // error output through them.
    std::vector<std::string> problems;
};

// The facts of the person of `identity` under `key`. The pseudonym is that of the birth number's digits
// (blanks left out), valid or not, so that a person whose number was typed with a wrong check digit is
// still linked across their tests; age and sex come from a valid number only and are never guessed.
// `currentYear` places a two-digit year of DATE in its century. Throws crypto::CryptoError when the
// system's HMAC fails.
PersonFacts personFacts(const crypto::Key& key, const TestIdentity& identity, int currentYear);

// Throws ReportError "Cannot write file <output>: it is the key file" when `output` is the key file
// `keyFile` under any spelling or link: an export never replaces the lab's key.
void refuseToReplaceKey(const std::string& output, const std::string& keyFile);

// "M" or "F".
const char* sexWord(Sex sex);

// Passes an export's rows to `inner` with the identity left out: the columns whose header names a field
// of the identity (PRIJM, JMENO, RC_1, RC_2, DATE) are dropped, the person's columns (kPersonColumns)
// follow the first column, and the problems of the person are added to the "issues" column where the
// export has one. Which columns are dropped is decided by the header row, so it has to be the first row
// written. setPerson() gives the person of the rows that follow.
class PseudonymisingSink : public TableSink
{
public:
    explicit PseudonymisingSink(std::unique_ptr<TableSink> inner);

    void setPerson(PersonFacts person) { m_person = std::move(person); }

    void text(std::string_view value) override;
    void integer(std::int64_t value) override;
    void number(double value) override;
    void empty() override;
    void endRow() override;
    void finish() override { m_inner->finish(); }

private:
    enum class Column { Keep, Drop, Issues };

    // What to do with the next cell of the current row; writes the person's cells after the first one.
    Column next();
    void writePerson();

    std::unique_ptr<TableSink> m_inner;
    PersonFacts m_person;
    std::vector<Column> m_columns; // from the header row
    bool m_header = true;
    std::size_t m_cell = 0;
};

} // namespace report
