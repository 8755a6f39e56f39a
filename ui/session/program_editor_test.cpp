#include "engine/errors.h"
#include "ui/common/message_box.h"
#include "ui/session/program_editor.h"
#include "ui/test_support.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFontMetrics>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

namespace ui {

class ProgramEditorTest : public QObject
{
    Q_OBJECT

private:
    testing::WorkingFolder m_folder;

private slots:
    void initTestCase() { MessageBox::setAutoAnswer(true); }

    void displayLinesAreTheProgram()
    {
        ProgramEditor editor;
        editor.memo()->setPlainText(QStringLiteral("5\n\n77 a.rtf\n"));
        const engine::ProgramLines& lines = editor.programLines();
        QCOMPARE(lines.lineCount(), 3);
        QCOMPARE(lines.line(0), std::string("5"));
        QCOMPARE(lines.line(1), std::string());
        QCOMPARE(lines.line(2), std::string("77 a.rtf"));
        QCOMPARE(lines.line(3), std::string());

        editor.memo()->clear();
        QCOMPARE(lines.lineCount(), 0);
    }

    void longLinesWrapIntoLinesOfTheirOwn()
    {
        ProgramEditor editor;
        const QString marker = QStringLiteral("88 závěrečné pokyny pro vyšetřovanou osobu na konci testu.rtf");
        editor.memo()->setPlainText(QStringLiteral("1\n") + marker + QStringLiteral("\n3"));
        const engine::ProgramLines& lines = editor.programLines();
        QVERIFY2(lines.lineCount() > 3, "the marker line must wrap");
        QString joined;
        const QFontMetrics metrics(editor.memo()->document()->defaultFont());
        for (int i = 1; i < lines.lineCount() - 1; ++i) {
            const QString piece = QString::fromStdString(lines.line(i));
            QVERIFY(metrics.horizontalAdvance(piece.trimmed()) <= editor.memo()->lineWrapColumnOrWidth());
            joined += piece;
        }
        QCOMPARE(joined, marker);
        QCOMPARE(lines.line(lines.lineCount() - 1), std::string("3"));

        // The pieces are exactly the lines the editor itself shows.
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        editor.memo()->document()->documentLayout()->documentSize();
        int shown = 0;
        for (QTextBlock block = editor.memo()->document()->begin(); block.isValid(); block = block.next()) {
            shown += block.layout()->lineCount();
        }
        QCOMPARE(shown, lines.lineCount());
    }

    void editsTakeEffectAtOnce()
    {
        ProgramEditor editor;
        editor.memo()->setPlainText(QStringLiteral("1\n2"));
        QCOMPARE(editor.programLines().line(1), std::string("2"));
        editor.show();
        editor.memo()->setFocus();
        editor.memo()->moveCursor(QTextCursor::End);
        QTest::keyClicks(editor.memo(), QStringLiteral("0"));
        QCOMPARE(editor.programLines().line(1), std::string("20"));
    }

    void saveWritesCrLfInTheEncodingRead()
    {
        QVERIFY(m_folder.write(QStringLiteral("program.txt"), "3\n77 pokra\xE8ov\xE1n\xED.rtf\n"));
        ProgramEditor editor;
        editor.loadProgram(QStringLiteral("program.txt"));
        QCOMPARE(editor.programLines().line(1), std::string("77 pokračování.rtf"));
        editor.memo()->moveCursor(QTextCursor::End);
        editor.memo()->insertPlainText(QStringLiteral("88 konec.rtf"));
        editor.Button2Click();
        QCOMPARE(m_folder.read(QStringLiteral("program.txt")),
                 QByteArray("3\r\n77 pokra\xE8ov\xE1n\xED.rtf\r\n88 konec.rtf"));
    }

    void missingProgramKeepsTheEditor()
    {
        QFile::remove(QStringLiteral("program.txt"));
        ProgramEditor editor;
        editor.memo()->setPlainText(QStringLiteral("kept"));
        try {
            editor.loadProgram(QStringLiteral("program.txt"));
            QFAIL("a missing program must fail");
        } catch (const engine::IoError& error) {
            QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("Cannot open file program.txt"));
        }
        QCOMPARE(editor.memo()->toPlainText(), QStringLiteral("kept"));
    }

    void aMissingOrPlainProgramIsSavedInCodePage1250()
    {
        QFile::remove(QStringLiteral("program.txt"));
        ProgramEditor missing;
        try {
            missing.loadProgram(QStringLiteral("program.txt"));
        } catch (const engine::IoError&) { }
        missing.memo()->setPlainText(QStringLiteral("1\n88 závěr.rtf"));
        missing.Button2Click();
        QCOMPARE(m_folder.read(QStringLiteral("program.txt")), QByteArray("1\r\n88 z\xE1v\xECr.rtf"));

        QVERIFY(m_folder.write(QStringLiteral("program.txt"), "1\r\n88 c.rtf"));
        ProgramEditor plain;
        plain.loadProgram(QStringLiteral("program.txt"));
        plain.memo()->setPlainText(QStringLiteral("1\n88 čtení.rtf"));
        plain.Button2Click();
        QCOMPARE(m_folder.read(QStringLiteral("program.txt")), QByteArray("1\r\n88 \xE8ten\xED.rtf"));
    }

    void closeHidesWithoutSaving()
    {
        QVERIFY(m_folder.write(QStringLiteral("program.txt"), "1\r\n"));
        ProgramEditor editor;
        editor.loadProgram(QStringLiteral("program.txt"));
        editor.show();
        editor.memo()->setPlainText(QStringLiteral("9"));
        QTest::mouseClick(editor.findChild<QWidget*>(QStringLiteral("Button1")), Qt::LeftButton);
        QVERIFY(editor.isHidden());
        QCOMPARE(m_folder.read(QStringLiteral("program.txt")), QByteArray("1\r\n"));
        QCOMPARE(editor.programLines().line(0), std::string("9"));
    }
};

} // namespace ui

QTEST_MAIN(ui::ProgramEditorTest)
#include "program_editor_test.moc"
