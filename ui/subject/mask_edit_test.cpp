#include "ui/subject/mask_edit.h"

#include <QSignalSpy>
#include <QTest>

namespace ui {

class MaskEditTest : public QObject
{
    Q_OBJECT

private:
    // A focused box with `mask` on a shown window.
    static void focus(MaskEdit& box)
    {
        box.show();
        box.activateWindow();
        box.setFocus();
    }

private slots:
    void blankPositionsReportAsSpaces()
    {
        MaskEdit box(QStringLiteral("999999;1;_"));
        QCOMPARE(box.maskedText(), QStringLiteral("      "));
        QCOMPARE(box.text(), QStringLiteral("______"));
        focus(box);
        box.setCursorPosition(0);
        QTest::keyClicks(&box, QStringLiteral("12345"));
        QCOMPARE(box.maskedText(), QStringLiteral("12345 "));

        box.setMaskedText(QString());
        box.setCursorPosition(1);
        QTest::keyClicks(&box, QStringLiteral("12345"));
        QCOMPARE(box.maskedText(), QStringLiteral(" 12345"));

        box.setMaskedText(QString());
        box.setCursorPosition(0);
        QTest::keyClicks(&box, QStringLiteral("12"));
        box.setCursorPosition(4);
        QTest::keyClicks(&box, QStringLiteral("9"));
        QCOMPARE(box.maskedText(), QStringLiteral("12  9 "));
    }

    void onlyDigitsAreTyped()
    {
        MaskEdit box(QStringLiteral("9999;1;_"));
        focus(box);
        box.setCursorPosition(0);
        QTest::keyClicks(&box, QStringLiteral("a1-+ 2/3"));
        QCOMPARE(box.maskedText(), QStringLiteral("123 "));
        QTest::keyClicks(&box, QStringLiteral("45"));
        QCOMPARE(box.maskedText(), QStringLiteral("1234"));
    }

    void backspaceAndDeleteBlankPositions()
    {
        MaskEdit box(QStringLiteral("999999;1;_"));
        focus(box);
        box.setMaskedText(QStringLiteral("123456"));
        box.setCursorPosition(3);
        QTest::keyClick(&box, Qt::Key_Backspace);
        QCOMPARE(box.maskedText(), QStringLiteral("12 456"));
        QCOMPARE(box.cursorPosition(), 2);
        box.setCursorPosition(0);
        QTest::keyClick(&box, Qt::Key_Delete);
        QCOMPARE(box.maskedText(), QStringLiteral(" 2 456"));
        box.selectAll();
        QTest::keyClick(&box, Qt::Key_Delete);
        QCOMPARE(box.maskedText(), QStringLiteral("      "));
    }

    void changesAreSignalledOnce()
    {
        MaskEdit box(QStringLiteral("999999;1;_"));
        focus(box);
        QSignalSpy spy(&box, &MaskEdit::maskedTextChanged);
        box.setCursorPosition(0);
        QTest::keyClicks(&box, QStringLiteral("1x"));
        QCOMPARE(spy.count(), 1);
        box.setMaskedText(QString());
        QCOMPARE(spy.count(), 2);
        box.setMaskedText(QString());
        QCOMPARE(spy.count(), 2);
    }

    void dateMaskTakesLiteralsAndPadsAtTheFront()
    {
        MaskEdit date(QStringLiteral("!99/99/0000;1;_"), QLatin1Char('.'));
        QCOMPARE(date.maskedText(), QStringLiteral("  .  .    "));
        date.setMaskedText(QStringLiteral(" 7.12.2026"));
        QCOMPARE(date.maskedText(), QStringLiteral(" 7.12.2026"));
        QCOMPARE(date.text(), QStringLiteral("_7.12.2026"));
        date.setMaskedText(QStringLiteral("7.12.2026"));
        QCOMPARE(date.maskedText(), QStringLiteral(" 7.12.2026"));
        date.setMaskedText(QStringLiteral("17. 1.2026"));
        QCOMPARE(date.maskedText(), QStringLiteral("17. 1.2026"));

        // Typing steps over the separators.
        date.setMaskedText(QString());
        focus(date);
        date.setCursorPosition(0);
        QTest::keyClicks(&date, QStringLiteral("07122026"));
        QCOMPARE(date.maskedText(), QStringLiteral("07.12.2026"));

        date.setReadOnly(true);
        date.setCursorPosition(0);
        QTest::keyClicks(&date, QStringLiteral("99"));
        QTest::keyClick(&date, Qt::Key_Delete);
        QCOMPARE(date.maskedText(), QStringLiteral("07.12.2026"));
    }
};

} // namespace ui

QTEST_MAIN(ui::MaskEditTest)
#include "mask_edit_test.moc"
