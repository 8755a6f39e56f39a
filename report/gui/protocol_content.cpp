#include "report/gui/protocol_content.h"

#include "report/report_error.h"

#include <QDate>
#include <QFileInfo>
#include <QLocale>

namespace report::gui {

DateOrder systemDateOrder()
{
    const QString format = QLocale::system().dateFormat(QLocale::ShortFormat);
    const qsizetype day = format.indexOf(QLatin1Char('d'));
    const qsizetype month = format.indexOf(QLatin1Char('M'));
    return month >= 0 && day >= 0 && month < day ? DateOrder::MonthDay : DateOrder::DayMonth;
}

namespace {

// Ranks `test` against the norm of `ranking`, when one was chosen.
void rank(ProtocolContent& content, const StoredTest& test, const norms::NormRanking& ranking,
          const AnalysisOptions& options)
{
    if (ranking.table) {
        content.norms = ranking;
        content.ranks = norms::rankStoredTest(ranking, test, content.analysis, options.thresholds);
    }
}

} // namespace

ProtocolContent loadProtocol(ResultsReader& reader, const TimingRecord* timing, std::uint32_t record,
                             const std::vector<TestIdentity>* identities, const AnalysisOptions& options,
                             const norms::NormRanking& ranking)
{
    if (record < 1 || record > reader.recordCount()) {
        throw ReportError("row " + std::to_string(record) + " does not exist: the table has "
                          + std::to_string(reader.recordCount()) + " rows");
    }
    auto test = reader.read(record);
    if (!test) {
        throw ReportError("row " + std::to_string(record) + " is marked deleted");
    }
    ProtocolContent content;
    content.analysis = analyse(*test, options, timing);
    const std::vector<TestIdentity> samePerson
        = identities ? std::vector<TestIdentity> {} : reader.identitiesWithBirthNumber(test->identity.birthNumberKey());
    content.history = personHistory(reader, identities ? *identities : samePerson, test->identity, options, timing,
                                    systemDateOrder(), QDate::currentDate().year());
    rank(content, *test, ranking, options);
    content.station = stationTimingFor(reader.path(), record);
    content.test = std::move(*test);
    content.thresholds = options.thresholds;
    content.tableName = QFileInfo(QString::fromStdString(reader.path())).fileName();
    content.created = QDateTime::currentDateTime();
    return content;
}

ProtocolContent loadProtocol(TestSource& source, std::uint64_t id, const AnalysisOptions& options,
                             const norms::NormRanking& ranking)
{
    SourcedTest sourced = source.read(id);
    ProtocolContent content;
    // Analysed before the history is read: reading again may take the test's trials away.
    content.analysis = analyse(sourced.test, options, sourced.timing);
    content.history = source.history(sourced, options, systemDateOrder(), QDate::currentDate().year());
    rank(content, sourced.test, ranking, options);
    if (source.hasPlaces()) {
        content.station.fromDatabase = true;
    } else {
        content.station = stationTimingFor(source.describe(), sourced.test.identity.record);
    }
    content.thresholds = options.thresholds;
    content.tableName = source.hasPlaces()
        ? QString::fromStdString(sourced.station.empty() ? sourced.office : sourced.office + ", " + sourced.station)
        : QFileInfo(QString::fromStdString(source.describe())).fileName();
    content.test = std::move(sourced.test);
    content.created = QDateTime::currentDateTime();
    return content;
}

} // namespace report::gui
