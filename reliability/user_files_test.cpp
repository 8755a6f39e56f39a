// Files an examiner may put beside the program by mistake: an empty program.txt, one of 10,000 lines,
// and instruction files that are binary garbage. Each gives the program's message, or shows what it
// can, without a crash, a hang, or a lost screen.
#include "engine/errors.h"
#include "engine/fakes_test.h"
#include "engine/trial_machine.h"
#include "ui/common/message_box.h"
#include "ui/session/instruction_viewer.h"
#include "ui/session/program_editor.h"
#include "ui/test_support.h"

#include <random>

#include <QFile>
#include <QTest>
#include <QTextEdit>

namespace ui {

namespace {

QByteArray randomBytes(int size, unsigned seed)
{
    std::mt19937 random(seed);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random() & 0xFFU);
    }
    return bytes;
}

// The test window's part in a test, with fakes for the clock, the timer and the screens: confirms each
// instruction screen, responds 250 ms after each stimulus, and returns the message the run stopped
// with (empty when the result was stored).
struct TestRun
{
    explicit TestRun(const engine::ProgramLines& program)
        : machine(state, program, ticks, timer, display, [this](const engine::MeasurementState&) { ++stored; })
    {
        engine::nulovani(state);
    }

    std::string runToTheEnd()
    {
        try {
            machine.instructionConfirmed();
            for (int step = 0; step < 1000 && !display.closed; ++step) {
                if (timer.active) {
                    machine.foreperiodElapsed();
                    ticks.advance(250);
                    machine.Stisk_tlacitka();
                } else {
                    machine.instructionConfirmed();
                }
            }
        } catch (const engine::Error& error) {
            return error.what();
        }
        return {};
    }

    engine::MeasurementState state;
    engine::testing::FakeClock ticks;
    engine::testing::FakeTimer timer;
    engine::testing::FakeDisplay display {&ticks};
    int stored = 0;
    engine::TrialMachine machine;
};

} // namespace

class UserFilesTest : public QObject
{
    Q_OBJECT

private:
    testing::WorkingFolder m_folder;

private slots:
    void initTestCase() { MessageBox::setAutoAnswer(true); }

    // The editor stays empty, the test fails at its first foreperiod, and nothing is stored.
    void emptyProgramFailsAtTheFirstForeperiod()
    {
        QVERIFY(m_folder.write(QStringLiteral("program.txt"), QByteArray()));
        ProgramEditor editor;
        editor.loadProgram(QStringLiteral("program.txt"));
        QCOMPARE(editor.memo()->toPlainText(), QString());
        QCOMPARE(editor.programLines().lineCount(), 0);
        TestRun run(editor.programLines());
        QCOMPARE(run.runToTheEnd(), std::string("'' is not a valid integer value"));
        QVERIFY(!run.timer.active);
        QVERIFY(!run.state.acceptingResponses);
        QCOMPARE(run.stored, 0);
    }

    // Every line is a line of the program; the test runs up to the last line a trial can have and
    // stops there with the program's message, everything measured kept.
    void tenThousandLineProgramStopsAtTheLastTrialLine()
    {
        QByteArray text = "3\r\n2\r\n1\r\n77 b.rtf\r\n";
        for (int i = 4; i < 9998; ++i) {
            text += QByteArray::number(1 + i % 9) + "\r\n";
        }
        text += "88 c.rtf\r\n20\r\n";
        QVERIFY(m_folder.write(QStringLiteral("program.txt"), text));
        ProgramEditor editor;
        editor.loadProgram(QStringLiteral("program.txt"));
        const engine::ProgramLines& lines = editor.programLines();
        QCOMPARE(lines.lineCount(), 10000);
        QCOMPARE(lines.line(3), std::string("77 b.rtf"));
        QCOMPARE(lines.line(9998), std::string("88 c.rtf"));
        QCOMPARE(lines.line(9999), std::string("20"));

        TestRun run(lines);
        QCOMPARE(run.runToTheEnd(),
                 std::string("The test program is too long: line 122 would be a trial, but a test holds trials "
                             "on lines 1 to 121 only"));
        QCOMPARE(run.state.stepIndex, 121);
        QCOMPARE(run.state.reactionTime[3], 0U);
        for (const int trial : {0, 1, 2, 4, 60, 120}) {
            QCOMPARE(run.state.reactionTime[static_cast<std::size_t>(trial)], 250U);
        }
        QCOMPARE(run.stored, 0);
    }

    void garbageInstructionFileIsRefused_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("random bytes") << randomBytes(64 * 1024, 1);
        QTest::newRow("zeros, as a crash may leave a file") << QByteArray(4096, '\0');
        QTest::newRow("program file") << QByteArray("\x7F"
                                                    "ELF\x02\x01\x01",
                                                    7)
                + randomBytes(8192, 2);
        QTest::newRow("text with one stray byte") << QByteArray("Stiskn\xECte Enter\r\n\x02");
    }

    // The viewer keeps the screen it showed; the message is the viewer's.
    void garbageInstructionFileIsRefused()
    {
        QFETCH(QByteArray, content);
        QVERIFY(m_folder.write(QStringLiteral("good.rtf"),
                               QByteArray(R"({\rtf1\ansi\ansicpg1250 Stiskn\'ecte Enter\par})")));
        QVERIFY(m_folder.write(QStringLiteral("bad.rtf"), content));
        InstructionViewer viewer;
        viewer.loadFile(QStringLiteral("good.rtf"));
        try {
            viewer.loadFile(QStringLiteral("bad.rtf"));
            QFAIL("garbage was shown");
        } catch (const std::runtime_error& error) {
            QCOMPARE(std::string(error.what()),
                     std::string("Failed to Load Stream: file bad.rtf is neither rich text nor plain text"));
        }
        QCOMPARE(viewer.toPlainText(), QStringLiteral("Stiskněte Enter"));
    }

    // Garbage that starts like rich text is read as rich text: something shows, nothing hangs.
    void garbageAfterARichTextStartShowsWhatItCan()
    {
        for (unsigned seed = 1; seed <= 20; ++seed) {
            QVERIFY(m_folder.write(QStringLiteral("bad.rtf"), "{\\rtf1 " + randomBytes(16 * 1024, seed)));
            InstructionViewer viewer;
            viewer.loadFile(QStringLiteral("bad.rtf"));
            viewer.resize(640, 480);
            viewer.document()->setTextWidth(600);
            QVERIFY(viewer.document()->size().isValid());
        }
    }
};

} // namespace ui

QTEST_MAIN(ui::UserFilesTest)
#include "user_files_test.moc"
