#pragma once

#include "report/analysis.h"
#include "report/change_history.h"
#include "report/date_field.h"
#include "report/history.h"
#include "report/stored_test.h"
#include "report/timing_record.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Where the report's tests come from: one results table, or the central database the collector fills.
// Exports and protocols read through this interface only, so a test gives the same numbers from either.
namespace report {

// Which tests a report takes: every one shown, or those of a period, a person, an office or a station.
struct TestFilter
{
    // Tests on or after `from` and on or before `to`, by their DATE read as a date (day before month);
    // a test whose date cannot be read is left out once a period is given.
    std::optional<CalendarDate> from;
    std::optional<CalendarDate> to;
    std::string person;  // birth-number digits (RC_1 then RC_2, TestIdentity::birthNumberKey()); empty: all
    std::string office;  // by name, empty: all; only sources with places filter by them
    std::string station; // by name, empty: all

    bool byPlace() const { return !office.empty() || !station.empty(); }
    bool byPeriod() const { return from.has_value() || to.has_value(); }
};

// One test as a source gives it.
struct SourcedTest
{
    StoredTest test;                      // identity.record is the record it was read from
    std::uint64_t id = 0;                 // how a command names it: a table's record number, the database's test number
    std::string office;                   // where it was taken; empty for a table
    std::string station;                  // the station's name, when known
    const TimingLookup* timing = nullptr; // its finer trials, if any; valid until the source reads again
};

class TestSource
{
public:
    // Called with the tests done and in all now and then while many are read; returns false to stop the
    // reading, which then throws Cancelled. `total` is 0 when not known.
    using Progress = std::function<bool(std::uint64_t done, std::uint64_t total)>;
    using Visit = std::function<void(const SourcedTest&)>;

    virtual ~TestSource() = default;

    // What is read, for titles and messages: the table's path, or "database tivora on db:5432 as brno".
    virtual std::string describe() const = 0;
    // True when tests carry an office and a station (exports then add them as the last two columns).
    virtual bool hasPlaces() const = 0;
    // Throws ReportError "Cannot write file <output>: ..." when writing `output` would replace what is read.
    virtual void refuseAsOutput(const std::string& output) const = 0;

    // Calls `visit` with every shown test that passes `filter`: a table's in record order, the database's
    // by office, table and record; for one person by date. Memory stays bounded whatever their number.
    // Throws ReportError for a filter the source cannot apply, Cancelled, and what reading throws.
    virtual void forEach(const TestFilter& filter, const Visit& visit, const Progress& progress = {}) = 0;

    // The shown test named `id`. Throws ReportError ("row 7 is marked deleted", "there is no test 12 in
    // the database") when there is none, and what reading throws.
    virtual SourcedTest read(std::uint64_t id) = 0;

    // The person's tests up to and including `current`, oldest first, at most kMaxHistoryPoints of the
    // latest, for the protocol's history plot; each names its office when they come from more than one.
    // Empty when `current` has no birth number.
    virtual std::vector<HistoryPoint> history(const SourcedTest& current, const AnalysisOptions& options,
                                              DateOrder order, int currentYear)
        = 0;

    // What the audit journal says of the changes after storing, read now; tests are found in it by their
    // record. Null when nothing is known: no journal beside a table, and the database keeps none. Throws
    // as ChangeHistory::openBeside() does.
    virtual std::unique_ptr<ChangeHistory> changeHistory() const { return nullptr; }
};

// "YYYY-MM-DD" as a real date; nullopt for anything else.
std::optional<CalendarDate> parseIsoDate(const std::string& text);

// True when a test of `identity` passes the period and person parts of `filter` (the office and station
// are the source's business). Its date is read as parseTestDate() reads it.
bool passesFilter(const TestFilter& filter, const TestIdentity& identity, int currentYear);

} // namespace report
