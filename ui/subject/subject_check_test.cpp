#include "ui/subject/subject_check.h"

#include <QTest>

Q_DECLARE_METATYPE(std::optional<ui::SubjectFault>)

namespace ui {

class SubjectCheckTest : public QObject
{
    Q_OBJECT

private slots:
    void firstFaultInTheOrderOfTheBoxes_data()
    {
        QTest::addColumn<QString>("surname");
        QTest::addColumn<QString>("birthNumber1");
        QTest::addColumn<QString>("birthNumber2");
        QTest::addColumn<std::optional<SubjectFault>>("fault");
        const QString blank6 = QStringLiteral("      ");
        const QString blank4 = QStringLiteral("    ");
        const auto row
            = [](const char* name, const QString& surname, const QString& first, const QString& second,
                 std::optional<SubjectFault> fault) { QTest::newRow(name) << surname << first << second << fault; };
        const QString novak = QStringLiteral("Novák");
        row("whole identity", QStringLiteral("Nováková"), QStringLiteral("855101"), QStringLiteral("1234"), {});
        row("empty surname", QString(), QStringLiteral("855101"), QStringLiteral("1234"), SubjectFault::NoSurname);
        row("surname of one space", QStringLiteral(" "), QStringLiteral("855101"), QStringLiteral("1234"),
            SubjectFault::NoSurname);
        row("surname of two spaces", QStringLiteral("  "), QStringLiteral("855101"), QStringLiteral("1234"), {});
        row("surname before the birth number", QString(), blank6, blank4, SubjectFault::NoSurname);
        row("no first part", novak, blank6, QStringLiteral("1234"), SubjectFault::NoBirthNumber1);
        row("first part before the second", novak, blank6, blank4, SubjectFault::NoBirthNumber1);
        row("no second part", novak, QStringLiteral("855101"), blank4, SubjectFault::NoBirthNumber2);
        row("second part of two digits", novak, QStringLiteral("855101"), QStringLiteral("12  "), {});
        row("blank at the end", novak, QStringLiteral("85510 "), QStringLiteral("12"),
            SubjectFault::BirthNumber1NotANumber);
        row("blank between digits", novak, QStringLiteral("8 5101"), QStringLiteral("1234"),
            SubjectFault::BirthNumber1NotANumber);
        row("blanks in front", novak, QStringLiteral(" 85510"), QStringLiteral("1234"), {});
        row("empty parts before the number", novak, QStringLiteral("85510 "), blank4, SubjectFault::NoBirthNumber2);
    }
    void firstFaultInTheOrderOfTheBoxes()
    {
        QFETCH(QString, surname);
        QFETCH(QString, birthNumber1);
        QFETCH(QString, birthNumber2);
        QFETCH(std::optional<SubjectFault>, fault);
        // The first name and the date are never looked at.
        const SubjectTexts texts {surname, QString(), birthNumber1, birthNumber2, QString()};
        QCOMPARE(checkSubject(texts), fault);
    }
};

} // namespace ui

QTEST_APPLESS_MAIN(ui::SubjectCheckTest)
#include "subject_check_test.moc"
