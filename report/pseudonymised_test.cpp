// Exports without the identity, and the lab's key they are made with.
#include "crypto/pseudonym.h"
#include "crypto/test_access.h"
#include "report/command_line.h"
#include "report/test_support.h"
#include "storage/test_support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>

namespace report {
namespace {

using storage::testing::readAll;

// The cells of a CSV export (the byte-order mark left out, quotes undone).
std::vector<std::vector<std::string>> readCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                rows.back().back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                rows.back().back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().emplace_back();
        } else if (c == '\n') {
            rows.emplace_back(1);
        } else if (c != '\r') {
            rows.back().back() += c;
        }
    }
    rows.pop_back(); // after the last line end
    return rows;
}

// A person as stored, and what the export must say about them on the test's date.
struct Person
{
    const char* rc1;
    const char* rc2;
    const char* date;
    const char* age; // "" when none may be given
    const char* sex;
    bool pseudonym;
};

const Person kPeople[] = {
    {"531231", "123", " 7.12.2026", "72", "M", true},  // nine digits, the last year of them
    {"536231", "123 ", " 7.12.2026", "72", "F", true}, // a woman; RC_2 with its blank kept
    {"540101", "0010", " 7.12.2026", "72", "M", true}, // ten digits, the first year of them
    {"995101", "0003", " 7.12.2026", "27", "F", true}, // 1999
    {"851231", "0060", "31.12.2026", "41", "M", true}, // a remainder of 10 with 0 in 1985; his birthday
    {"042101", "0007", " 7.12.2026", "22", "M", true}, // + 20 from 2004
    {"048231", "0004", " 7.12.2026", "21", "F", true}, // + 70 from 2004, a day before her birthday
    {"885229", "0007", "28.02.2026", "38", "F", true}, // born 29 February: 28 February in a common year
    {"540101", "001", " 7.12.2026", "", "", true},     // nine digits from 1954
    {"905512", "1241", " 7.12.2026", "", "", true},    // a wrong check digit
    {"862231", "0004", " 7.12.2026", "", "", true},    // + 20 before 2004
    {"861231", "0070", " 7.12.2026", "", "", true},    // a remainder of 10 with 0 after 1985
    {"905532", "1242", " 7.12.2026", "", "", true},    // 32 May
    {"", "", " 7.12.2026", "", "", false},             // no birth number
    {"9055", "12", " 7.12.2026", "", "", false},       // too short
    {"905512", "1240", "xx", "", "F", true},           // no date: no age
    {"905512", "1240", " 1. 1.1980", "", "F", true},   // tested before birth
};

class PseudonymisedExportTest : public ::testing::Test
{
protected:
    PseudonymisedExportTest()
    {
        std::vector<results::ResultRecord> records;
        for (const Person& person : kPeople) {
            records.push_back(testing::rawRecord({"Nováková", "Žofie", person.rc1, person.rc2, person.date},
                                                 {{2, 305.0, 1, "300|310|", ""}}));
        }
        testing::appendRecords(m_table, records);
    }

    // Runs tivora-report's command line; returns the exit code, the error output in `errors`.
    int run(const std::vector<std::string>& args, std::string* errors = nullptr, std::string* output = nullptr)
    {
        const ParsedCommandLine parsed = parseCommandLine(args);
        EXPECT_TRUE(parsed.command) << parsed.error;
        std::ostringstream out;
        std::ostringstream err;
        const int code = parsed.command->kind == CommandKind::Keygen ? runKeygen(*parsed.command, out, err)
                                                                     : runExport(*parsed.command, err);
        if (errors) {
            *errors = err.str();
        }
        if (output) {
            *output = out.str();
        }
        return code;
    }

    storage::testing::TempDir m_dir;
    std::string m_table = m_dir.path("tivora4.DBF");
    std::string m_key = m_dir.path("lab.key");
};

TEST_F(PseudonymisedExportTest, GivesPseudonymAgeAndSexAndNothingOfTheIdentity)
{
    ASSERT_EQ(run({"keygen", m_key}), kExitOk);
    std::string errors;
    ASSERT_EQ(run({"export", m_table, "--output", m_dir.path("a.csv"), "--pseudonymise", m_key}, &errors),
              kExitRowErrors);
    const std::string file = readAll(m_dir.path("a.csv"));
    const auto rows = readCsv(file);
    ASSERT_EQ(rows.size(), std::size(kPeople) + 1);
    const std::vector<std::string> header = rows[0];
    ASSERT_GE(header.size(), 6U);
    EXPECT_EQ(std::vector<std::string>(header.begin(), header.begin() + 6),
              (std::vector<std::string> {"row", "pseudonym", "age", "sex", "test_date", "POC_1SER"}));
    const auto issues = static_cast<std::size_t>(std::find(header.begin(), header.end(), "issues") - header.begin());
    ASSERT_LT(issues, header.size());
    const crypto::Key key = crypto::readKeyFile(m_key).key;
    for (std::size_t i = 0; i < std::size(kPeople); ++i) {
        const Person& person = kPeople[i];
        const std::vector<std::string>& row = rows[i + 1];
        ASSERT_EQ(row.size(), header.size()) << i;
        const std::string digits = std::string(person.rc1) + person.rc2;
        const std::string stored = digits.substr(0, digits.find(' '));
        EXPECT_EQ(row[1], person.pseudonym ? crypto::pseudonym(key, stored).value() : "") << person.rc1;
        EXPECT_EQ(row[2], person.age) << person.rc1 << " " << person.rc2 << " on " << person.date;
        EXPECT_EQ(row[3], person.sex) << person.rc1 << " " << person.rc2;
        const bool problem = std::string(person.age).empty();
        EXPECT_EQ(row[issues].empty(), !problem) << person.rc1 << ": " << row[issues];
        EXPECT_EQ(errors.find("row " + std::to_string(i + 1) + ": error: no ") != std::string::npos, problem) << errors;
    }
    EXPECT_EQ(rows[1][4], "2026-12-07");
    EXPECT_EQ(rows[16][4], "");
    for (const std::string identity : {"Nov", "ofie", "905512", "531231", "7.12.2026", "PRIJM", "RC_1", "DATE"}) {
        EXPECT_EQ(file.find(identity), std::string::npos) << identity;
        EXPECT_EQ(errors.find(identity), std::string::npos) << identity;
    }
    for (const std::string birthYear : {"1986", "1990"}) { // nor what a broken number says of the birth
        EXPECT_EQ(errors.find(birthYear), std::string::npos) << errors;
    }

    // The same key gives the same pseudonyms in the trials export; another key gives others.
    ASSERT_EQ(run({"export", m_table, "--format", "trials", "--output", m_dir.path("t.csv"), "--pseudonymise", m_key}),
              kExitRowErrors);
    const auto trials = readCsv(readAll(m_dir.path("t.csv")));
    ASSERT_EQ(trials.size(), 2 * std::size(kPeople) + 1);
    EXPECT_EQ(std::vector<std::string>(trials[0].begin(), trials[0].begin() + 6),
              (std::vector<std::string> {"row", "pseudonym", "age", "sex", "test_date", "series"}));
    EXPECT_EQ(trials[2][1], rows[1][1]);
    const std::string otherKey = m_dir.path("other.key");
    ASSERT_EQ(run({"keygen", otherKey}), kExitOk);
    ASSERT_EQ(run({"export", m_table, "--output", m_dir.path("b.csv"), "--pseudonymise", otherKey}), kExitRowErrors);
    const auto other = readCsv(readAll(m_dir.path("b.csv")));
    EXPECT_NE(other[1][1], rows[1][1]);
    EXPECT_EQ(other[1][2], rows[1][2]);
}

TEST_F(PseudonymisedExportTest, KeygenMakesAnOwnersKeyAndNeverReplacesOneNorDoesAnExport)
{
    std::string output;
    ASSERT_EQ(run({"keygen", m_key}, nullptr, &output), kExitOk);
    EXPECT_NE(output.find(m_key), std::string::npos) << output;
    EXPECT_NE(output.find("secret"), std::string::npos) << output;
    EXPECT_EQ(crypto::testing::accessBeyondOwner(m_key), "");
    const std::string key = readAll(m_key);
    ASSERT_EQ(key.size(), 65U);

    std::string errors;
    EXPECT_EQ(run({"keygen", m_key}, &errors), kExitFailure);
    EXPECT_NE(errors.find(m_key), std::string::npos) << errors;
    EXPECT_EQ(run({"export", m_table, "--output", m_key, "--pseudonymise", m_key}, &errors), kExitFailure);
    EXPECT_NE(errors.find("key file"), std::string::npos) << errors;
    EXPECT_EQ(readAll(m_key), key);

    EXPECT_EQ(run({"export", m_table, "--output", m_dir.path("a.csv"), "--pseudonymise", m_dir.path("none")}, &errors),
              kExitFailure);
    EXPECT_FALSE(parseCommandLine({"keygen"}).command);
    EXPECT_FALSE(parseCommandLine({"keygen", m_key, "--output", "x"}).command);
    EXPECT_FALSE(
        parseCommandLine({"protocol", m_table, "--row", "1", "--output", "x.pdf", "--pseudonymise", m_key}).command);
}

} // namespace
} // namespace report
