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

namespace report::database {

namespace {

// The measured trials collected with the test `test` names, in program-line order, as one text: each
// trial's fields (TrialField) one after another, each as its length in bytes, ':', its text (nothing for
// NULL), so that any text in them reads back as it was; NULL when there are none.
std::string trialsOf(const std::string& test)
{
    std::string fields;
    for (const char* column : {"series", "line", "test_time", "foreperiod_programmed_ms", "foreperiod_measured_us",
                               "rt_us", "rt_stored_ms", "premature", "input", "response_stamp", "onset_stamp"}) {
        const std::string value = std::string("coalesce(r.") + column + "::text, '')";
        fields += (fields.empty() ? "" : " || ") + ("octet_length(" + value + ")::text || ':' || " + value);
    }
    return "(SELECT string_agg(" + fields + ", '' ORDER BY r.line) FROM tivora.trials r WHERE r.test_id = " + test
        + " AND r.series BETWEEN 1 AND 4)";
}

// Offices ranked by name, so that a million tests are ordered by whole numbers.
constexpr const char* kRankedOffices
    = " JOIN (SELECT office_id, name, rank() OVER (ORDER BY name) AS office_rank FROM tivora.offices) o"
      " ON o.office_id = t.office_id";

// Only the last version of each test.
constexpr const char* kLastVersion
    = " WHERE NOT EXISTS (SELECT 1 FROM tivora.versions n WHERE n.test_id = v.test_id AND n.version_no > v.version_no)";

// The last version of every test with where it was taken. Columns: test, office, station, record, the
// record's bytes, deleted, table, trials (trialsOf()). A statement adds its conditions behind.
const std::string& currentTests()
{
    static const std::string sql = "SELECT t.test_id::text, o.name, coalesce(s.name, ''), v.record_no::text, v.raw,"
                                   " v.deleted::text, t.lineage_id::text, "
        + trialsOf("t.test_id") + " FROM tivora.tests t JOIN tivora.versions v ON v.test_id = t.test_id"
        + kRankedOffices + " LEFT JOIN tivora.stations s ON s.station_id = t.station_id" + kLastVersion;
    return sql;
}

// The shown tests that pass an export's filters ($1 office, $2 station, $3 from, $4 to, $5 person), ordered
// by `keys` (of office_rank, lineage_id, record_no, test_id, test_date), with the columns of
// currentTests(). The order is found among the narrow columns; each record's bytes and trials are read
// only as its batch is fetched (a lateral subquery, which the planner keeps a loop over the ordered rows),
// so that the server reads the next batch while the report writes the last one.
std::string exportedTests(const std::vector<std::string>& keys)
{
    std::string inner;
    std::string outer;
    for (const std::string& key : keys) {
        inner += (inner.empty() ? "" : ", ") + key;
        outer += (outer.empty() ? "" : ", ") + ("c." + key);
    }
    return "SELECT c.test_id::text, c.name, c.station, c.record_no::text, x.raw, 'false', c.lineage_id::text,"
           " x.trials FROM (SELECT t.test_id, v.version_no, o.name, coalesce(s.name, '') AS station, v.record_no,"
           " t.lineage_id, o.office_rank, v.test_date FROM tivora.tests t"
           " JOIN tivora.versions v ON v.test_id = t.test_id"
        + std::string(kRankedOffices) + " LEFT JOIN tivora.stations s ON s.station_id = t.station_id" + kLastVersion
        + " AND NOT v.deleted AND ($1::text IS NULL OR o.name = $1) AND ($2::text IS NULL OR s.name = $2)"
          " AND ($3::date IS NULL OR v.test_date >= $3) AND ($4::date IS NULL OR v.test_date <= $4)"
          " AND ($5::text IS NULL OR v.birth_key = $5) ORDER BY "
        + inner + " OFFSET 0) c CROSS JOIN LATERAL (SELECT r.raw, " + trialsOf("c.test_id")
        + " AS trials FROM tivora.versions r WHERE r.test_id = c.test_id AND r.version_no = c.version_no LIMIT 1) x"
          " ORDER BY "
        + outer;
}

enum Column { kTestId, kOffice, kStation, kRecord, kRaw, kDeleted, kLineage, kTrials };

// The fields of a trial in the trials column, in order.
enum TrialField {
    kSeries,
    kLine,
    kTestTime,
    kForeperiodProgrammed,
    kForeperiodMeasured,
    kRtUs,
    kRtStoredMs,
    kPremature,
    kInput,
    kResponseStamp,
    kOnsetStamp,
    kTrialFields
};

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

// Waits for the statement sent last, whatever it gives.
void awaitQuietly(central::Connection& connection) noexcept
{
    try {
        connection.finish();
    } catch (const std::exception&) {
        // The statement's own failure matters no more than its rows: the caller is failing already.
    }
}

} // namespace

// Turns fetched rows into tests: each record's bytes through the table reader's decoder, and the trials
// that came with it.
class DatabaseSource::Reader
{
public:
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
        out.timing = rows.isNull(i, kTrials) ? nullptr : readTrials(out.id, rows.view(i, kTrials));
    }

private:
    // The trials of the trials column `text`. Throws ReportError when it is not in the column's form.
    const TimingLookup* readTrials(std::uint64_t id, std::string_view text)
    {
        for (auto& series : m_trials.series) {
            series.clear();
        }
        std::array<std::string_view, kTrialFields> fields;
        while (!text.empty()) {
            for (std::string_view& field : fields) {
                const std::size_t colon = text.find(':');
                const std::size_t length
                    = colon == std::string_view::npos ? 0 : numberOf<std::size_t>(text.substr(0, colon));
                if (colon == std::string_view::npos || length > text.size() - colon - 1) {
                    throw ReportError("the database gave the trials of test " + std::to_string(id)
                                      + " in a form this tivora-report cannot read");
                }
                field = text.substr(colon + 1, length);
                text.remove_prefix(colon + 1 + length);
            }
            const int series = numberOf<int>(fields[kSeries]);
            if (series < 1 || series > kSeriesCount) {
                continue; // the statement gives measured trials only
            }
            m_trials.series[static_cast<std::size_t>(series - 1)].push_back(
                {series, numberOf<std::int64_t>(fields[kRtUs]), numberOf<std::uint32_t>(fields[kRtStoredMs]),
                 std::string(fields[kTestTime]), std::string(fields[kLine]), std::string(fields[kForeperiodProgrammed]),
                 std::string(fields[kForeperiodMeasured]), std::string(fields[kPremature]), std::string(fields[kInput]),
                 std::string(fields[kResponseStamp]), std::string(fields[kOnsetStamp])});
        }
        return &m_trials;
    }

    storage::RowBuffer m_row;
    CollectedTrials m_trials; // of the test decoded last
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
    const std::string sql = exportedTests(
        filter.person.empty()
            ? std::vector<std::string> {"office_rank", "lineage_id", "record_no", "test_id"}
            : std::vector<std::string> {"test_date", "office_rank", "lineage_id", "record_no", "test_id"});
    central::Transaction transaction(*m_connection);
    m_connection->exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY");
    // A million tests' narrow columns are ordered in memory rather than on disk.
    m_connection->exec("SET LOCAL work_mem = '128MB'");
    m_connection->exec("DECLARE tests NO SCROLL CURSOR FOR " + sql, params);
    const std::string fetch = "FETCH " + std::to_string(kBatch) + " FROM tests";
    std::uint64_t done = 0;
    SourcedTest sourced;
    central::Result rows = m_connection->execBinary(fetch);
    while (rows.rows() > 0) {
        // The next batch is on its way while this one is written.
        m_connection->sendBinary(fetch);
        try {
            for (int i = 0; i < rows.rows(); ++i) {
                m_reader->decode(rows, i, sourced);
                visit(sourced);
            }
        } catch (...) {
            awaitQuietly(*m_connection); // so that the transaction can be rolled back
            throw;
        }
        done += static_cast<std::uint64_t>(rows.rows());
        rows = m_connection->finish();
        if (progress && !progress(done, 0)) {
            throw Cancelled();
        }
    }
    transaction.commit();
}

SourcedTest DatabaseSource::read(std::uint64_t id)
{
    const central::Result rows
        = m_connection->execBinary(currentTests() + " AND t.test_id = $1::bigint", {std::to_string(id)});
    if (rows.rows() == 0) {
        throw ReportError("there is no test " + std::to_string(id) + " in the database");
    }
    if (rows.view(0, kDeleted) == "true") {
        throw ReportError("test " + std::to_string(id) + " is marked deleted");
    }
    SourcedTest sourced;
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
        = m_connection->execBinary(currentTests() + " AND NOT v.deleted AND v.birth_key = $1", {key});
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
