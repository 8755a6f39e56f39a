// Makes results tables for the report's checks with other programs, its end-to-end tests and its
// benchmark.
//
//   report_fixture sample PROGRAM_TXT TABLE   people taking the test of PROGRAM_TXT, some of them several
//                                             times; the last tests also get a timing record beside TABLE
//   report_fixture varied TABLE               rows as hands and damage leave them: edited, cut, broken lists,
//                                             Czech names, a deleted row, texts with commas and quotes
//   report_fixture large TABLE ROWS           ROWS tests of the sample program, quickly
//   report_fixture norms TABLE PEOPLE         PEOPLE people of 18 to 71 with valid birth numbers, slower with
//                                             age, some tested twice, some with a wrong check digit, and as the
//                                             last row a boy of 15, for norms built from a lab's tests
//   report_fixture people TABLE LIST          one test for each line "SURNAME;FIRST;RC_1;RC_2;DATE" of the
//                                             UTF-8 file LIST
#include "report/test_support.h"
#include "results/timing_record.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>

namespace {

using report::testing::RawSeries;
using results::Identity;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Reaction times as people give them: most around 250 to 400 ms, now and then a lapse or an anticipation.
std::vector<std::uint32_t> reactionTimes(std::mt19937& random, std::size_t count, double typical)
{
    std::lognormal_distribution<double> usual(std::log(typical), 0.18);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::vector<std::uint32_t> times;
    for (std::size_t i = 0; i < count; ++i) {
        const double roll = chance(random);
        double rt = usual(random);
        if (roll < 0.06) {
            rt = 520.0 + 900.0 * chance(random);
        } else if (roll < 0.09) {
            rt = 40.0 + 55.0 * chance(random);
        }
        times.push_back(static_cast<std::uint32_t>(std::lround(rt)));
    }
    return times;
}

struct Person
{
    Identity identity;
    double typical;
};

// The timing record's lines of one stored test: its trial lines of `program` with finer stamps.
void appendTiming(std::ofstream& out, const std::string& program, const std::vector<std::uint32_t>& times,
                  std::uint32_t row, int day, std::mt19937& random)
{
    // The station rounds to the nearest millisecond (halves away from zero): a stored 312 was 311.5 to
    // 312.499 ms.
    std::uniform_int_distribution<int> fraction(-500, 499);
    std::istringstream lines(program);
    std::string line;
    int index = -1;
    std::size_t trial = 0;
    std::string block = "practice";
    std::int64_t clock = 5'000'000;
    int measured = 0;
    while (std::getline(lines, line)) {
        ++index;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.rfind("77", 0) == 0) {
            block = "measured";
            continue;
        }
        if (line.rfind("88", 0) == 0) {
            break;
        }
        const std::uint32_t stored = trial < times.size() ? times[trial] : 0U;
        const std::int64_t rtUs = std::max<std::int64_t>(0, std::int64_t {stored} * 1000 + fraction(random));
        const std::int64_t foreperiod = std::stoll(line) * 1000;
        clock += foreperiod * 1000 + 1500;
        const int series = block == "measured" ? 1 + measured++ / 8 : 0;
        out << "2026-12-" << (day < 10 ? "0" : "") << day << "T10:00:00+01:00," << row << ',' << index << ',' << block
            << ',' << (series ? std::to_string(series) : std::string()) << ',' << foreperiod << ','
            << foreperiod * 1000 + 1500 << ',' << clock << ',' << clock + rtUs << ',' << rtUs << ',' << stored
            << ",0,key,event,server\r\n";
        clock += rtUs;
        ++trial;
    }
}

int sample(const std::string& programPath, const std::string& table)
{
    const std::string program = readFile(programPath);
    std::mt19937 random(20261208);
    const std::vector<Person> people = {
        {{"Nováková", "Jana", "905512", "1234", ""}, 290.0},
        {{"Dvořák", "Jiří", "851003", "4321", ""}, 340.0},
        {{"Černá", "Žofie", "016205", "0007", ""}, 310.0},
    };
    std::vector<results::ResultRecord> records;
    std::ofstream timing(results::timingRecordPath(table), std::ios::binary);
    timing << results::timingRecordHeader();
    const int visits[] = {1, 2, 3, 1, 3, 5, 2, 7, 4};
    for (std::size_t i = 0; i < std::size(visits); ++i) {
        const Person& person = people[i % people.size()];
        Identity who = person.identity;
        const int day = visits[i];
        who.date = (day < 10 ? " " : "") + std::to_string(day) + ".12.2026";
        const auto times = reactionTimes(random, 19, person.typical);
        std::vector<int> premature(19, 0);
        premature[4 + i % 7] = 1;
        records.push_back(report::testing::evaluatedRecord(program, times, premature, who));
        if (i + 3 >= std::size(visits)) {
            appendTiming(timing, program, times, static_cast<std::uint32_t>(i + 1), day, random);
        }
    }
    report::testing::appendRecords(table, records);
    return timing ? 0 : 1;
}

int varied(const std::string& table)
{
    const Identity who {"Příliš žluťoučký", "Kůň", "905512", "1234", " 8.12.2026"};
    std::string cutB;
    while (cutB.size() + 4 <= 252) {
        cutB += "400|";
    }
    cutB += "31"; // 254 characters: the table cut the value 315 behind its "31"

    using report::testing::rawRecord;
    std::vector<results::ResultRecord> records = {
        rawRecord(who, {{4, 300.0, 1, "250|300|300|350|", ""}, {2, 450.0, 0, "400|500|", ""}}),
        rawRecord({"Smazaný", "Řádek", "111111", "1111", " 8.12.2026"}, {{1, 300.0, 0, "300|", ""}}),
        rawRecord({"Ručně", "Upravený", "222222", "2222", " 8.12.2026"}, {{3, 300.0, 0, "300|310|400|", ""}}),
        rawRecord({"Chybí", "Hodnota", "333333", "3333", " 8.12.2026"}, {{4, 300.0, 2, "300|310|290|", ""}}),
        rawRecord({"Poškozený", "Seznam", "444444", "4444", " 8.12.2026"},
                  {{3, 300.0, 0, "300|3x0|300|", ""}, {2, 200.0, 0, "150|250|", ""}}),
        rawRecord({"Useknutý", "Seznam", "555555", "5555", " 8.12.2026"}, {{66, 397.0, 0, "200|", cutB}}),
        rawRecord({"Starý", "Součet", "666666", "6666", " 8.12.2026"}, {{2, 2768.0, 0, "40000|31072|", ""}}),
        rawRecord({"Čárka, \"uvozovky\"", "Jméno", "777777", "7777", "12/ 8/2026"},
                  {{1, 95.0, 3, "95|", ""}, {1, 0.0, 0, "", ""}}),
        rawRecord({"", "", "      ", "    ", "          "}, {}),
        rawRecord(who, {{2, 251.0, 0, "250|251|", ""}}),
    };
    report::testing::appendRecords(table, records);
    report::testing::deleteRecord(table, 2);
    return 0;
}

int people(const std::string& table, const std::string& list)
{
    std::istringstream lines(readFile(list));
    std::vector<results::ResultRecord> records;
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields(1);
        for (const char c : line) {
            if (c == ';') {
                fields.emplace_back();
            } else {
                fields.back().push_back(c);
            }
        }
        if (fields.size() != 5) {
            throw std::runtime_error("not SURNAME;FIRST;RC_1;RC_2;DATE: " + line);
        }
        const Identity who {fields[0], fields[1], fields[2], fields[3], fields[4]};
        records.push_back(report::testing::rawRecord(who, {{3, 310.0, 0, "300|310|320|", ""}}));
    }
    report::testing::appendRecords(table, records);
    return 0;
}

int large(const std::string& table, std::size_t rows)
{
    std::mt19937 random(7);
    std::vector<results::ResultRecord> records;
    const std::size_t batch = 10'000;
    for (std::size_t i = 0; i < rows; ++i) {
        Identity who {"Testovací" + std::to_string(i % 5000), "Osoba", std::to_string(100000 + i % 5000), "1000",
                      " 8.12.2026"};
        records.push_back(report::testing::evaluatedRecord(report::testing::kSampleProgram,
                                                           reactionTimes(random, 19, 300.0), {}, who));
        if (records.size() == batch || i + 1 == rows) {
            report::testing::appendRecords(table, records);
            records.clear();
        }
    }
    return 0;
}

// A ten-digit birth number of someone born on `year`-`month`-`day` (1954 or later), divisible by 11 unless
// `wrongCheckDigit`; the first nine digits never leave 10, so a wrong digit is wrong in every year.
std::pair<std::string, std::string> birthNumber(int year, int month, int day, bool female, bool wrongCheckDigit,
                                                std::mt19937& random)
{
    std::uniform_int_distribution<int> serial(0, 999);
    char first[16];
    std::snprintf(first, sizeof first, "%02d%02d%02d", year % 100, month + (female ? 50 : 0), day);
    for (;;) {
        const int tail = serial(random);
        const long long nine = std::stoll(first) * 1000 + tail;
        const int check = static_cast<int>(nine % 11);
        if (check == 10) {
            continue;
        }
        char second[8];
        std::snprintf(second, sizeof second, "%03d%d", tail, wrongCheckDigit ? (check + 1) % 10 : check);
        return {first, second};
    }
}

std::string testDate(int month, int day)
{
    char text[32]; // room for any int: the optimiser's format check counts it
    std::snprintf(text, sizeof text, "%2d.%2d.2025", day, month);
    return text;
}

int normPeople(const std::string& table, std::size_t people)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<int> age(18, 70);
    std::uniform_int_distribution<int> month(1, 12);
    std::uniform_int_distribution<int> day(1, 28);
    // Test days after the 12th read the same under a day-first and a month-first system date format.
    std::uniform_int_distribution<int> lateDay(13, 28);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::vector<results::ResultRecord> records;
    std::vector<results::ResultRecord> retests;
    for (std::size_t i = 0; i < people; ++i) {
        const bool female = chance(random) < 0.5;
        const int testMonth = month(random);
        const int testDay = lateDay(random);
        const int born = 2025 - age(random) - (chance(random) < 0.5 ? 1 : 0);
        const auto [part1, part2]
            = birthNumber(born, month(random), day(random), female, chance(random) < 0.03, random);
        const double typical = 230.0 + 1.6 * (2025 - born - 18) + (female ? 8.0 : 0.0);
        Identity who {"Osoba" + std::to_string(i), female ? "Jana" : "Jan", part1, part2, testDate(testMonth, testDay)};
        records.push_back(report::testing::evaluatedRecord(report::testing::kSampleProgram,
                                                           reactionTimes(random, 19, typical), {}, who));
        if (chance(random) < 0.12) {
            // A retest later in the year, after practice: faster, and it must not count.
            who.date = testDate(std::min(testMonth + 1, 12), 28);
            retests.push_back(report::testing::evaluatedRecord(report::testing::kSampleProgram,
                                                               reactionTimes(random, 19, typical * 0.85), {}, who));
        }
    }
    records.insert(records.end(), retests.begin(), retests.end());
    const auto [part1, part2] = birthNumber(2010, 3, 3, false, false, random);
    records.push_back(report::testing::evaluatedRecord(report::testing::kSampleProgram,
                                                       reactionTimes(random, 19, 260.0), {},
                                                       {"Mladý", "Petr", part1, part2, testDate(6, 15)}));
    report::testing::appendRecords(table, records);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 3 && args[0] == "sample") {
            return sample(args[1], args[2]);
        }
        if (args.size() == 3 && args[0] == "people") {
            return people(args[1], args[2]);
        }
        if (args.size() == 2 && args[0] == "varied") {
            return varied(args[1]);
        }
        if (args.size() == 3 && args[0] == "norms") {
            return normPeople(args[1], std::stoul(args[2]));
        }
        if (args.size() == 3 && args[0] == "large") {
            return large(args[1], std::stoul(args[2]));
        }
    } catch (const std::exception& error) {
        std::cerr << "report_fixture: " << error.what() << '\n';
        return 1;
    }
    std::cerr
        << "usage: report_fixture sample PROGRAM_TXT TABLE | varied TABLE | large TABLE ROWS | norms TABLE PEOPLE\n"
           "       report_fixture people TABLE LIST\n";
    return 2;
}
