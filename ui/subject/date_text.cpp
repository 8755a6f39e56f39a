#include "ui/subject/date_text.h"

#include <QVector>

namespace ui {

namespace {

bool isFieldLetter(QChar c)
{
    return c == QLatin1Char('d') || c == QLatin1Char('M') || c == QLatin1Char('y');
}

// `text` right-aligned in `width` positions: blanks in front, or only its last digits if it is longer.
QString fitted(const QString& text, int width)
{
    return text.size() >= width ? text.right(width) : QString(width - text.size(), QLatin1Char(' ')) + text;
}

// One run of equal field letters in a date format ("dd", "M", "yyyy").
struct FieldRun
{
    QChar letter;
    int length;
};

QVector<FieldRun> fieldRuns(const QString& format)
{
    QVector<FieldRun> runs;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        while (end < format.size() && format.at(end) == c) {
            ++end;
        }
        if (!quoted && isFieldLetter(c)) {
            runs.push_back({c, static_cast<int>(end - i)});
        }
        i = end;
    }
    return runs;
}

// The digits of one field. Month names become month numbers, since the mask holds digits only.
QString fieldText(const QDate& date, const FieldRun& run)
{
    const auto number = [&](int value) {
        return run.length == 2 ? QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')) : QString::number(value);
    };
    if (run.letter == QLatin1Char('d')) {
        return number(date.day());
    }
    if (run.letter == QLatin1Char('M')) {
        return number(date.month());
    }
    return run.length <= 2 ? QStringLiteral("%1").arg(date.year() % 100, 2, 10, QLatin1Char('0'))
                           : QString::number(date.year());
}

} // namespace

QChar dateSeparator(const QString& shortDateFormat)
{
    bool quoted = false;
    for (const QChar c : shortDateFormat) {
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
        } else if (!quoted && !c.isLetter() && c != QLatin1Char(' ')) {
            return c;
        }
    }
    return QLatin1Char('/');
}

QString dateForMask(const QDate& date, const QString& shortDateFormat)
{
    QStringList dayMonth;
    QString year;
    for (const FieldRun& run : fieldRuns(shortDateFormat)) {
        if (run.letter == QLatin1Char('y')) {
            year = fieldText(date, run);
        } else if (run.letter == QLatin1Char('M') || run.length <= 2) {
            dayMonth.push_back(fieldText(date, run)); // "ddd" and "dddd" are weekday names: left out
        }
    }
    while (dayMonth.size() < 2) {
        dayMonth.push_back(QString());
    }
    const QChar separator = dateSeparator(shortDateFormat);
    return fitted(dayMonth.at(0), 2) + separator + fitted(dayMonth.at(1), 2) + separator + fitted(year, 4);
}

} // namespace ui
