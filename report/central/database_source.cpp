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

// A value of a trial as the row carries it: its length in bytes, ':', its text (nothing for NULL).
#define TIVORA_TRIAL_FIELD(column)                                                                                     \
    "octet_length(coalesce(r." column "::text, ''))::text || ':' || coalesce(r." column "::text, '')"

// The last version of every test with where it was taken. Columns: test, office, station, record, the
// record's bytes, deleted, table, and the measured trials collected with it in program-line order, each
// as its fields (TrialField) one after another, or NULL when there are none. Offices are ranked by name
// once, so that a million tests are ordered by whole numbers. A statement adds its conditions behind.
constexpr const char* kCurrentTests
    = "SELECT t.test_id::text, o.name, coalesce(s.name, ''), v.record_no::text, v.raw, v.deleted::text,"
      " t.lineage_id::text,"
      " (SELECT string_agg(" TIVORA_TRIAL_FIELD("series") " || " TIVORA_TRIAL_FIELD("line") " || " TIVORA_TRIAL_FIELD("test_time") " || " TIVORA_TRIAL_FIELD("foreperiod_programmed_ms") " || " TIVORA_TRIAL_FIELD("foreperiod_measured_us") " || " TIVORA_TRIAL_FIELD("rt_us") " || " TIVORA_TRIAL_FIELD(
          "rt_stored_ms") " || " TIVORA_TRIAL_FIELD("premature") " ||"
                                                                 " " TIVORA_TRIAL_FIELD(
                                                                     "input") " ||"
                                                                              " " TIVORA_TRIAL_FIELD("response_stamp") " || " TIVORA_TRIAL_FIELD(
                                                                                  "onset_stamp") ", "
                                                                                                 "''"
                                                                                                 " O"
                                                                                                 "RD"
                                                                                                 "ER"
                                                                                                 " B"
                                                                                                 "Y "
                                                                                                 "r."
                                                                                                 "li"
                                                                                                 "ne"
                                                                                                 ")"
                                                                                                 " F"
                                                                                                 "RO"
                                                                                                 "M "
                                                                                                 "ti"
                                                                                                 "vo"
                                                                                                 "ra"
                                                                                                 ".t"
                                                                                                 "ri"
                                                                                                 "al"
                                                                                                 "s "
                                                                                                 "r "
                                                                                                 "WH"
                                                                                                 "ER"
                                                                                                 "E "
                                                                                                 "r."
                                                                                                 "te"
                                                                                                 "st"
                                                                                                 "_i"
                                                                                                 "d "
                                                                                                 "= "
                                                                                                 "t."
                                                                                                 "te"
                                                                                                 "st"
                                                                                                 "_i"
                                                                                                 "d "
                                                                                                 "AN"
                                                                                                 "D "
                                                                                                 "r."
                                                                                                 "se"
                                                                                                 "ri"
                                                                                                 "es"
                                                                                                 " B"
                                                                                                 "ET"
                                                                                                 "WE"
                                                                                                 "EN"
                                                                                                 " 1"
                                                                                                 " A"
                                                                                                 "ND"
                                                                                                 " 4"
                                                                                                 ")"
                                                                                                 " F"
                                                                                                 "RO"
                                                                                                 "M "
                                                                                                 "ti"
                                                                                                 "vo"
                                                                                                 "ra"
                                                                                                 ".t"
                                                                                                 "es"
                                                                                                 "ts"
                                                                                                 " t"
                                                                                                 " J"
                                                                                                 "OI"
                                                                                                 "N "
                                                                                                 "ti"
                                                                                                 "vo"
                                                                                                 "ra"
                                                                                                 ".v"
                                                                                                 "er"
                                                                                                 "si"
                                                                                                 "on"
                                                                                                 "s "
                                                                                                 "v "
                                                                                                 "ON"
                                                                                                 " v"
                                                                                                 ".t"
                                                                                                 "es"
                                                                                                 "t_"
                                                                                                 "id"
                                                                                                 " ="
                                                                                                 " t"
                                                                                                 ".t"
                                                                                                 "es"
                                                                                                 "t_"
                                                                                                 "id"
                                                                                                 " J"
                                                                                                 "OI"
                                                                                                 "N "
                                                                                                 "(S"
                                                                                                 "EL"
                                                                                                 "EC"
                                                                                                 "T "
                                                                                                 "of"
                                                                                                 "fi"
                                                                                                 "ce"
                                                                                                 "_i"
                                                                                                 "d,"
                                                                                                 " n"
                                                                                                 "am"
                                                                                                 "e,"
                                                                                                 " r"
                                                                                                 "an"
                                                                                                 "k("
                                                                                                 ") "
                                                                                                 "OV"
                                                                                                 "ER"
                                                                                                 " ("
                                                                                                 "OR"
                                                                                                 "DE"
                                                                                                 "R "
                                                                                                 "BY"
                                                                                                 " n"
                                                                                                 "am"
                                                                                                 "e)"
                                                                                                 " A"
                                                                                                 "S "
                                                                                                 "of"
                                                                                                 "fi"
                                                                                                 "ce"
                                                                                                 "_r"
                                                                                                 "an"
                                                                                                 "k "
                                                                                                 "FR"
                                                                                                 "OM"
                                                                                                 " t"
                                                                                                 "iv"
                                                                                                 "or"
                                                                                                 "a."
                                                                                                 "of"
                                                                                                 "fi"
                                                                                                 "ce"
                                                                                                 "s)"
                                                                                                 " o"
                                                                                                 " O"
                                                                                                 "N "
                                                                                                 "o."
                                                                                                 "of"
                                                                                                 "fi"
                                                                                                 "ce"
                                                                                                 "_i"
                                                                                                 "d "
                                                                                                 "= "
                                                                                                 "t."
                                                                                                 "of"
                                                                                                 "fi"
                                                                                                 "ce"
                                                                                                 "_i"
                                                                                                 "d"
                                                                                                 " L"
                                                                                                 "EF"
                                                                                                 "T "
                                                                                                 "JO"
                                                                                                 "IN"
                                                                                                 " t"
                                                                                                 "iv"
                                                                                                 "or"
                                                                                                 "a."
                                                                                                 "st"
                                                                                                 "at"
                                                                                                 "io"
                                                                                                 "ns"
                                                                                                 " s"
                                                                                                 " O"
                                                                                                 "N "
                                                                                                 "s."
                                                                                                 "st"
                                                                                                 "at"
                                                                                                 "io"
                                                                                                 "n_"
                                                                                                 "id"
                                                                                                 " ="
                                                                                                 " t"
                                                                                                 ".s"
                                                                                                 "ta"
                                                                                                 "ti"
                                                                                                 "on"
                                                                                                 "_i"
                                                                                                 "d"
                                                                                                 " W"
                                                                                                 "HE"
                                                                                                 "RE"
                                                                                                 " N"
                                                                                                 "OT"
                                                                                                 " E"
                                                                                                 "XI"
                                                                                                 "ST"
                                                                                                 "S "
                                                                                                 "(S"
                                                                                                 "EL"
                                                                                                 "EC"
                                                                                                 "T "
                                                                                                 "1 "
                                                                                                 "FR"
                                                                                                 "OM"
                                                                                                 " t"
                                                                                                 "iv"
                                                                                                 "or"
                                                                                                 "a."
                                                                                                 "ve"
                                                                                                 "rs"
                                                                                                 "io"
                                                                                                 "ns"
                                                                                                 " n"
                                                                                                 " W"
                                                                                                 "HE"
                                                                                                 "RE"
                                                                                                 " n"
                                                                                                 ".t"
                                                                                                 "es"
                                                                                                 "t_"
                                                                                                 "id"
                                                                                                 " ="
                                                                                                 " v"
                                                                                                 ".t"
                                                                                                 "es"
                                                                                                 "t_"
                                                                                                 "id"
                                                                                                 " A"
                                                                                                 "ND"
                                                                                                 " n"
                                                                                                 ".v"
                                                                                                 "er"
                                                                                                 "si"
                                                                                                 "on"
                                                                                                 "_n"
                                                                                                 "o "
                                                                                                 "> "
                                                                                                 "v."
                                                                                                 "ve"
                                                                                                 "rs"
                                                                                                 "io"
                                                                                                 "n_"
                                                                                                 "no"
                                                                                                 ")";

#undef TIVORA_TRIAL_FIELD

// The conditions of an export's filters.
constexpr const char* kFilters
    = " AND NOT v.deleted AND ($1::text IS NULL OR o.name = $1) AND ($2::text IS NULL OR s.name = $2)"
      " AND ($3::date IS NULL OR v.test_date >= $3) AND ($4::date IS NULL OR v.test_date <= $4)"
      " AND ($5::text IS NULL OR v.birth_key = $5)";

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
    const std::string sql = std::string(kCurrentTests) + kFilters
        + (filter.person.empty() ? " ORDER BY o.office_rank, t.lineage_id, v.record_no, t.test_id"
                                 : " ORDER BY v.test_date NULLS LAST, o.office_rank, t.lineage_id, v.record_no,"
                                   " t.test_id");
    central::Transaction transaction(*m_connection);
    m_connection->exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY");
    // The records' bytes are sorted as stored (compressed, a few hundred bytes each): a million tests' in
    // memory rather than on disk.
    m_connection->exec("SET LOCAL work_mem = '256MB'");
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
        = m_connection->execBinary(std::string(kCurrentTests) + " AND t.test_id = $1::bigint", {std::to_string(id)});
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
        = m_connection->execBinary(std::string(kCurrentTests) + " AND NOT v.deleted AND v.birth_key = $1", {key});
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
