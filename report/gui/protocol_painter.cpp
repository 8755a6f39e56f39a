#include "report/gui/protocol_painter.h"

#include "report/gui/page_canvas.h"
#include "report/gui/protocol_norms.h"
#include "report/gui/protocol_plots.h"
#include "report/gui/protocol_texts.h"

#include <QCoreApplication>

namespace report::gui {

namespace {

constexpr double kMargin = 15.0;
const QColor kInk(0x20, 0x20, 0x20);
const QColor kMuted(0x60, 0x60, 0x60);
const QColor kError(0xC0, 0x1C, 0x28);
const QColor kWarning(0x9A, 0x52, 0x00);
const QColor kHeaderFill(0xE8, 0xEC, 0xF4);
const QColor kRule(0xC8, 0xC8, 0xC8);

struct Column
{
    const char* title;
    double width; // mm
};

// The statistics table: the row label, then these columns (180 mm in all).
constexpr Column kColumns[]
    = {{"", 20.0},          {"n", 9.0},        {"průměr", 15.0},    {"medián", 15.0}, {"SD", 12.0},
       {"min", 12.0},       {"max", 12.0},     {"P10", 12.0},       {"P90", 12.0},    {"1/RT", 12.0},
       {"předčasné", 17.0}, {"výpadky", 15.0}, {"anticipace", 17.0}};

QString text(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

double drawTitle(PageCanvas& canvas, const ProtocolContent& content, double y)
{
    const double width = canvas.widthMm() - 2 * kMargin;
    canvas.setFont(15.0, true);
    canvas.painter().setPen(kInk);
    canvas.text(kMargin, y, width, 8.0, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Protokol vyšetření"));
    canvas.setFont(8.0);
    canvas.painter().setPen(kMuted);
    canvas.text(kMargin, y, width, 8.0, Qt::AlignRight | Qt::AlignVCenter,
                QStringLiteral("Jednoduchá zraková reakční doba"));
    canvas.setFont(7.0);
    canvas.text(
        kMargin, y + 8.0, width, 4.0, Qt::AlignRight | Qt::AlignVCenter,
        QStringLiteral("%1, záznam č. %2").arg(content.tableName, QString::number(content.test.identity.record)));
    canvas.setPen(kInk, 0.4);
    canvas.line(kMargin, y + 13.0, kMargin + width, y + 13.0);
    return y + 17.0;
}

void drawField(PageCanvas& canvas, double x, double y, const QString& label, const QString& value)
{
    canvas.setFont(9.0);
    canvas.painter().setPen(kMuted);
    canvas.text(x, y, 32.0, 5.5, Qt::AlignLeft | Qt::AlignVCenter, label);
    canvas.setFont(10.0, true);
    canvas.painter().setPen(kInk);
    canvas.fittedText(x + 32.0, y, 58.0, 5.5, Qt::AlignLeft | Qt::AlignVCenter,
                      value.isEmpty() ? QStringLiteral("–") : value);
}

double drawIdentity(PageCanvas& canvas, const ProtocolContent& content, double y)
{
    const TestIdentity& who = content.test.identity;
    const double right = kMargin + 92.0;
    drawField(canvas, kMargin, y, QStringLiteral("Příjmení:"), text(who.surname));
    drawField(canvas, kMargin, y + 6.0, QStringLiteral("Jméno:"), text(who.firstName));
    drawField(canvas, kMargin, y + 12.0, QStringLiteral("Rodné číslo:"), text(who.birthNumberText()));
    drawField(canvas, right, y, QStringLiteral("Datum vyšetření:"), text(who.date));
    drawField(canvas, right, y + 6.0, QStringLiteral("Pokusů celkem:"),
              content.analysis.allValid ? QString::number(content.analysis.all.n) : QString());
    drawField(canvas, right, y + 12.0, QStringLiteral("Časy:"),
              content.analysis.fineValues ? QStringLiteral("ze záznamu časování (µs)")
                                          : QStringLiteral("z tabulky (celé ms)"));
    return y + 22.0;
}

// A cell's text, and a shorter form of it for a cell too narrow (a damaged row's huge values).
struct Cell
{
    QString text;
    QString shorter;
};

QVector<Cell> statisticCells(const Statistics& stats, bool valid, int decimalsMinMax)
{
    if (!valid) {
        return QVector<Cell>(static_cast<int>(std::size(kColumns)) - 1, Cell {QStringLiteral("–"), {}});
    }
    const auto count = [](std::size_t n) { return Cell {QString::number(n), {}}; };
    const auto number = [](const std::optional<double>& value, int decimals) {
        return Cell {czechNumber(value, decimals), czechCompactNumber(value)};
    };
    return {count(stats.n),
            number(stats.mean, 1),
            number(stats.median, 1),
            number(stats.sd, 1),
            number(stats.min, decimalsMinMax),
            number(stats.max, decimalsMinMax),
            number(stats.p10, 1),
            number(stats.p90, 1),
            number(stats.speed, 2),
            Cell {stats.premature ? QString::number(*stats.premature) : QStringLiteral("–"), {}},
            count(stats.lapses),
            count(stats.anticipations)};
}

void drawTableRow(PageCanvas& canvas, double y, const QString& label, const QVector<Cell>& cells, bool bold)
{
    double x = kMargin;
    canvas.setFont(8.5, true);
    canvas.painter().setPen(kInk);
    canvas.text(x + 1.0, y, kColumns[0].width - 1.0, 5.5, Qt::AlignLeft | Qt::AlignVCenter, label);
    x += kColumns[0].width;
    canvas.setFont(8.5, bold);
    for (int i = 0; i < cells.size(); ++i) {
        // A value too wide for its column (a reaction time of minutes) is set smaller, and one that is
        // absurd (a damaged row) in a shorter form: never over the next column.
        const double width = kColumns[i + 1].width;
        canvas.fittedText(x, y, width - 1.5, 5.5, Qt::AlignRight | Qt::AlignVCenter, cells[i].text, cells[i].shorter);
        x += width;
    }
}

double drawStatisticsTable(PageCanvas& canvas, const ProtocolContent& content, double y)
{
    const double width = canvas.widthMm() - 2 * kMargin;
    canvas.setFont(10.0, true);
    canvas.painter().setPen(kInk);
    canvas.text(kMargin, y, width, 5.0, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Výsledky podle sérií"));
    y += 6.0;
    canvas.painter().fillRect(canvas.box(kMargin, y, width, 5.5), kHeaderFill);
    canvas.setFont(7.5, true);
    double x = kMargin;
    for (const Column& column : kColumns) {
        canvas.text(x, y, column.width - 1.5, 5.5, Qt::AlignRight | Qt::AlignVCenter, QString::fromUtf8(column.title));
        x += column.width;
    }
    y += 5.5;
    const int decimals = content.analysis.fineValues ? 1 : 0;
    for (const SeriesAnalysis& series : content.analysis.series) {
        if (series.present || !series.valid) {
            drawTableRow(canvas, y, QStringLiteral("%1. série").arg(series.number),
                         statisticCells(series.stats, series.valid, decimals), false);
            canvas.setPen(kRule, 0.1);
            canvas.line(kMargin, y + 5.5, kMargin + width, y + 5.5);
            y += 5.5;
        }
    }
    drawTableRow(canvas, y, QStringLiteral("Celkem"),
                 statisticCells(content.analysis.all, content.analysis.allValid, decimals), true);
    canvas.setPen(kInk, 0.3);
    canvas.line(kMargin, y, kMargin + width, y);
    canvas.line(kMargin, y + 5.5, kMargin + width, y + 5.5);
    y += 6.5;
    canvas.setFont(6.5);
    canvas.painter().setPen(kMuted);
    canvas.text(
        kMargin, y, width, 3.5, Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("Časy v ms, 1/RT v odpovědích za sekundu; výpadek: RT ≥ %1 ms, anticipace: RT < %2 ms; "
                       "předčasné odpovědi, jak je uložila tabulka.")
            .arg(czechNumber(content.thresholds.lapseMs, 0), czechNumber(content.thresholds.anticipationMs, 0)));
    return y + 5.0;
}

double drawNotes(PageCanvas& canvas, const ProtocolContent& content, double y)
{
    const double width = canvas.widthMm() - 2 * kMargin;
    canvas.setFont(7.5);
    for (const QString& change : content.changes) {
        const QString line = QStringLiteral("• ") + change;
        const double height = canvas.wrappedHeight(width, line);
        canvas.painter().setPen(kWarning);
        canvas.text(kMargin, y, width, height, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, line);
        y += height + 0.8;
    }
    const auto& issues = content.analysis.issues;
    if (issues.empty()) {
        bool checked = false;
        for (const SeriesAnalysis& series : content.analysis.series) {
            checked = checked || series.meanCheck == MeanCheck::Matches;
        }
        if (checked) {
            canvas.painter().setPen(kMuted);
            canvas.text(kMargin, y, width, 4.0, Qt::AlignLeft | Qt::AlignVCenter,
                        QStringLiteral("Uložené průměry souhlasí s hodnotami v seznamech reakčních dob."));
            y += 5.0;
        }
        return y;
    }
    for (const RowIssue& issue : issues) {
        const QString line = QStringLiteral("• ") + czechIssue(issue);
        const double height = canvas.wrappedHeight(width, line);
        canvas.painter().setPen(severityOf(issue.kind) == Severity::Error ? kError : kWarning);
        canvas.text(kMargin, y, width, height, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, line);
        y += height + 0.8;
    }
    return y + 1.5;
}

double sectionTitle(PageCanvas& canvas, double y, const QString& title)
{
    canvas.setFont(10.0, true);
    canvas.painter().setPen(kInk);
    canvas.text(kMargin, y, canvas.widthMm() - 2 * kMargin, 5.0, Qt::AlignLeft | Qt::AlignVCenter, title);
    return y + 6.0;
}

// The definitions, the signature line and who made the page, from the bottom margin up. Returns the
// top of what it drew.
double drawFooter(PageCanvas& canvas, const ProtocolContent& content)
{
    const double width = canvas.widthMm() - 2 * kMargin;
    const double bottom = canvas.heightMm() - kMargin;
    canvas.setFont(6.0);
    const QString made = QStringLiteral("Vytvořil program %1 %2 dne %3.")
                             .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion(),
                                  content.created.toString(QStringLiteral("d. M. yyyy H:mm")));
    const QString definitions
        = QStringLiteral(
              "n – počet pokusů; SD – výběrová směrodatná odchylka (dělí se n − 1); P10, P90 – 10. a 90. percentil "
              "(lineární interpolace mezi seřazenými hodnotami); 1/RT – průměr převrácených hodnot reakční doby "
              "(odpovědi za sekundu, pokusy s RT > 0); výpadek – RT ≥ %1 ms; anticipace – RT < %2 ms; předčasné – "
              "stisky před podnětem, součet za sérii podle tabulky. Průměr v tabulce výsledků je kontrolován proti "
              "uloženému průměru série.")
              .arg(czechNumber(content.thresholds.lapseMs, 0), czechNumber(content.thresholds.anticipationMs, 0));
    const double definitionsHeight = canvas.wrappedHeight(width, definitions);
    double y = bottom - 3.0 - definitionsHeight;
    canvas.painter().setPen(kMuted);
    canvas.text(kMargin, y, width, definitionsHeight, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, definitions);
    canvas.text(kMargin, bottom - 3.0, width, 3.0, Qt::AlignLeft | Qt::AlignVCenter, made);
    y -= 10.0;
    canvas.setFont(8.0);
    canvas.painter().setPen(kInk);
    canvas.text(kMargin, y, 90.0, 5.0, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Vyšetřil(a):"));
    canvas.text(kMargin + 95.0, y, 85.0, 5.0, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Podpis:"));
    canvas.setPen(kMuted, 0.15, Qt::DotLine);
    canvas.line(kMargin + 20.0, y + 4.5, kMargin + 88.0, y + 4.5);
    canvas.line(kMargin + 108.0, y + 4.5, kMargin + width, y + 4.5);
    return y - 3.0;
}

} // namespace

void paintProtocol(QPainter& painter, const QRectF& paper, const ProtocolContent& content)
{
    PageCanvas canvas(painter, paper);
    double y = drawTitle(canvas, content, kMargin);
    y = drawIdentity(canvas, content, y);
    y = drawStatisticsTable(canvas, content, y);
    y = drawNotes(canvas, content, y);
    y += drawNormSection(canvas, content, kMargin, y, canvas.widthMm() - 2 * kMargin);
    const double footerTop = drawFooter(canvas, content);
    const double width = canvas.widthMm() - 2 * kMargin;
    const bool withHistory = content.history.size() >= 2;
    const double room = footerTop - y - 2.0;
    const double historyHeight = withHistory ? std::min(60.0, room * 0.4) : 0.0;
    const double trialHeight = std::min(110.0, room - (withHistory ? historyHeight + 8.0 : 0.0) - 6.0);
    y = sectionTitle(canvas, y + 1.0, QStringLiteral("Reakční doba v jednotlivých pokusech"));
    drawTrialPlot(canvas, kMargin, y, width, trialHeight, content.analysis, content.thresholds);
    y += trialHeight + 2.0;
    if (withHistory) {
        y = sectionTitle(canvas, y, QStringLiteral("Vývoj při opakovaných vyšetřeních (celý blok)"));
        drawHistoryPlot(canvas, kMargin, y, width, historyHeight, content.history);
    }
}

} // namespace report::gui
