#include "report/table_source.h"

#include "base/local_date.h"
#include "report/command_line.h"
#include "report/export.h"
#include "report/report_error.h"

#include <algorithm>

namespace report {

namespace {

constexpr std::uint32_t kProgressStep = 4096;

} // namespace

TableSource::TableSource(const std::string& path, std::ostream& warnings)
    : m_reader(path)
    , m_timing(timingRecordBeside(path, warnings))
{ }

void TableSource::refuseAsOutput(const std::string& output) const
{
    refuseToReplaceInputs(output, m_reader.path());
}

void TableSource::forEach(const TestFilter& filter, const Visit& visit, const Progress& progress)
{
    if (filter.byPlace()) {
        throw ReportError("a table holds one office's tests: --office and --station need the database");
    }
    if (!filter.person.empty()) {
        forPerson(filter, visit);
        return;
    }
    const int year = base::localToday().year;
    const std::uint32_t count = m_reader.recordCount();
    SourcedTest sourced;
    sourced.timing = m_timing.get();
    for (std::uint32_t record = 1; record <= count; ++record) {
        if (progress && record % kProgressStep == 0 && !progress(record, count)) {
            throw Cancelled();
        }
        std::optional<StoredTest> test = m_reader.read(record);
        if (test && passesFilter(filter, test->identity, year)) {
            sourced.test = std::move(*test);
            sourced.id = record;
            visit(sourced);
        }
    }
    m_reader.checkUnchanged();
}

// One person's tests by date (then record), as the history orders them; those whose date cannot be read
// after the others in record order.
void TableSource::forPerson(const TestFilter& filter, const Visit& visit)
{
    const int year = base::localToday().year;
    std::vector<TestIdentity> identities = m_reader.identitiesWithBirthNumber(filter.person);
    identities.erase(
        std::remove_if(identities.begin(), identities.end(),
                       [&](const TestIdentity& identity) { return !passesFilter(filter, identity, year); }),
        identities.end());
    const auto dateOf
        = [year](const TestIdentity& identity) { return parseTestDate(identity.date, DateOrder::DayMonth, year); };
    std::stable_sort(identities.begin(), identities.end(), [&](const TestIdentity& a, const TestIdentity& b) {
        const auto first = dateOf(a);
        const auto second = dateOf(b);
        return first && (!second || *first < *second);
    });
    SourcedTest sourced;
    sourced.timing = m_timing.get();
    for (const TestIdentity& identity : identities) {
        if (std::optional<StoredTest> test = m_reader.read(identity.record)) {
            sourced.test = std::move(*test);
            sourced.id = identity.record;
            visit(sourced);
        }
    }
    m_reader.checkUnchanged();
}

SourcedTest TableSource::read(std::uint64_t id)
{
    if (id < 1 || id > m_reader.recordCount()) {
        throw ReportError("row " + std::to_string(id) + " does not exist: the table has "
                          + std::to_string(m_reader.recordCount()) + " rows");
    }
    std::optional<StoredTest> test = m_reader.read(static_cast<std::uint32_t>(id));
    if (!test) {
        throw ReportError("row " + std::to_string(id) + " is marked deleted");
    }
    return {std::move(*test), id, {}, {}, m_timing.get()};
}

std::vector<HistoryPoint> TableSource::history(const SourcedTest& current, const AnalysisOptions& options,
                                               DateOrder order, int currentYear)
{
    const std::vector<TestIdentity> samePerson
        = m_reader.identitiesWithBirthNumber(current.test.identity.birthNumberKey());
    return personHistory(m_reader, samePerson, current.test.identity, options, m_timing.get(), order, currentYear);
}

std::unique_ptr<ChangeHistory> TableSource::changeHistory() const
{
    return ChangeHistory::openBeside(m_reader.path());
}

} // namespace report
