#include "ui/date_text.h"

#include <QLocale>
#include <QStringList>

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

} // namespace

QChar dateSeparator(const QString& shortDateFormat)
{
    for (const QChar c : shortDateFormat) {
        if (!isFieldLetter(c) && c != QLatin1Char(' ') && c != QLatin1Char('\'')) {
            return c;
        }
    }
    return QLatin1Char('/');
}

QString dateForMask(const QDate& date, const QString& shortDateFormat)
{
    const QChar separator = dateSeparator(shortDateFormat);
    const QStringList formats = shortDateFormat.split(separator);
    QStringList dayMonth;
    QString year;
    for (const QString& format : formats) {
        const QString field = QLocale::c().toString(date, format.trimmed()).trimmed();
        if (format.contains(QLatin1Char('y'))) {
            year = field;
        } else if (!field.isEmpty()) {
            dayMonth.push_back(field);
        }
    }
    while (dayMonth.size() < 2) {
        dayMonth.push_back(QString());
    }
    return fitted(dayMonth.at(0), 2) + separator + fitted(dayMonth.at(1), 2) + separator + fitted(year, 4);
}

} // namespace ui
