#include "report/gui/protocol_plots.h"

#include "report/gui/protocol_texts.h"

#include <algorithm>
#include <cmath>

#include <QPainterPath>

namespace report::gui {

namespace {

const QColor kInk(0x20, 0x20, 0x20);
const QColor kGrid(0xD0, 0xD0, 0xD0);
const QColor kTrial(0x1F, 0x4E, 0x9A);
const QColor kLapse(0xC0, 0x1C, 0x28);
const QColor kAnticipation(0xE0, 0x7B, 0x00);
const QColor kMedian(0x26, 0x80, 0x3A);

// Maximum of the trial plot's axis, unless every value is below it.
constexpr double kAxisCap = 2000.0;

enum class Marker { Circle, Triangle, Diamond, Square };

void drawMarker(PageCanvas& canvas, const QPointF& centre, Marker marker, const QColor& color, double sizeMm)
{
    QPainter& painter = canvas.painter();
    const double r = canvas.mm(sizeMm / 2.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    QPainterPath path;
    switch (marker) {
    case Marker::Circle:
        path.addEllipse(centre, r, r);
        break;
    case Marker::Square:
        path.addRect(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r));
        break;
    case Marker::Triangle:
        path.moveTo(centre.x(), centre.y() - r * 1.2);
        path.lineTo(centre.x() + r * 1.1, centre.y() + r * 0.8);
        path.lineTo(centre.x() - r * 1.1, centre.y() + r * 0.8);
        path.closeSubpath();
        break;
    case Marker::Diamond:
        path.moveTo(centre.x(), centre.y() - r * 1.2);
        path.lineTo(centre.x() + r, centre.y());
        path.lineTo(centre.x(), centre.y() + r * 1.2);
        path.lineTo(centre.x() - r, centre.y());
        path.closeSubpath();
        break;
    }
    painter.drawPath(path);
    painter.setBrush(Qt::NoBrush);
}

// The plotting area of a box: room for the y axis labels on the left and the x labels below.
struct Frame
{
    double left, top, width, height; // millimetres
    double yMax;

    double yAt(double value) const { return top + height - std::min(value, yMax) / yMax * height; }
};

Frame drawFrame(PageCanvas& canvas, double x, double y, double width, double height, double maximum,
                const QString& yLabel)
{
    const std::vector<double> ticks = axisTicks(maximum, 6);
    Frame frame {x + 14.0, y + 4.5, width - 16.0, height - 11.5, ticks.back()};
    canvas.setFont(6.5);
    for (const double tick : ticks) {
        const double ty = frame.yAt(tick);
        canvas.setPen(kGrid, 0.15);
        canvas.line(frame.left, ty, frame.left + frame.width, ty);
        canvas.painter().setPen(kInk);
        canvas.fittedText(x + 4.0, ty - 2.0, 9.0, 4.0, Qt::AlignRight | Qt::AlignVCenter, czechNumber(tick, 0),
                          czechCompactNumber(tick), 4.5);
    }
    canvas.setPen(kInk, 0.25);
    canvas.line(frame.left, frame.top, frame.left, frame.top + frame.height);
    canvas.line(frame.left, frame.top + frame.height, frame.left + frame.width, frame.top + frame.height);
    QPainter& painter = canvas.painter();
    painter.save();
    painter.translate(canvas.at(x + 1.5, frame.top + frame.height / 2.0));
    painter.rotate(-90.0);
    painter.drawText(QRectF(-canvas.mm(frame.height / 2.0), -canvas.mm(1.5), canvas.mm(frame.height), canvas.mm(3.0)),
                     Qt::AlignCenter, yLabel);
    painter.restore();
    return frame;
}

void drawLegendEntry(PageCanvas& canvas, double& x, double y, Marker marker, const QColor& color, const QString& label)
{
    drawMarker(canvas, canvas.at(x + 1.2, y + 1.75), marker, color, 1.6);
    canvas.painter().setPen(kInk);
    canvas.text(x + 3.0, y, 60.0, 3.5, Qt::AlignLeft | Qt::AlignVCenter, label);
    x += 3.0 + canvas.textWidth(label) + 6.0;
}

double trialAxisMaximum(const TestAnalysis& analysis, const Thresholds& thresholds)
{
    double highest = 0.0;
    for (const SeriesAnalysis& series : analysis.series) {
        for (const double rt : series.rtMs) {
            highest = std::max(highest, rt);
        }
    }
    const double withThreshold = std::max(highest, thresholds.lapseMs * 1.15);
    return std::min(withThreshold, std::max(kAxisCap, thresholds.lapseMs * 1.5));
}

void drawThreshold(PageCanvas& canvas, const Frame& frame, double value, const QColor& color, const QString& label)
{
    if (value <= 0.0 || value > frame.yMax) {
        return;
    }
    const double ty = frame.yAt(value);
    canvas.setPen(color, 0.2, Qt::DashLine);
    canvas.line(frame.left, ty, frame.left + frame.width, ty);
    canvas.setFont(6.0);
    canvas.painter().setPen(color);
    canvas.text(frame.left + frame.width - 50.0, ty - 3.2, 49.0, 3.0, Qt::AlignRight | Qt::AlignBottom, label);
}

// The slots of the trial plot a series takes: one per trial (five for a series that could not be
// read), after one slot of gap behind the series before it.
struct Region
{
    const SeriesAnalysis* series;
    std::size_t firstSlot;
    std::size_t slotCount;
};

std::vector<Region> trialRegions(const TestAnalysis& analysis)
{
    std::vector<Region> regions;
    std::size_t next = 0;
    for (const SeriesAnalysis& series : analysis.series) {
        if (series.present || !series.valid) {
            const std::size_t first = regions.empty() ? next : next + 1;
            const std::size_t count = series.valid ? std::max<std::size_t>(series.rtMs.size(), 1U) : 5U;
            regions.push_back({&series, first, count});
            next = first + count;
        }
    }
    return regions;
}

// One series of the trial plot: its title, the line through its trials, the markers and the trial
// numbers below the axis.
void drawSeries(PageCanvas& canvas, const Frame& frame, double left, double slotWidth, const Region& region,
                const Thresholds& thresholds)
{
    const SeriesAnalysis& series = *region.series;
    canvas.setFont(6.5, true);
    canvas.painter().setPen(kInk);
    canvas.text(left, frame.top - 4.0, static_cast<double>(region.slotCount) * slotWidth, 3.5,
                Qt::AlignHCenter | Qt::AlignBottom,
                series.valid ? QStringLiteral("%1. série").arg(series.number)
                             : QStringLiteral("%1. série nečitelná").arg(series.number));
    if (!series.valid) {
        return;
    }
    QPolygonF path;
    for (std::size_t i = 0; i < series.rtMs.size(); ++i) {
        path << canvas.at(left + (static_cast<double>(i) + 0.5) * slotWidth, frame.yAt(series.rtMs[i]));
    }
    canvas.setPen(kTrial, 0.2);
    canvas.painter().drawPolyline(path);
    canvas.setFont(5.5);
    for (std::size_t i = 0; i < series.rtMs.size(); ++i) {
        const double rt = series.rtMs[i];
        const bool lapse = rt >= thresholds.lapseMs;
        const bool anticipation = rt < thresholds.anticipationMs;
        drawMarker(canvas, path[static_cast<int>(i)],
                   lapse ? Marker::Triangle : (anticipation ? Marker::Diamond : Marker::Circle),
                   lapse ? kLapse : (anticipation ? kAnticipation : kTrial), lapse || anticipation ? 1.8 : 1.1);
        const double px = left + (static_cast<double>(i) + 0.5) * slotWidth;
        if (rt > frame.yMax) {
            canvas.painter().setPen(kLapse);
            canvas.fittedText(px - 8.0, frame.top + 2.5, 16.0, 3.0, Qt::AlignCenter, czechNumber(rt, 0),
                              czechCompactNumber(rt), 4.5);
        }
        if (i == 0 || (i + 1) % 5 == 0) {
            canvas.painter().setPen(kInk);
            canvas.text(px - 4.0, frame.top + frame.height + 0.5, 8.0, 3.0, Qt::AlignCenter, QString::number(i + 1));
        }
    }
}

} // namespace

std::vector<double> axisTicks(double maximum, int targetCount)
{
    const double top = maximum > 0.0 ? maximum : 1.0;
    const double rough = top / targetCount;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= rough) {
            break;
        }
    }
    std::vector<double> ticks;
    for (double tick = 0.0; ticks.empty() || ticks.back() < top - 1e-9; tick += step) {
        ticks.push_back(tick);
    }
    return ticks;
}

void drawTrialPlot(PageCanvas& canvas, double x, double y, double width, double height, const TestAnalysis& analysis,
                   const Thresholds& thresholds)
{
    const Frame frame = drawFrame(canvas, x, y, width, height - 5.0, trialAxisMaximum(analysis, thresholds),
                                  QStringLiteral("RT (ms)"));
    drawThreshold(canvas, frame, thresholds.lapseMs, kLapse,
                  QStringLiteral("výpadek ≥ %1 ms").arg(czechNumber(thresholds.lapseMs, 0)));
    drawThreshold(canvas, frame, thresholds.anticipationMs, kAnticipation,
                  QStringLiteral("anticipace < %1 ms").arg(czechNumber(thresholds.anticipationMs, 0)));
    const std::vector<Region> regions = trialRegions(analysis);
    const std::size_t slotCount = regions.empty() ? 1U : regions.back().firstSlot + regions.back().slotCount;
    const double slotWidth = frame.width / static_cast<double>(slotCount);
    for (const Region& region : regions) {
        if (region.firstSlot > 0) {
            const double gapX = frame.left + (static_cast<double>(region.firstSlot) - 0.5) * slotWidth;
            canvas.setPen(kInk, 0.2, Qt::DashLine);
            canvas.line(gapX, frame.top, gapX, frame.top + frame.height);
        }
        drawSeries(canvas, frame, frame.left + static_cast<double>(region.firstSlot) * slotWidth, slotWidth, region,
                   thresholds);
    }
    canvas.setFont(6.5);
    double legendX = frame.left;
    const double legendY = y + height - 4.0;
    canvas.painter().setPen(kInk);
    canvas.text(frame.left + frame.width - 60.0, legendY, 60.0, 3.5, Qt::AlignRight | Qt::AlignVCenter,
                QStringLiteral("pokus v sérii"));
    drawLegendEntry(canvas, legendX, legendY, Marker::Circle, kTrial, QStringLiteral("reakční doba"));
    drawLegendEntry(canvas, legendX, legendY, Marker::Triangle, kLapse, QStringLiteral("výpadek"));
    drawLegendEntry(canvas, legendX, legendY, Marker::Diamond, kAnticipation, QStringLiteral("anticipace"));
}

void drawHistoryPlot(PageCanvas& canvas, double x, double y, double width, double height,
                     const std::vector<HistoryPoint>& history)
{
    double highest = 0.0;
    for (const HistoryPoint& point : history) {
        highest = std::max({highest, point.mean.value_or(0.0), point.median.value_or(0.0)});
    }
    const bool slanted = history.size() > 8;
    const double labelRoom = slanted ? 9.0 : 4.0;
    const Frame frame
        = drawFrame(canvas, x, y, width, height - 5.0 - labelRoom + 4.0, highest * 1.15, QStringLiteral("RT (ms)"));
    const double step = frame.width / static_cast<double>(std::max<std::size_t>(history.size(), 1U));
    QPolygonF means;
    QPolygonF medians;
    for (std::size_t i = 0; i < history.size(); ++i) {
        const HistoryPoint& point = history[i];
        const double px = frame.left + (static_cast<double>(i) + 0.5) * step;
        if (point.current) {
            canvas.painter().fillRect(canvas.box(px - step / 2.0, frame.top, step, frame.height),
                                      QColor(0xEE, 0xEE, 0xF6));
        }
        if (point.mean) {
            means << canvas.at(px, frame.yAt(*point.mean));
        }
        if (point.median) {
            medians << canvas.at(px, frame.yAt(*point.median));
        }
        QString label = point.date
            ? QStringLiteral("%1.%2.%3").arg(point.date->day).arg(point.date->month).arg(point.date->year)
            : QString::fromStdString(point.dateText);
        if (!point.place.empty()) {
            label += QStringLiteral(" ") + QString::fromStdString(point.place);
        }
        canvas.setFont(5.5, point.current);
        canvas.painter().setPen(kInk);
        QPainter& painter = canvas.painter();
        painter.save();
        painter.translate(canvas.at(px, frame.top + frame.height + 1.0));
        if (slanted) {
            painter.rotate(-35.0);
            painter.drawText(QRectF(-canvas.mm(16.0), -canvas.mm(1.5), canvas.mm(16.0), canvas.mm(3.0)),
                             Qt::AlignRight | Qt::AlignVCenter, label);
        } else {
            painter.drawText(QRectF(-canvas.mm(10.0), 0, canvas.mm(20.0), canvas.mm(3.0)), Qt::AlignCenter, label);
        }
        painter.restore();
    }
    // Medians first and larger, so that a mean equal to its median still shows on top of it.
    canvas.setPen(kMedian, 0.3, Qt::DashLine);
    canvas.painter().drawPolyline(medians);
    canvas.setPen(kTrial, 0.3);
    canvas.painter().drawPolyline(means);
    for (const QPointF& point : medians) {
        drawMarker(canvas, point, Marker::Square, kMedian, 2.0);
    }
    for (const QPointF& point : means) {
        drawMarker(canvas, point, Marker::Circle, kTrial, 1.4);
    }
    canvas.setFont(6.5);
    double legendX = frame.left;
    const double legendY = y + height - 4.0;
    drawLegendEntry(canvas, legendX, legendY, Marker::Circle, kTrial, QStringLiteral("průměr"));
    drawLegendEntry(canvas, legendX, legendY, Marker::Square, kMedian, QStringLiteral("medián"));
    canvas.painter().setPen(kInk);
    canvas.text(frame.left + frame.width - 80.0, legendY, 80.0, 3.5, Qt::AlignRight | Qt::AlignVCenter,
                QStringLiteral("zvýrazněno: toto vyšetření"));
}

} // namespace report::gui
