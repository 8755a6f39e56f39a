#include "report/gui/protocol_content.h"

#include "report/change_history.h"
#include "report/report_error.h"

#include <functional>
#include <memory>

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

QString quoted(const std::string& text)
{
    return QStringLiteral("„%1“").arg(QString::fromStdString(text));
}

// One change after storing in the protocol's words: what, when, where and by whom.
QString changeLine(const audit::JournalEntry& entry)
{
    QString what;
    if (entry.action == audit::Action::FieldEdited) {
        what = QStringLiteral("Po uložení změněno pole %1 z %2 na %3")
                   .arg(QString::fromStdString(entry.field), quoted(entry.oldValue), quoted(entry.newValue));
    } else if (entry.action == audit::Action::RowDeleted) {
        what = QStringLiteral("Po uložení smazáno");
    } else {
        what = QStringLiteral("Po smazání obnoveno");
    }
    const QDateTime when = QDateTime::fromString(QString::fromStdString(entry.time), Qt::ISODate);
    return QStringLiteral("%1 – %2, stanice %3, uživatel %4.")
        .arg(what,
             when.isValid() ? when.toString(QStringLiteral("d. M. yyyy H:mm:ss")) : QString::fromStdString(entry.time),
             QString::fromStdString(entry.station), QString::fromStdString(entry.user));
}

// The changes the journal `open` reads holds for `record`; none when it has none or cannot be read (the
// protocol of a test without a journal says nothing about changes: nothing is known).
std::vector<QString> changesOf(const std::function<std::unique_ptr<ChangeHistory>()>& open, std::uint32_t record)
{
    std::vector<QString> lines;
    try {
        const std::unique_ptr<ChangeHistory> history = open();
        if (history) {
            for (const audit::JournalEntry* entry : history->forRow(record).all) {
                lines.push_back(changeLine(*entry));
            }
        }
    } catch (const std::exception&) {
        // `tivora-report verify` names what is wrong with the journal; the protocol shows the test.
    }
    return lines;
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
    content.changes = changesOf([&reader] { return ChangeHistory::openBeside(reader.path()); }, record);
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
    content.changes = changesOf([&source] { return source.changeHistory(); }, sourced.test.identity.record);
    content.test = std::move(sourced.test);
    content.created = QDateTime::currentDateTime();
    return content;
}

} // namespace report::gui
