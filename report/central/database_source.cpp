#include "report/central/database_source.h"

#include "central/pg.h"
#include "report/record_decoder.h"
#include "report/report_error.h"
#include "report/results_reader.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <set>
#include <tuple>
#include <unordered_map>

namespace report::database {

namespace {

// The last version of every test with where it was taken. Columns: test, office, station, record, the
// record's bytes; a statement adds its own conditions behind.
constexpr const char* kCurrentTests
    = "SELECT t.test_id::text, o.name, coalesce(s.name, ''), v.record_no::text, v.raw, v.deleted::text,"
      " t.lineage_id::text"
      " FROM tivora.tests t"
      " JOIN tivora.versions v ON v.test_id = t.test_id"
      " JOIN tivora.offices o ON o.office_id = t.office_id"
      " LEFT JOIN tivora.stations s ON s.station_id = t.station_id"
      " WHERE NOT EXISTS (SELECT 1 FROM tivora.versions n WHERE n.test_id = v.test_id AND n.version_no > v.version_no)";

enum Column { kTestId, kOffice, kStation, kRecord, kRaw, kDeleted, kLineage };

constexpr const char* kTrials
    = "SELECT test_id::text, series::text, line::text, test_time, foreperiod_programmed_ms::text,"
      " foreperiod_measured_us::text, rt_us::text, rt_stored_ms::text, premature::text, input, response_stamp,"
      " onset_stamp FROM tivora.trials r WHERE r.test_id = ANY($1::bigint[]) ORDER BY r.test_id, r.line";

template<typename Number>
Number numberOf(std::string_view text)
{
    Number value {};
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::string isoDate(const CalendarDate& date)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
    return text;
}

// The trials collected with one test, matched against its row as a timing record's test is.
class CollectedTrials : public TimingLookup
{
public:
    TimingSeries series;

    TimingMatch match(std::uint32_t, const std::array<StoredTimes, kSeriesCount>& stored) const override
    {
        return matchTrials(series, stored);
    }
};

} // namespace

// Turns fetched rows into tests: each record's bytes through the table reader's decoder, and the trials
// of a batch of tests fetched at once.
class DatabaseSource::Reader
{
public:
    void loadTrials(central::Connection& connection, const central::Result& rows)
    {
        m_trials.clear();
        std::string ids = "{";
        for (int i = 0; i < rows.rows(); ++i) {
            ids += (i == 0 ? "" : ",") + std::string(rows.view(i, kTestId));
        }
        const central::Result trials = connection.execBinary(kTrials, {ids + "}"});
        for (int i = 0; i < trials.rows(); ++i) {
            const int series = numberOf<int>(trials.view(i, 1));
            if (series < 1 || series > kSeriesCount) {
                continue; // a practice trial
            }
            const auto text = [&](int column) { return std::string(trials.view(i, column)); };
            m_trials[numberOf<std::uint64_t>(trials.view(i, 0))].series[static_cast<std::size_t>(series - 1)].push_back(
                {series, numberOf<std::int64_t>(trials.view(i, 6)), numberOf<std::uint32_t>(trials.view(i, 7)), text(3),
                 text(2), text(4), text(5), text(8), text(9), text(10), text(11)});
        }
    }

    void decode(const central::Result& rows, int i, SourcedTest& out)
    {
        const std::string_view raw = rows.view(i, kRaw);
        out.id = numberOf<std::uint64_t>(rows.view(i, kTestId));
        const RecordDecoder& decoder = RecordDecoder::standard();
        if (raw.size() < decoder.minimumLength()) {
            throw ReportError("test " + std::to_string(out.id) + " in the database has a record of "
                              + std::to_string(raw.size()) + " bytes, too short for a results table's row");
        }
        if (m_row.size() != raw.size()) {
            m_row = storage::RowBuffer(raw.size());
        }
        std::memcpy(m_row.data(), raw.data(), raw.size());
        out.test = decoder.decode(m_row, numberOf<std::uint32_t>(rows.view(i, kRecord)));
        out.office = std::string(rows.view(i, kOffice));
        out.station = std::string(rows.view(i, kStation));
        const auto trials = m_trials.find(out.id);
        out.timing = trials == m_trials.end() ? nullptr : &trials->second;
    }

private:
    storage::RowBuffer m_row;
    std::unordered_map<std::uint64_t, CollectedTrials> m_trials;
};

DatabaseSource::DatabaseSource(const std::string& conninfo, std::chrono::seconds connectTimeout)
    : m_reader(std::make_unique<Reader>())
{
    central::ConnectionSettings settings;
    settings.conninfo = conninfo;
    settings.overrides = {{"connect_timeout", std::to_string(std::max<long long>(1, connectTimeout.count()))}};
    settings.applicationName = "tivora-report";
    m_connection = std::make_unique<central::Connection>(settings);
    // The report never writes; a statement the server cannot finish in time is given up, not waited for.
    m_connection->exec("SET default_transaction_read_only = on");
    m_connection->exec("SET statement_timeout = '10min'");
    if (m_connection->exec("SELECT to_regclass('tivora.versions') IS NOT NULL").text(0, 0) != "t") {
        throw central::DatabaseError("The " + m_connection->describe() + " holds no collection of tests");
    }
}

DatabaseSource::~DatabaseSource() = default;

std::string DatabaseSource::describe() const
{
    return m_connection->describe();
}

void DatabaseSource::forEach(const TestFilter& filter, const Visit& visit, const Progress& progress)
{
    const auto optional = [](const std::string& text) { return text.empty() ? central::Param {} : text; };
    const std::vector<central::Param> params
        = {optional(filter.office), optional(filter.station),
           filter.from ? central::Param {isoDate(*filter.from)} : central::Param {},
           filter.to ? central::Param {isoDate(*filter.to)} : central::Param {}, optional(filter.person)};
    const std::string order = filter.person.empty() ? " ORDER BY o.name, t.lineage_id, v.record_no, t.test_id"
                                                    : " ORDER BY v.test_date NULLS LAST, o.name, t.lineage_id,"
                                                      " v.record_no, t.test_id";
    central::Transaction transaction(*m_connection);
    m_connection->exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY");
    m_connection->exec(std::string("DECLARE tests NO SCROLL CURSOR FOR ") + kCurrentTests
                           + " AND NOT v.deleted AND ($1::text IS NULL OR o.name = $1)"
                             " AND ($2::text IS NULL OR s.name = $2) AND ($3::date IS NULL OR v.test_date >= $3)"
                             " AND ($4::date IS NULL OR v.test_date <= $4) AND ($5::text IS NULL OR v.birth_key = $5)"
                           + order,
                       params);
    const std::string fetch = "FETCH " + std::to_string(kBatch) + " FROM tests";
    std::uint64_t done = 0;
    SourcedTest sourced;
    for (;;) {
        const central::Result rows = m_connection->execBinary(fetch);
        if (rows.rows() == 0) {
            break;
        }
        m_reader->loadTrials(*m_connection, rows);
        for (int i = 0; i < rows.rows(); ++i) {
            m_reader->decode(rows, i, sourced);
            visit(sourced);
        }
        done += static_cast<std::uint64_t>(rows.rows());
        if (progress && !progress(done, 0)) {
            throw Cancelled();
        }
    }
    transaction.commit();
}

SourcedTest DatabaseSource::read(std::uint64_t id)
{
    const central::Result rows
        = m_connection->execBinary(std::string(kCurrentTests) + " AND t.test_id = $1::bigint", {std::to_string(id)});
    if (rows.rows() == 0) {
        throw ReportError("there is no test " + std::to_string(id) + " in the database");
    }
    if (rows.view(0, kDeleted) == "true") {
        throw ReportError("test " + std::to_string(id) + " is marked deleted");
    }
    SourcedTest sourced;
    m_reader->loadTrials(*m_connection, rows);
    m_reader->decode(rows, 0, sourced);
    return sourced;
}

std::vector<HistoryPoint> DatabaseSource::history(const SourcedTest& current, const AnalysisOptions& options,
                                                  DateOrder order, int currentYear)
{
    const std::string key = current.test.identity.birthNumberKey();
    if (key.empty()) {
        return {};
    }
    const central::Result rows
        = m_connection->execBinary(std::string(kCurrentTests) + " AND NOT v.deleted AND v.birth_key = $1", {key});
    m_reader->loadTrials(*m_connection, rows);
    struct Found
    {
        HistoryPoint point;
        std::tuple<std::string, std::uint64_t, std::uint32_t> place; // office, table, record
        int row = 0;
    };
    std::vector<Found> found;
    bool allDated = true;
    std::set<std::string> offices;
    SourcedTest test;
    for (int i = 0; i < rows.rows(); ++i) {
        m_reader->decode(rows, i, test);
        Found entry;
        entry.point.record = test.test.identity.record;
        entry.point.dateText = test.test.identity.date;
        entry.point.date = parseTestDate(test.test.identity.date, order, currentYear);
        entry.point.current = test.id == current.id;
        entry.point.place = test.office;
        entry.place = {test.office, numberOf<std::uint64_t>(rows.view(i, kLineage)), entry.point.record};
        entry.row = i;
        allDated = allDated && entry.point.date.has_value();
        offices.insert(test.office);
        found.push_back(std::move(entry));
    }
    std::sort(found.begin(), found.end(), [allDated](const Found& a, const Found& b) {
        if (allDated && !(*a.point.date == *b.point.date)) {
            return *a.point.date < *b.point.date;
        }
        return a.place < b.place;
    });
    const auto at = std::find_if(found.begin(), found.end(), [](const Found& entry) { return entry.point.current; });
    if (at == found.end()) {
        return {};
    }
    found.erase(at + 1, found.end());
    if (found.size() > kMaxHistoryPoints) {
        found.erase(found.begin(), found.end() - static_cast<std::ptrdiff_t>(kMaxHistoryPoints));
    }
    std::vector<HistoryPoint> points;
    for (Found& entry : found) {
        m_reader->decode(rows, entry.row, test);
        const TestAnalysis analysis = analyse(test.test, options, test.timing);
        if (analysis.allValid) {
            entry.point.mean = analysis.all.mean;
            entry.point.median = analysis.all.median;
        }
        if (offices.size() < 2) {
            entry.point.place.clear(); // one office: the protocol looks as a table's does
        }
        points.push_back(std::move(entry.point));
    }
    return points;
}

} // namespace report::database
