#include "report/pseudonymised.h"

#include "base/file.h"
#include "crypto/pseudonym.h"
#include "report/output_file.h"
#include "report/report_error.h"
#include "results/schema.h"

#include <cstdio>

namespace report {

namespace {

bool isIdentityField(std::string_view name)
{
    const auto& fields = results::resultTableFields();
    for (std::size_t i = results::kSurname; i <= results::kDate; ++i) {
        if (fields[i].name == name) {
            return true;
        }
    }
    return false;
}

std::string isoDate(const CalendarDate& date)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
    return text;
}

std::string joined(std::string_view first, const std::vector<std::string>& more)
{
    std::string result(first);
    for (const std::string& text : more) {
        result += (result.empty() ? "" : "; ") + text;
    }
    return result;
}

// Why a birth number is not valid, without the year, month or day it gives: even a broken number's date
// tells much about whom it belongs to.
std::string withoutDate(const BirthNumberIssue& issue)
{
    switch (issue.problem) {
    case BirthNumberProblem::NineDigitsFrom1954:
        return "a birth number of nine digits is for births before 1954, and this one's year is later";
    case BirthNumberProblem::OldCheckDigitTooLate:
        return "the check digit 0 for a remainder of 10 was issued until 1985, and this number's year is later";
    case BirthNumberProblem::MonthNotPossible:
        return "the birth number's month is no month of a birth number";
    case BirthNumberProblem::ExtraMonthBefore2004:
        return "the birth number's month is one for births from 2004 on, and its year is earlier";
    case BirthNumberProblem::NoSuchDay:
        return "the birth number's date is no day of the calendar";
    default:
        return describe(issue);
    }
}

} // namespace

void refuseToReplaceKey(const std::string& output, const std::string& keyFile)
{
    const std::optional<std::string> identity = base::fileIdentity(outputTarget(output));
    if (identity && identity == base::fileIdentity(keyFile)) {
        throw fileError(text::messages::kCannotWriteFile, output, "it is the key file of the pseudonyms");
    }
}

const char* sexWord(Sex sex)
{
    return sex == Sex::Female ? "F" : "M";
}

PersonFacts personFacts(const crypto::Key& key, const TestIdentity& identity, int currentYear)
{
    PersonFacts facts;
    facts.pseudonym = crypto::pseudonym(key, identity.birthNumberKey()).value_or(std::string());
    facts.testDate = parseTestDate(identity.date, DateOrder::DayMonth, currentYear);
    const ParsedBirthNumber parsed = parseBirthNumber(identity.birthNumber1, identity.birthNumber2);
    if (!parsed.valid()) {
        facts.problems.push_back((facts.pseudonym.empty() ? "no pseudonym, age or sex: " : "no age or sex: ")
                                 + withoutDate(*parsed.issue));
        return facts;
    }
    facts.sex = parsed.number->sex;
    if (!facts.testDate) {
        facts.problems.push_back("no age: the test's date cannot be read");
        return facts;
    }
    const CalendarDate& day = *facts.testDate;
    facts.age = ageOn(parsed.number->birthDate, {day.year, day.month, day.day});
    if (!facts.age) {
        facts.problems.push_back("no age: the test's date is before the birth date");
    }
    return facts;
}

PseudonymisingSink::PseudonymisingSink(std::unique_ptr<TableSink> inner)
    : m_inner(std::move(inner))
{ }

PseudonymisingSink::Column PseudonymisingSink::next()
{
    const std::size_t cell = m_cell++;
    return cell < m_columns.size() ? m_columns[cell] : Column::Keep;
}

void PseudonymisingSink::writePerson()
{
    if (m_cell != 1) {
        return;
    }
    if (m_header) {
        for (const char* name : kPersonColumns) {
            m_inner->text(name);
        }
        return;
    }
    m_person.pseudonym.empty() ? m_inner->empty() : m_inner->text(m_person.pseudonym);
    m_person.age ? m_inner->integer(*m_person.age) : m_inner->empty();
    m_person.sex ? m_inner->text(sexWord(*m_person.sex)) : m_inner->empty();
    m_person.testDate ? m_inner->text(isoDate(*m_person.testDate)) : m_inner->empty();
}

void PseudonymisingSink::text(std::string_view value)
{
    if (m_header) {
        m_columns.push_back(isIdentityField(value) ? Column::Drop : value == "issues" ? Column::Issues : Column::Keep);
    }
    switch (next()) {
    case Column::Drop:
        return;
    case Column::Issues:
        m_inner->text(m_header ? value : joined(value, m_person.problems));
        break;
    case Column::Keep:
        m_inner->text(value);
        break;
    }
    writePerson();
}

void PseudonymisingSink::integer(std::int64_t value)
{
    if (m_header) {
        m_columns.push_back(Column::Keep);
    }
    if (next() != Column::Drop) {
        m_inner->integer(value);
    }
    writePerson();
}

void PseudonymisingSink::number(double value)
{
    if (m_header) {
        m_columns.push_back(Column::Keep);
    }
    if (next() != Column::Drop) {
        m_inner->number(value);
    }
    writePerson();
}

void PseudonymisingSink::empty()
{
    if (m_header) {
        m_columns.push_back(Column::Keep);
    }
    const Column column = next();
    if (column == Column::Issues && !m_person.problems.empty()) {
        m_inner->text(joined({}, m_person.problems));
    } else if (column != Column::Drop) {
        m_inner->empty();
    }
    writePerson();
}

void PseudonymisingSink::endRow()
{
    m_inner->endRow();
    m_header = false;
    m_cell = 0;
}

} // namespace report
