#include "report/central/database_source.h"

#include "central/pg.h"
#include "report/central/fetch_ahead.h"
#include "report/record_decoder.h"
#include "report/report_error.h"
#include "report/results_reader.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <tuple>

namespace report::database {

namespace {

// The measured trials collected with the test `test` names, in no particular order (the reader orders
// them by line), as one text: each trial's fields (TrialField) one after another, each as its length in
// bytes, ':', its text (nothing for NULL), so that any text in them reads back as it was; NULL when there
// are none.
std::string trialsOf(const std::string& test)
{
    std::string fields;
    for (const char* column : {"series", "line", "test_time", "foreperiod_programmed_ms", "foreperiod_measured_us",
                               "rt_us", "rt_stored_ms", "premature", "input", "response_stamp", "onset_stamp"}) {
        const std::string value = std::string("coalesce(r.") + column + "::text, '')";
        fields += (fields.empty() ? "" : " || ") + ("octet_length(" + value + ")::text || ':' || " + value);
    }
    return "(SELECT string_agg(" + fields + ", '') FROM tivora.trials r WHERE r.test_id = " + test
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
// record's bytes and their length, trials (trialsOf()), deleted, table. A statement adds its
// conditions behind.
const std::string& currentTests()
{
    static const std::string sql = "SELECT t.test_id::text, o.name, coalesce(s.name, ''), v.record_no::text, v.raw,"
                                   " octet_length(v.raw)::text, "
        + trialsOf("t.test_id")
        + ", v.deleted::text, t.lineage_id::text FROM tivora.tests t JOIN tivora.versions v ON v.test_id = t.test_id"
        + kRankedOffices + " LEFT JOIN tivora.stations s ON s.station_id = t.station_id" + kLastVersion;
    return sql;
}

// The shown tests that pass an export's filters ($1 office number, $2 station name, $3 from, $4 to, $5
// person), from the last versions' copies beside their pointers (tivora.current_versions). Columns: test,
// office number, station number, record, the record's bytes up to the blanks that end it (most of a
// record, where its reaction-time lists are not full; the reader puts them back) and their whole length,
// trials (asked for only where the test has any). Without a person, the tests of one office ($1) by table
// and record: an index holds them in that order, so that the server sends the first rows at once, never
// sorts and reads no other table. For a person, by date, then office, table and record.
std::string exportedTests(bool byPerson)
{
    return "SELECT c.test_id::text, c.office_id::text, coalesce(c.station_id::text, ''), c.record_no::text,"
           " c.raw, c.record_length::text, CASE WHEN c.has_trials THEN "
        + trialsOf("c.test_id") + " END FROM tivora.current_versions c"
        + (byPerson ? std::string(" JOIN tivora.versions v ON v.test_id = c.test_id AND v.version_no = c.version_no"
                                  " JOIN (SELECT office_id, rank() OVER (ORDER BY name) AS office_rank"
                                  " FROM tivora.offices) o ON o.office_id = c.office_id")
                    : std::string())
        + " WHERE NOT c.deleted AND ($1::int IS NULL OR c.office_id = $1)"
          " AND ($2::text IS NULL OR c.station_id IN (SELECT s.station_id FROM tivora.stations s WHERE s.name = $2))"
          " AND ($3::date IS NULL OR c.test_date >= $3) AND ($4::date IS NULL OR c.test_date <= $4)"
        + (byPerson ? " AND v.birth_key = $5" : " AND $5::text IS NULL") + " ORDER BY "
        + (byPerson ? "c.test_date, o.office_rank, " : "") + "c.lineage_id, c.record_no, c.test_id";
}

enum Column { kTestId, kOffice, kStation, kRecord, kRaw, kLength, kTrials, kDeleted, kLineage };

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

// Fetched rows made tests: each test's trials are kept beside it (a deque, so that they stay where the
// tests point).
struct TestBatch
{
    std::vector<SourcedTest> tests;
    std::deque<CollectedTrials> trials;
};

} // namespace

// Turns fetched rows into tests: each record's bytes through the table reader's decoder, and the trials
// that came with it.
class DatabaseSource::Reader
{
public:
    // The test of row `i` with its office and station as the row names them (currentTests()).
    void decodeWithPlace(const central::Result& rows, int i, SourcedTest& out)
    {
        decode(rows, i, out);
        out.office = std::string(rows.view(i, kOffice));
        out.station = std::string(rows.view(i, kStation));
    }

    // The test of row `i`, its record and trials (valid until the next decode); its place is the caller's.
    void decode(const central::Result& rows, int i, SourcedTest& out) { decode(rows, i, out, m_trials); }

    // The test of row `i`, its record and trials, which are kept in `trials`; its place is the caller's.
    void decode(const central::Result& rows, int i, SourcedTest& out, CollectedTrials& trials)
    {
        const std::string_view raw = rows.view(i, kRaw);
        const auto length = numberOf<std::size_t>(rows.view(i, kLength));
        out.id = numberOf<std::uint64_t>(rows.view(i, kTestId));
        const RecordDecoder& decoder = RecordDecoder::standard();
        if (length < decoder.minimumLength() || raw.size() > length) {
            throw ReportError("test " + std::to_string(out.id) + " in the database has a record of "
                              + std::to_string(length) + " bytes, too short for a results table's row");
        }
        if (m_row.size() != length) {
            m_row = storage::RowBuffer(length);
        }
        std::memcpy(m_row.data(), raw.data(), raw.size());
        std::memset(m_row.data() + raw.size(), ' ', length - raw.size()); // the blanks the server left out
        out.test = decoder.decode(m_row, numberOf<std::uint32_t>(rows.view(i, kRecord)));
        out.timing = rows.isNull(i, kTrials) ? nullptr : readTrials(out.id, rows.view(i, kTrials), trials);
    }

private:
    // The trials of the trials column `text`, read into `trials`. Throws ReportError when it is not in the
    // column's form.
    static const TimingLookup* readTrials(std::uint64_t id, std::string_view text, CollectedTrials& trials)
    {
        for (auto& series : trials.series) {
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
            trials.series[static_cast<std::size_t>(series - 1)].push_back(
                {series, numberOf<std::int64_t>(fields[kRtUs]), numberOf<std::uint32_t>(fields[kRtStoredMs]),
                 std::string(fields[kTestTime]), std::string(fields[kLine]), std::string(fields[kForeperiodProgrammed]),
                 std::string(fields[kForeperiodMeasured]), std::string(fields[kPremature]), std::string(fields[kInput]),
                 std::string(fields[kResponseStamp]), std::string(fields[kOnsetStamp])});
        }
        for (auto& series : trials.series) {
            std::sort(series.begin(), series.end(), [](const TimingTrial& a, const TimingTrial& b) {
                return numberOf<long long>(a.line) < numberOf<long long>(b.line);
            });
        }
        return &trials;
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
    // Its statements walk indexes row by row: compiling them would cost more than it saves.
    m_connection->exec("SET jit = off");
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
    central::Transaction transaction(*m_connection);
    m_connection->exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY");
    // Offices and stations are few: their names are joined to the tests here rather than by the server.
    std::map<std::string, std::string, std::less<>> officeNames;
    std::vector<std::string> offices; // numbers, by name
    const central::Result officeRows = m_connection->exec(
        "SELECT office_id::text, name FROM tivora.offices WHERE $1::text IS NULL OR name = $1 ORDER BY name",
        {filter.office.empty() ? central::Param {} : filter.office});
    for (int i = 0; i < officeRows.rows(); ++i) {
        offices.push_back(officeRows.text(i, 0));
        officeNames[offices.back()] = officeRows.text(i, 1);
    }
    std::map<std::string, std::string, std::less<>> stationNames = {{"", ""}};
    const central::Result stationRows = m_connection->exec("SELECT station_id::text, name FROM tivora.stations");
    for (int i = 0; i < stationRows.rows(); ++i) {
        stationNames[stationRows.text(i, 0)] = stationRows.text(i, 1);
    }
    if (offices.empty()) {
        transaction.commit();
        return;
    }
    const auto optional = [](const std::string& text) { return text.empty() ? central::Param {} : text; };
    std::vector<central::Param> params
        = {central::Param {}, optional(filter.station),
           filter.from ? central::Param {isoDate(*filter.from)} : central::Param {},
           filter.to ? central::Param {isoDate(*filter.to)} : central::Param {}, optional(filter.person)};
    // Called on the fetching thread: it only reads the names.
    const Placed placed = [&](const central::Result& rows, int i, SourcedTest& sourced) {
        const auto name = [](const std::map<std::string, std::string, std::less<>>& names, std::string_view number,
                             std::string& out) {
            const auto found = names.find(number);
            if (found == names.end()) {
                out.clear();
            } else {
                out = found->second;
            }
        };
        name(officeNames, rows.view(i, kOffice), sourced.office);
        name(stationNames, rows.view(i, kStation), sourced.station);
    };
    std::uint64_t done = 0;
    if (!filter.person.empty()) {
        // One person's tests are few; the office's filter is the statement's.
        params[0] = filter.office.empty() ? central::Param {} : central::Param {offices.front()};
        stream(exportedTests(true), params, placed, visit, progress, done);
    } else {
        for (const std::string& office : offices) {
            params[0] = office;
            stream(exportedTests(false), params, placed, visit, progress, done);
        }
    }
    transaction.commit();
}

void DatabaseSource::stream(const std::string& sql, const std::vector<central::Param>& params, const Placed& placed,
                            const Visit& visit, const Progress& progress, std::uint64_t& done)
{
    m_connection->exec("DECLARE tests NO SCROLL CURSOR FOR " + sql, params);
    {
        // The fetching thread also turns the rows into tests, with a reader of its own, so that the
        // records are decoded while the report writes the tests before them; it makes them again in the
        // batches given back, so that their memory stays that thread's. Two batches ahead keep the
        // server busy in no more memory than a few batches.
        Reader reader;
        const auto decodeBatch = [&reader, &placed](central::Result&& rows, TestBatch&& spent) {
            TestBatch batch = std::move(spent);
            const auto count = static_cast<std::size_t>(rows.rows());
            batch.tests.resize(count);
            batch.trials.resize(count);
            for (std::size_t i = 0; i < count; ++i) {
                reader.decode(rows, static_cast<int>(i), batch.tests[i], batch.trials[i]);
                placed(rows, static_cast<int>(i), batch.tests[i]);
            }
            return batch;
        };
        FetchAhead<TestBatch> batches(*m_connection, "FETCH " + std::to_string(kBatch) + " FROM tests", 2, decodeBatch);
        for (TestBatch batch = batches.next(); !batch.tests.empty(); batch = batches.next()) {
            for (const SourcedTest& test : batch.tests) {
                visit(test);
            }
            done += batch.tests.size();
            batches.giveBack(std::move(batch));
            if (progress && !progress(done, 0)) {
                throw Cancelled();
            }
        }
    }
    m_connection->exec("CLOSE tests");
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
    m_reader->decodeWithPlace(rows, 0, sourced);
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
        m_reader->decodeWithPlace(rows, i, test);
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
        m_reader->decodeWithPlace(rows, entry.row, test);
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
