// The research view: the database's birth-number rules and ages are the report's, its pseudonyms are the
// pseudonymised export's under the same key, and the research role reaches nothing but the view.
#include "central/pg.h"
#include "central/test_server.h"
#include "crypto/primitives.h"
#include "crypto/pseudonym.h"
#include "report/pseudonymised.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace central {
namespace {

using testing::TestServer;

std::string twoDigits(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

std::string isoDate(int year, int month, int day)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}

// Stored birth numbers over every rule: each year of a boundary, every month number a first part can
// hold, days around the ends of months, each with three digits, a right check digit, the old check digit 0
// for a remainder of 10, and a wrong one; then parts as hands and damage leave them.
std::vector<std::pair<std::string, std::string>> storedBirthNumbers()
{
    std::vector<std::pair<std::string, std::string>> numbers;
    for (const int yy : {0, 3, 4, 20, 53, 54, 85, 86, 99}) {
        for (int mm = 0; mm < 100; ++mm) {
            for (const int dd : {0, 1, 28, 29, 30, 31, 32}) {
                const std::string part1 = twoDigits(yy) + twoDigits(mm) + twoDigits(dd);
                const long long first = std::stoll(part1);
                numbers.emplace_back(part1, "123");
                const long long right = (first * 1000 + 123) % 11;
                if (right != 10) {
                    numbers.emplace_back(part1, "123" + std::to_string(right));
                }
                numbers.emplace_back(part1, "123" + std::to_string((right + 1) % 10));
                const long long oldPrefix = (10 - (first * 1000) % 11 + 11) % 11; // three digits leaving 10
                char old[8];
                std::snprintf(old, sizeof old, "%03lld0", oldPrefix);
                numbers.emplace_back(part1, old);
            }
        }
    }
    for (const auto& [part1, part2] :
         std::vector<std::pair<std::string, std::string>> {{"", ""},
                                                           {"      ", "    "},
                                                           {"905512", ""},
                                                           {"", "1234"},
                                                           {" 90551", "2"},
                                                           {"90 512", "1234"},
                                                           {"905512", "12 4"},
                                                           {"9O5512", "1234"},
                                                           {"905512", "12345"},
                                                           {"90551", "1234"},
                                                           {"905512 ", " 1234"},
                                                           {"  5512", "1234"},
                                                           {"90551\xC3\xA9", "1234"},
                                                           {"905512", "\xD9\xA1\xD9\xA2\xD9\xA3"},
                                                           {"\t05512", "123"},
                                                           {"905512", "1234\n"},
                                                           {"-05512", "123"}}) {
        numbers.emplace_back(part1, part2);
    }
    return numbers;
}

class ResearchTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        TestServer& server = TestServer::shared();
        s_database = server.createDatabase();
        server.addOffice(s_database, "Brno", "research_brno");
        auto admin = server.connect(s_database);
        admin->run("CREATE ROLE research_reader LOGIN IN ROLE tivora_research");
    }

    static std::string s_database;
};

std::string ResearchTest::s_database;

TEST_F(ResearchTest, TheDatabaseReadsBirthNumbersAndAgesAsTheReportDoes)
{
    const auto numbers = storedBirthNumbers();
    ArrayParam firsts;
    ArrayParam seconds;
    for (const auto& [part1, part2] : numbers) {
        firsts.add(part1);
        seconds.add(part2);
    }
    auto db = TestServer::shared().connect(s_database, "research_reader");
    const Result facts = db->exec("SELECT f.birth_date::text, f.sex FROM unnest($1::text[], $2::text[]) "
                                  "WITH ORDINALITY AS t(a, b, i), tivora.birth_number_facts(a, b) f ORDER BY i",
                                  {firsts.str(), seconds.str()});
    ASSERT_EQ(facts.rows(), static_cast<int>(numbers.size()));
    int valid = 0;
    for (int row = 0; row < facts.rows(); ++row) {
        const auto& [part1, part2] = numbers[static_cast<std::size_t>(row)];
        const report::ParsedBirthNumber parsed = report::parseBirthNumber(part1, part2);
        valid += parsed.valid() ? 1 : 0;
        const std::string expectedDate = parsed.valid()
            ? isoDate(parsed.number->birthDate.year, parsed.number->birthDate.month, parsed.number->birthDate.day)
            : "";
        const std::string expectedSex = parsed.valid() ? report::sexWord(parsed.number->sex) : "";
        EXPECT_EQ(facts.text(row, 0), expectedDate) << "'" << part1 << "' '" << part2 << "'";
        EXPECT_EQ(facts.text(row, 1), expectedSex) << "'" << part1 << "' '" << part2 << "'";
    }
    EXPECT_GT(valid, 1500) << "too few valid numbers to compare";

    const std::vector<report::BirthDate> births
        = {{1952, 2, 29}, {2000, 2, 29}, {1988, 2, 29}, {1990, 1, 1}, {1990, 12, 31}, {2004, 3, 1}, {1953, 6, 15}};
    const std::vector<report::BirthDate> days
        = {{2023, 2, 28}, {2023, 3, 1},  {2024, 2, 28}, {2024, 2, 29}, {2024, 3, 1},  {1990, 1, 1},  {1989, 12, 31},
           {2026, 6, 14}, {2026, 6, 15}, {2100, 2, 28}, {2100, 3, 1},  {2000, 2, 28}, {2000, 2, 29}, {1991, 12, 30}};
    for (const report::BirthDate& birth : births) {
        for (const report::BirthDate& day : days) {
            const std::optional<int> expected = report::ageOn(birth, day);
            const Result age
                = db->exec("SELECT tivora.age_on($1::date, $2::date)",
                           {isoDate(birth.year, birth.month, birth.day), isoDate(day.year, day.month, day.day)});
            EXPECT_EQ(age.text(0, 0), expected ? std::to_string(*expected) : "")
                << isoDate(birth.year, birth.month, birth.day) << " on " << isoDate(day.year, day.month, day.day);
        }
    }
}

// A person as a station stored them, with the test's date as the collector read it.
struct Stored
{
    const char* rc1;
    const char* rc2;
    const char* dateText;
    const char* testDate; // NULL when the text is no date
    bool deleted;
};

TEST_F(ResearchTest, TheResearchRoleSeesTheExportsPseudonymsAgesAndSexesAndNothingElse)
{
    const std::vector<Stored> stored = {
        {"905512", "1240", " 7.12.2026", "2026-12-07", false}, // a woman, 36
        {"905512", "1240", " 8.12.2026", "2026-12-08", false}, // the same woman again
        {"531231", "123", " 8.12.2026", "2026-12-08", false},  // nine digits, 72
        {"048231", "0004", "31.12.2026", "2026-12-31", false}, // + 70 from 2004, her birthday
        {"905512", "1241", " 8.12.2026", "2026-12-08", false}, // a wrong check digit: a pseudonym, no age
        {"", "", " 8.12.2026", "2026-12-08", false},           // no birth number
        {"851003", "4324", "xx", nullptr, false},              // no date: no age
        {"016205", "0009", " 8.12.2026", "2026-12-08", true},  // deleted: not for research
    };
    auto admin = TestServer::shared().connect(s_database);
    const std::string office = admin->exec("SELECT office_id FROM tivora.offices WHERE name = 'Brno'").text(0, 0);
    const std::string lineage
        = admin
              ->exec("INSERT INTO tivora.lineages (office_id, first_path) VALUES ($1, '/srv') RETURNING lineage_id",
                     {office})
              .text(0, 0);
    std::vector<std::string> tests;
    for (const Stored& person : stored) {
        const report::TestIdentity identity(1, "Nováková", "Jana", person.rc1, person.rc2, person.dateText);
        tests.push_back(admin
                            ->exec("INSERT INTO tivora.tests (office_id, content_key, ordinal, lineage_id) "
                                   "VALUES ($1, '\\x01', $2, $3) RETURNING test_id",
                                   {office, std::to_string(tests.size()), lineage})
                            .text(0, 0));
        admin->exec("INSERT INTO tivora.versions (test_id, version_no, office_id, lineage_id, pass_no, record_no, "
                    "flag, deleted, content_hash, head_hash, lists_hash, raw, surname, first_name, rc_1, rc_2, "
                    "date_text, birth_key, test_date, count_1, mean_1) VALUES ($1, 1, $2, $3, 1, 1, 32, $4, '\\x01', "
                    "'\\x02', '\\x03', '\\x20', 'Nováková', 'Jana', $5, $6, $7, $8, $9, 8, 301.5)",
                    {tests.back(), office, lineage, person.deleted ? "true" : "false", std::string(person.rc1),
                     std::string(person.rc2), std::string(person.dateText), identity.birthNumberKey(),
                     person.testDate ? Param(person.testDate) : std::nullopt});
    }
    auto reader = TestServer::shared().connect(s_database, "research_reader");
    const std::string query = "SELECT pseudonym, age, sex, test_date::text FROM tivora.research_tests "
                              "WHERE test_id = $1";
    EXPECT_TRUE(reader->exec(query, {tests[0]}).isNull(0, 0)) << "a pseudonym before the key was set";

    crypto::Key key {};
    const std::string bytes = crypto::randomBytes(key.size());
    std::copy(bytes.begin(), bytes.end(), key.begin());
    admin->exec("SELECT tivora.set_research_key(decode($1, 'hex'))", {crypto::toHex(bytes)});
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const Stored& person = stored[i];
        const report::TestIdentity identity(1, "", "", person.rc1, person.rc2, person.dateText);
        const report::PersonFacts expected = report::personFacts(key, identity, 2026);
        const Result row = reader->exec(query, {tests[i]});
        if (person.deleted) {
            EXPECT_EQ(row.rows(), 0) << "a deleted test is offered for research";
            continue;
        }
        ASSERT_EQ(row.rows(), 1) << person.rc1 << person.rc2;
        EXPECT_EQ(row.text(0, 0), expected.pseudonym) << person.rc1 << person.rc2;
        EXPECT_EQ(row.text(0, 1), expected.age ? std::to_string(*expected.age) : "") << person.rc1 << person.rc2;
        EXPECT_EQ(row.text(0, 2), expected.sex ? report::sexWord(*expected.sex) : "") << person.rc1 << person.rc2;
        EXPECT_EQ(row.text(0, 3), person.testDate ? person.testDate : "");
    }
    EXPECT_EQ(reader->exec(query, {tests[0]}).text(0, 0), reader->exec(query, {tests[1]}).text(0, 0));
    EXPECT_EQ(reader->exec(query, {tests[0]}).integer(0, 1), 36);
    EXPECT_EQ(reader->exec(query, {tests[3]}).integer(0, 1), 22);

    // Everything the research role tries beyond the view, and the SQLSTATE that stops it (55000: the view
    // cannot be written through).
    const std::vector<std::pair<const char*, const char*>> attempts = {
        {"SELECT surname FROM tivora.research_tests", "42703"},
        {"SELECT rc_1 FROM tivora.research_tests", "42703"},
        {"SELECT birth_key FROM tivora.research_tests", "42703"},
        {"SELECT date_text FROM tivora.research_tests", "42703"},
        {"SELECT surname FROM tivora.current_tests", "42501"},
        {"SELECT test_id FROM tivora.versions", "42501"},
        {"SELECT raw FROM tivora.versions", "42501"},
        {"SELECT test_id FROM tivora.tests", "42501"},
        {"SELECT * FROM tivora.research_key", "42501"},
        {"SELECT tivora.set_research_key('\\x00')", "42501"},
        {"UPDATE tivora.research_tests SET age = 1", "55000"},
        {"DELETE FROM tivora.research_tests", "55000"},
    };
    for (const auto& [sql, state] : attempts) {
        try {
            reader->exec(sql);
            ADD_FAILURE() << "the research role could run " << sql;
        } catch (const DatabaseError& error) {
            EXPECT_EQ(error.sqlState(), state) << sql << ": " << error.what();
        }
    }
    try {
        admin->exec("SELECT tivora.set_research_key('\\x0102')");
        ADD_FAILURE() << "a key of two bytes was taken";
    } catch (const DatabaseError& error) {
        EXPECT_NE(std::string(error.what()).find("32 bytes"), std::string::npos) << error.what();
    }
}

} // namespace
} // namespace central
