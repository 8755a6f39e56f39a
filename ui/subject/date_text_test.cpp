#include "ui/subject/date_text.h"

#include <QTest>

namespace ui {

class DateTextTest : public QObject
{
    Q_OBJECT

private slots:
    void fitsTheMask_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one-digit day") << "d.M.yyyy" << QDate(2026, 12, 7) << " 7.12.2026";
        QTest::newRow("one-digit month") << "d.M.yyyy" << QDate(2026, 1, 17) << "17. 1.2026";
        QTest::newRow("leading zeros") << "dd.MM.yyyy" << QDate(2026, 12, 7) << "07.12.2026";
        QTest::newRow("spaced separators") << "d. M. yyyy" << QDate(2026, 12, 7) << " 7.12.2026";
        QTest::newRow("two-digit year") << "M/d/yy" << QDate(2026, 12, 7) << "12/ 7/  26";
        QTest::newRow("year first") << "yyyy-MM-dd" << QDate(2026, 12, 7) << "12-07-2026";
        QTest::newRow("month name") << "d MMM yyyy" << QDate(2026, 12, 7) << " 7/12/2026";
        QTest::newRow("weekday and quotes") << "dddd d.M.'r.' yyyy" << QDate(2026, 1, 7) << " 7. 1.2026";
        QTest::newRow("short weekday") << "ddd d.M.yyyy" << QDate(2026, 12, 7) << " 7.12.2026";
        QTest::newRow("short weekday after") << "dd/MM/yyyy ddd" << QDate(2026, 1, 17) << "17/01/2026";
        QTest::newRow("short month name") << "ddd, MMM d, yyyy" << QDate(2026, 3, 9) << " 3, 9,2026";
    }

    void fitsTheMask()
    {
        QFETCH(QString, format);
        QFETCH(QDate, date);
        QFETCH(QString, expected);
        const QString text = dateForMask(date, format);
        QCOMPARE(text, expected);
        QCOMPARE(text.size(), 10);
    }

    void separatorComesFromTheFormat()
    {
        QCOMPARE(dateSeparator(QStringLiteral("d.M.yyyy")), QLatin1Char('.'));
        QCOMPARE(dateSeparator(QStringLiteral("M/d/yy")), QLatin1Char('/'));
        QCOMPARE(dateSeparator(QStringLiteral("yyyyMMdd")), QLatin1Char('/'));
        QCOMPARE(dateSeparator(QStringLiteral("d. M. yyyy")), QLatin1Char('.'));
    }
};

} // namespace ui

QTEST_MAIN(ui::DateTextTest)
#include "date_text_test.moc"
