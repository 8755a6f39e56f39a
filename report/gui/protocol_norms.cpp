#include "report/gui/protocol_norms.h"

#include "report/gui/protocol_texts.h"
#include "report/norms/norm_syntax.h"

#include <algorithm>

namespace report::gui {

namespace {

using norms::Measure;
using norms::MeasureRank;
using norms::NoNorm;

const QColor kInk(0x20, 0x20, 0x20);
const QColor kMuted(0x60, 0x60, 0x60);
const QColor kBelow(0xC0, 0x1C, 0x28);
const QColor kHeaderFill(0xE8, 0xEC, 0xF4);
const QColor kRule(0xC8, 0xC8, 0xC8);
constexpr double kRow = 4.6;

// The columns of the norm's table: measure, value, PR, T, and the verdict or the reason (mm).
constexpr double kColumnWidths[] = {34.0, 24.0, 14.0, 14.0};

QString measureTitle(Measure measure)
{
    switch (measure) {
    case Measure::MeanRt:
        return QStringLiteral("průměr RT");
    case Measure::MedianRt:
        return QStringLiteral("medián RT");
    case Measure::SdRt:
        return QStringLiteral("SD RT");
    case Measure::Speed:
        return QStringLiteral("1/RT");
    case Measure::Lapses:
        return QStringLiteral("výpadky");
    case Measure::Anticipations:
        return QStringLiteral("anticipace");
    case Measure::Premature:
        return QStringLiteral("předčasné odpovědi");
    }
    return {};
}

QString measureValue(const MeasureRank& rank)
{
    switch (rank.measure) {
    case Measure::MeanRt:
    case Measure::MedianRt:
    case Measure::SdRt:
        return czechNumber(rank.value, 1) + (rank.value ? QStringLiteral(" ms") : QString());
    case Measure::Speed:
        return czechNumber(rank.value, 2) + (rank.value ? QStringLiteral(" /s") : QString());
    default:
        return czechNumber(rank.value, 0);
    }
}

QString sexText(Sex sex, bool plural)
{
    if (plural) {
        return sex == Sex::Male ? QStringLiteral("muži") : QStringLiteral("ženy");
    }
    return sex == Sex::Male ? QStringLiteral("muž") : QStringLiteral("žena");
}

QString verdictText(norms::Verdict verdict, int threshold)
{
    switch (verdict) {
    case norms::Verdict::Below:
        return QStringLiteral("pod hranicí PR %1").arg(threshold);
    case norms::Verdict::At:
        return QStringLiteral("na hranici PR %1").arg(threshold);
    case norms::Verdict::Above:
        return QStringLiteral("nad hranicí PR %1").arg(threshold);
    }
    return {};
}

// True when the reason is the person's, not the measure's: every measure then has it.
bool personal(NoNorm reason)
{
    return reason == NoNorm::BirthNumberInvalid || reason == NoNorm::TestDateUnreadable
        || reason == NoNorm::BornAfterTest || reason == NoNorm::NoGroup;
}

// The measures any group of the norm has, in kMeasures order.
std::vector<const MeasureRank*> shownRanks(const norms::NormTable& table, const norms::TestRanks& ranks)
{
    std::vector<const MeasureRank*> shown;
    for (const MeasureRank& rank : ranks.ranks) {
        const bool inNorm = std::any_of(table.groups.begin(), table.groups.end(),
                                        [&](const norms::NormGroup& group) { return group.find(rank.measure); });
        if (inNorm) {
            shown.push_back(&rank);
        }
    }
    return shown;
}

QString normTitle(const norms::NormTable& table, const norms::TestRanks& ranks)
{
    QString line = QStringLiteral("Norma: %1, verze %2; %3; sběr %4 až %5.")
                       .arg(QString::fromStdString(table.name), QString::fromStdString(table.version),
                            QString::fromStdString(table.source),
                            QString::fromStdString(norms::formatIsoDate(table.collectedFrom)),
                            QString::fromStdString(norms::formatIsoDate(table.collectedTo)));
    if (ranks.group) {
        line += QStringLiteral(" Skupina: %1.").arg(czechGroup(*ranks.group));
    }
    return line;
}

double drawRankRow(PageCanvas& canvas, const ProtocolContent& content, const MeasureRank& rank, double x, double y,
                   double width)
{
    const QStringList cells = {measureTitle(rank.measure), measureValue(rank),
                               rank.wholePr ? QString::number(*rank.wholePr) : QStringLiteral("–"),
                               rank.t ? czechNumber(norms::shownT(*rank.t), 1) : QStringLiteral("–")};
    double at = x;
    canvas.setFont(8.0);
    canvas.painter().setPen(kInk);
    for (int i = 0; i < cells.size(); ++i) {
        const int flags = (i == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter;
        canvas.fittedText(at + (i == 0 ? 1.0 : 0.0), y, kColumnWidths[i] - 2.0, kRow, flags, cells[i]);
        at += kColumnWidths[i];
    }
    const double rest = width - (at - x) - 3.0;
    if (rank.verdict) {
        canvas.setFont(8.0, *rank.verdict == norms::Verdict::Below);
        canvas.painter().setPen(*rank.verdict == norms::Verdict::Below ? kBelow : kInk);
        canvas.fittedText(at + 3.0, y, rest, kRow, Qt::AlignLeft | Qt::AlignVCenter,
                          verdictText(*rank.verdict, content.norms.thresholdPr));
    } else {
        canvas.setFont(7.5);
        canvas.painter().setPen(kMuted);
        canvas.fittedText(at + 3.0, y, rest, kRow, Qt::AlignLeft | Qt::AlignVCenter,
                          QStringLiteral("bez normy: ") + czechNoNorm(rank, *content.norms.table));
    }
    canvas.setPen(kRule, 0.1);
    canvas.line(x, y + kRow, x + width, y + kRow);
    return kRow;
}

double drawRanks(PageCanvas& canvas, const ProtocolContent& content, double x, double y, double width)
{
    const norms::NormTable& table = *content.norms.table;
    const norms::TestRanks& ranks = *content.ranks;
    const double top = y;
    canvas.setFont(10.0, true);
    canvas.painter().setPen(kInk);
    canvas.text(x, y, width, 5.0, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Srovnání s normou"));
    y += 6.0;
    canvas.setFont(7.5);
    const QString title = normTitle(table, ranks);
    const double titleHeight = canvas.wrappedHeight(width, title);
    canvas.text(x, y, width, titleHeight, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, title);
    y += titleHeight + 1.0;
    const std::vector<const MeasureRank*> shown = shownRanks(table, ranks);
    if (!shown.empty() && shown.front()->noNorm && personal(*shown.front()->noNorm)) {
        canvas.setFont(8.5, true);
        canvas.text(x, y, width, kRow, Qt::AlignLeft | Qt::AlignVCenter,
                    QStringLiteral("Bez normy: ") + czechNoNorm(*shown.front(), table) + QStringLiteral("."));
        return y + kRow + 1.0 - top;
    }
    canvas.painter().fillRect(canvas.box(x, y, width, kRow), kHeaderFill);
    canvas.setFont(7.5, true);
    const QStringList headers
        = {QStringLiteral("Veličina"), QStringLiteral("Hodnota"), QStringLiteral("PR"), QStringLiteral("T")};
    double at = x;
    for (int i = 0; i < headers.size(); ++i) {
        canvas.text(at + (i == 0 ? 1.0 : 0.0), y, kColumnWidths[i] - 2.0, kRow,
                    (i == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter, headers[i]);
        at += kColumnWidths[i];
    }
    canvas.text(at + 3.0, y, width - (at - x) - 3.0, kRow, Qt::AlignLeft | Qt::AlignVCenter,
                QStringLiteral("Hranice PR %1").arg(content.norms.thresholdPr));
    y += kRow;
    for (const MeasureRank* rank : shown) {
        y += drawRankRow(canvas, content, *rank, x, y, width);
    }
    y += 0.8;
    canvas.setFont(6.5);
    canvas.painter().setPen(kMuted);
    const QString note
        = QStringLiteral(
              "PR – percentilové pořadí: kolik procent normativní skupiny podalo stejný nebo horší výkon; T = 50 + 10 "
              "z. "
              "U obou znamená víc lepší výkon (u reakční doby, SD, výpadků, anticipací a předčasných odpovědí je lepší "
              "nižší hodnota, u 1/RT vyšší). Pod hranicí: PR menší než %1.")
              .arg(content.norms.thresholdPr);
    const double noteHeight = canvas.wrappedHeight(width, note);
    canvas.text(x, y, width, noteHeight, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, note);
    return y + noteHeight + 1.0 - top;
}

} // namespace

QString czechGroup(const norms::NormGroup& group)
{
    const QString ages = group.ages.to ? QStringLiteral("%1–%2 let").arg(group.ages.from).arg(*group.ages.to)
                                       : QStringLiteral("%1 let a více").arg(group.ages.from);
    return ages + QStringLiteral(", ") + (group.sex ? sexText(*group.sex, true) : QStringLiteral("obě pohlaví"));
}

QString czechNoNorm(const MeasureRank& rank, const norms::NormTable& table)
{
    switch (*rank.noNorm) {
    case NoNorm::BirthNumberInvalid:
        return QStringLiteral("rodné číslo není platné, věk a pohlaví z něj nelze určit");
    case NoNorm::TestDateUnreadable:
        return QStringLiteral("z data vyšetření nelze určit věk");
    case NoNorm::BornAfterTest:
        return QStringLiteral("datum narození z rodného čísla je po dni vyšetření");
    case NoNorm::NoGroup:
        return QStringLiteral("norma nemá skupinu pro věk %1 let, %2").arg(*rank.age).arg(sexText(*rank.sex, false));
    case NoNorm::MeasureMissing:
        return QStringLiteral("skupina tuto veličinu nemá");
    case NoNorm::GroupSmall:
        return QStringLiteral("ve skupině jen %1 osob (méně než %2)")
            .arg(rank.group->find(rank.measure)->n)
            .arg(norms::kSmallGroup);
    case NoNorm::ThresholdsDiffer: {
        const std::optional<double> counted = rank.measure == Measure::Lapses ? table.lapseMs : table.anticipationMs;
        return QStringLiteral("norma je počítána s hranicí %1 ms, protokol s jinou")
            .arg(counted ? czechNumber(counted, 0) : QStringLiteral("neuvedenou"));
    }
    case NoNorm::NoValue:
        return QStringLiteral("vyšetření tuto hodnotu nedává");
    }
    return {};
}

QString czechStationLine(const StationTiming& timing)
{
    if (timing.fromDatabase) {
        return QStringLiteral("Měření stanice není k dispozici: vyšetření je z centrální databáze, zkoušky stanic "
                              "jsou jen ve složce tabulky.");
    }
    if (timing.station.empty()) {
        return QStringLiteral("Měření stanice není k dispozici: deník změn tabulky neuvádí, která stanice "
                              "vyšetření uložila.");
    }
    const QString station = QString::fromStdString(timing.station);
    if (!timing.selfTest) {
        return QStringLiteral("Měření stanice není k dispozici: stanice %1 před vyšetřením neuložila zkoušku "
                              "stanice.")
            .arg(station);
    }
    const results::StationSelfTest& test = *timing.selfTest;
    const auto ms = [](std::int64_t us) { return czechNumber(static_cast<double>(us) / 1000.0, 1); };
    const QDateTime when = QDateTime::fromString(QString::fromStdString(test.time), Qt::ISODate);
    return QStringLiteral("Měření stanice %1 (zkouška stanice %2: %3): konec předperiody medián %4 ms, 95 % do "
                          "%5 ms; snímek k okennímu systému medián %6 ms, 95 % do %7 ms; displej %8; začátek "
                          "podnětu %9.")
        .arg(station,
             when.isValid() ? when.toString(QStringLiteral("d. M. yyyy H:mm")) : QString::fromStdString(test.time),
             test.fit ? QStringLiteral("způsobilá") : QStringLiteral("NEZPŮSOBILÁ"), ms(test.foreperiodMedianUs),
             ms(test.foreperiodP95Us), ms(test.frameMedianUs), ms(test.frameP95Us),
             test.refreshHz ? czechNumber(test.refreshHz, 0) + QStringLiteral(" Hz")
                            : QStringLiteral("s neznámou frekvencí"),
             test.onsetSource == "server" ? QStringLiteral("podle okenního systému")
                                          : QStringLiteral("podle hodin stanice"));
}

double drawNormSection(PageCanvas& canvas, const ProtocolContent& content, double x, double y, double width)
{
    double height = 0.0;
    if (content.norms.table && content.ranks) {
        height += drawRanks(canvas, content, x, y, width);
    }
    canvas.setFont(7.0);
    canvas.painter().setPen(kMuted);
    const QString station = czechStationLine(content.station);
    const double stationHeight = canvas.wrappedHeight(width, station);
    canvas.text(x, y + height, width, stationHeight, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, station);
    return height + stationHeight + 1.5;
}

} // namespace report::gui
