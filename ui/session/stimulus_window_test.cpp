#include "ui/common/message_box.h"
#include "ui/session/instruction_viewer.h"
#include "ui/session/program_editor.h"
#include "ui/session/session.h"
#include "ui/session/subject_source.h"
#include "ui/test_support.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

namespace ui {

namespace {

class FakeSubject : public SubjectSource
{
public:
    SubjectTexts subject() const override { return texts; }
    void focusFirstName() override { ++focusCalls; }
    void restoreAfterFailedStart() override { ++restores; }

    SubjectTexts texts {QStringLiteral("Nováková"), QStringLiteral("Eva"), QStringLiteral("855101"),
                        QStringLiteral("1234"), QStringLiteral(" 7.12.2026")};
    int focusCalls = 0;
    int restores = 0;
};

const QPoint kBesideShapes(100, 600);
const QPoint kInShape1Bounds(340, 242); // inside the bounds, outside the drawn square
const QPoint kInShape2Bounds(362, 300);
const QPoint kInLabel1(394, 380);

} // namespace

class TestWindowTest : public QObject
{
    Q_OBJECT

private:
    // A test window on `program`, started up and shown, with the first instruction screen up.
    struct Session
    {
        explicit Session(const QByteArray& program)
        {
            folder.write(QStringLiteral("program.txt"), program);
            for (const char* name : {"tivora1.rtf", "b.rtf", "c.rtf"}) {
                folder.write(QString::fromLatin1(name), "Press Enter.");
            }
            test = std::make_unique<TestSession>(&ticks);
            window = &test->window();
            test->attachSubjectSource(&subject);
            window->show();
            window->activateWindow();
            if (!QTest::qWaitForWindowActive(window)) {
                qWarning("the test window did not become active");
            }
        }
        engine::MeasurementState& state() { return test->measurement(); }
        void start()
        {
            test->startTest();
            QTRY_VERIFY(window->viewer()->hasFocus());
        }
        void confirm() { QTest::keyClick(window->viewer(), Qt::Key_Return); }
        void foreperiodEnds() { QMetaObject::invokeMethod(window, "Timer1Timer"); }
        // A key pressed as a person presses it: it goes wherever the keyboard focus is.
        void keyWhereTheFocusIs(Qt::Key key)
        {
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus);
            QTest::keyClick(focus, key, key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        }
        void enterWhereTheFocusIs() { keyWhereTheFocusIs(Qt::Key_Return); }
        // The foreperiod ends, and Enter answers after `reactionMs`.
        void trial(std::uint32_t reactionMs)
        {
            foreperiodEnds();
            ticks.value += reactionMs;
            enterWhereTheFocusIs();
        }

        testing::WorkingFolder folder;
        testing::ManualTicks ticks;
        FakeSubject subject;
        std::unique_ptr<TestSession> test;
        TestWindow* window = nullptr;
    };

private slots:
    void init()
    {
        MessageBox::setAutoAnswer(true);
        MessageBox::takeShown();
    }
    void cleanup() { QGuiApplication::restoreOverrideCursor(); }

    void shapesAreAYellowFrameAndAHiddenSquare()
    {
        QCOMPARE(TestWindow::squareIn(TestWindow::kShape1Bounds), QRect(336, 248, 113, 113));
        QCOMPARE(TestWindow::squareIn(TestWindow::kShape2Bounds), QRect(376, 288, 33, 33));
        Session session("1\r\n");
        QImage image = session.window->grab().toImage();
        QCOMPARE(image.pixelColor(336, 300), QColor(255, 255, 0));
        QCOMPARE(image.pixelColor(448, 300), QColor(255, 255, 0));
        QCOMPARE(image.pixelColor(392, 248), QColor(255, 255, 0));
        QCOMPARE(image.pixelColor(345, 300), QColor(Qt::black));
        QCOMPARE(image.pixelColor(392, 304), QColor(Qt::black));
        QCOMPARE(image.pixelColor(336, 245), QColor(Qt::black));

        session.window->showStimulus();
        image = session.window->grab().toImage();
        QCOMPARE(image.pixelColor(376, 288), QColor(Qt::white));
        QCOMPARE(image.pixelColor(408, 320), QColor(Qt::white));
        QCOMPARE(image.pixelColor(375, 304), QColor(Qt::black));
        QCOMPARE(image.pixelColor(336, 300), QColor(255, 255, 0));
    }

    void theForeperiodTimerPaintsTheStimulusAheadAndSendsItAtTheEnd()
    {
        // What the window system holds of the window (offscreen: its backing store) is what counts.
        const auto screenAt = [](QWidget* window, int x, int y) {
            return window->screen()->grabWindow(window->winId()).toImage().pixelColor(x, y);
        };
        Session session("1\r\n1\r\n");
        auto* qtTimer = session.window->findChild<QTimer*>(QStringLiteral("Timer1"));
        QVERIFY(qtTimer);
        session.start();
        session.confirm();
        QCOMPARE(screenAt(session.window, 392, 304), QColor(Qt::black));
        QVERIFY(qtTimer->isActive());
        QTRY_VERIFY_WITH_TIMEOUT(session.window->stimulusShown(), 3000);
        QCOMPARE(screenAt(session.window, 392, 304), QColor(Qt::white));
        QCOMPARE(screenAt(session.window, 336, 300), QColor(255, 255, 0));
        session.ticks.value += 250;
        session.enterWhereTheFocusIs();
        QVERIFY(!session.window->stimulusShown());
        QCOMPARE(screenAt(session.window, 392, 304), QColor(Qt::black));
        QCOMPARE(session.state().reactionTime[0], 250U);
    }

    void responsesComeFromEnterAndPressesBesideTheShapes()
    {
        Session session("9\r\n1\r\n");
        session.start();
        QVERIFY(!session.state().acceptingResponses);
        QTest::mouseClick(session.window, Qt::LeftButton, {}, kBesideShapes);
        QCOMPARE(session.state().prematureCount[0], 0); // not yet accepted

        session.confirm();
        QVERIFY(session.state().acceptingResponses);
        QVERIFY(session.window->viewer()->isHidden());
        QTRY_VERIFY(session.window->hasFocus());
        QTest::keyClick(session.window, Qt::Key_Return);
        QCOMPARE(session.state().prematureCount[0], 1);
        QTest::keyClick(session.window, Qt::Key_Return, {}, -1);
        QTest::keyEvent(QTest::Press, session.window, Qt::Key_Return, {}, -1);
        QCOMPARE(session.state().prematureCount[0], 3);

        for (const QPoint& inside : {kInShape1Bounds, kInShape2Bounds, kInLabel1}) {
            QTest::mouseClick(session.window, Qt::LeftButton, {}, inside);
            QTest::mouseClick(session.window, Qt::MiddleButton, {}, inside);
        }
        QCOMPARE(session.state().prematureCount[0], 3);
        QTest::mouseClick(session.window, Qt::LeftButton, {}, kBesideShapes);
        QTest::mouseClick(session.window, Qt::MiddleButton, {}, kBesideShapes);
        QCOMPARE(session.state().prematureCount[0], 5);
        // A double click arrives as a press and then a double-click event for the second press.
        QTest::mouseClick(session.window, Qt::LeftButton, {}, kBesideShapes);
        QTest::mouseDClick(session.window, Qt::LeftButton, {}, kBesideShapes);
        QCOMPARE(session.state().prematureCount[0], 7);
    }

    void rightButtonCountsAtTheReleaseOverAShape()
    {
        Session session("9\r\n1\r\n");
        session.start();
        session.confirm();
        TestWindow* w = session.window;
        QTest::mousePress(w, Qt::RightButton, {}, kInShape1Bounds);
        QCOMPARE(session.state().prematureCount[0], 0);
        QTest::mouseRelease(w, Qt::RightButton, {}, kInShape1Bounds);
        QCOMPARE(session.state().prematureCount[0], 1);
        // Pressed beside the shapes and released over one: two responses.
        QTest::mousePress(w, Qt::RightButton, {}, kBesideShapes);
        QTest::mouseRelease(w, Qt::RightButton, {}, kInShape2Bounds);
        QCOMPARE(session.state().prematureCount[0], 3);
        // Pressed on a shape and released beside: none; on the label: none.
        QTest::mousePress(w, Qt::RightButton, {}, kInShape2Bounds);
        QTest::mouseRelease(w, Qt::RightButton, {}, kBesideShapes + QPoint(0, 1));
        QTest::mouseClick(w, Qt::RightButton, {}, kInLabel1);
        QCOMPARE(session.state().prematureCount[0], 3);
    }

    void aTrialIsTimedFromTheStimulusToTheResponse()
    {
        Session session("9\r\n1\r\n");
        session.start();
        session.confirm();
        session.foreperiodEnds();
        QVERIFY(session.window->stimulusShown());
        session.ticks.value += 287;
        QTest::keyClick(session.window, Qt::Key_Return);
        QVERIFY(!session.window->stimulusShown());
        QCOMPARE(session.state().reactionTime[0], 287U);
        QCOMPARE(session.state().stepIndex, 1);
    }

    void enterInTheViewerIsNeverAResponse()
    {
        Session session("9\r\n1\r\n1\r\n77 b.rtf\r\n9\r\n");
        session.start();
        session.confirm();
        for (int i = 0; i < 3; ++i) {
            session.foreperiodEnds();
            QTest::keyClick(session.window, Qt::Key_Return);
        }
        QVERIFY(session.window->viewer()->isVisible());
        QTRY_VERIFY(session.window->viewer()->hasFocus());
        QCOMPARE(session.state().stepIndex, 3);
        QTest::keyClick(session.window->viewer(), Qt::Key_Space);
        QTest::keyClick(session.window->viewer(), Qt::Key_A);
        QCOMPARE(session.state().stepIndex, 3);
        session.confirm();
        QCOMPARE(session.state().stepIndex, 4);
        QCOMPARE(session.state().seriesStart, 4);
        QCOMPARE(session.state().prematureCount[3], 0);
    }

    void enterWorksAgainAfterAMessageBox()
    {
        Session session("9\r\n1\r\n");
        session.start();
        session.confirm();
        TestWindow* w = session.window;
        // A box took the focus and the window became active again with no control focused.
        w->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->setFocus();
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_VERIFY(other.isActiveWindow());
        w->activateWindow();
        QTRY_VERIFY(w->isActiveWindow());
        QTRY_VERIFY(w->hasFocus());
        QTest::keyClick(w, Qt::Key_Return);
        QCOMPARE(session.state().prematureCount[0], 1);
    }

    // A screen that cannot be loaded in the middle of a test is named on a plain screen, after the error
    // box; Enter goes on from there as from the screen itself, and the row is stored at the end.
    void aMissingScreenMidTestDoesNotEndTheTest()
    {
        Session session("1\r\n1\r\n1\r\n77 missing.rtf\r\n1\r\n1\r\n88 konec.rtf\r\n2\r\n");
        session.start();
        session.confirm();
        for (int i = 0; i < 3; ++i) {
            session.trial(250 + i);
        }
        auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), std::size_t {1});
        QCOMPARE(shown[0].icon, MessageBox::Icon::Stop);
        QCOMPARE(shown[0].text, QStringLiteral("Cannot open file missing.rtf."));
        QVERIFY(!session.state().acceptingResponses);
        QVERIFY(session.window->viewer()->isVisible());
        QVERIFY(session.window->viewer()->toPlainText().contains(QStringLiteral("„missing.rtf“")));
        QTRY_VERIFY(session.window->viewer()->hasFocus());
        session.enterWhereTheFocusIs();
        QCOMPARE(session.state().seriesStart, 4);
        QVERIFY(session.state().acceptingResponses);
        session.trial(300);
        session.trial(310);
        // The closing screen is missing too: Enter on its stand-in stores the row and ends the test.
        QCOMPARE(MessageBox::takeShown().at(0).text, QStringLiteral("Cannot open file konec.rtf."));
        QTRY_VERIFY(session.window->viewer()->hasFocus());
        session.enterWhereTheFocusIs();
        QVERIFY(MessageBox::takeShown().empty());
        QVERIFY(!session.window->isVisible());
        const QByteArray table = session.folder.read(QStringLiteral("tivora4.DBF"));
        QCOMPARE(table.size(), 834 + 2138);
        QCOMPARE(table.mid(833 + 106, 8), QByteArray("300|310|"));
    }

    // A store that fails on the closing screen leaves it up with the focus on it: the next Enter
    // stores, and exactly one row.
    void theClosingScreenCanAlwaysBeRetried()
    {
        Session session("1\r\n1\r\n1\r\n77 b.rtf\r\n1\r\n1\r\n88 c.rtf\r\n2\r\n");
        session.start();
        session.confirm();
        for (int i = 0; i < 3; ++i) {
            session.trial(200);
        }
        session.enterWhereTheFocusIs();
        session.trial(321);
        session.trial(345);
        QVERIFY(session.window->viewer()->isVisible());
        storage::Dataset& table = session.test->table();
        table.close();
        table.setReadOnly(true);
        session.enterWhereTheFocusIs();
        QCOMPARE(MessageBox::takeShown().size(), std::size_t {1});
        QVERIFY(session.window->isVisible());
        QTRY_VERIFY(session.window->viewer()->hasFocus());
        // A count line broken meanwhile fails the same way and is retried the same way.
        table.close();
        table.setReadOnly(false);
        session.window->programEditor()->memo()->setPlainText(QStringLiteral("1\n1\n1\n77 b.rtf\n1\n1\n88 c.rtf\n2 "));
        session.enterWhereTheFocusIs();
        QCOMPARE(MessageBox::takeShown().at(0).text, QStringLiteral("'2 ' is not a valid integer value."));
        QTRY_VERIFY(session.window->viewer()->hasFocus());
        session.window->programEditor()->memo()->setPlainText(QStringLiteral("1\n1\n1\n77 b.rtf\n1\n1\n88 c.rtf\n2"));
        session.enterWhereTheFocusIs();
        QVERIFY(MessageBox::takeShown().empty());
        QVERIFY(!session.window->isVisible());
        const QByteArray bytes = session.folder.read(QStringLiteral("tivora4.DBF"));
        QCOMPARE(bytes.size(), 834 + 2138);
        QCOMPARE(bytes.mid(833 + 1, 8), QByteArray("Nov\xA0kov\xA0")); // code page 852
        QCOMPARE(bytes.mid(833 + 106, 8), QByteArray("321|345|"));
    }

    // Tab and Shift+Tab never take the focus to the hidden button, where Enter would be lost.
    void tabKeepsTheFocusWhereEnterCounts()
    {
        Session session("9\r\n1\r\n1\r\n77 b.rtf\r\n9\r\n");
        session.start();
        for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
            session.keyWhereTheFocusIs(key);
            QVERIFY(session.window->viewer()->hasFocus());
        }
        session.enterWhereTheFocusIs();
        QCOMPARE(session.state().acceptingResponses, true);
        for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Tab}) {
            session.keyWhereTheFocusIs(key);
            QVERIFY(session.window->hasFocus());
        }
        session.enterWhereTheFocusIs();
        QCOMPARE(session.state().prematureCount[0], 1);
        session.trial(400);
        QCOMPARE(session.state().reactionTime[0], 400U);
    }

    void missingFirstScreenGivesTheDataWindowBack()
    {
        Session session("1\r\n");
        session.folder.remove(QStringLiteral("tivora1.rtf"));
        try {
            session.test->startTest();
            QFAIL("a missing first screen must fail");
        } catch (const std::exception& error) {
            QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("Cannot open file tivora1.rtf"));
        }
        QCOMPARE(session.subject.restores, 1);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void missingProgramIsReportedAtCreation()
    {
        testing::WorkingFolder folder;
        testing::ManualTicks ticks;
        TestSession session(&ticks);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), std::size_t {1});
        QCOMPARE(shown[0].text, QStringLiteral("Cannot open file program.txt."));
        QCOMPARE(session.window().programEditor()->memo()->toPlainText(), QString());
        QCOMPARE(session.window().programEditor()->findChild<QLabel*>(QStringLiteral("Label2"))->text(), QString());
        QCOMPARE(QString::fromStdString(session.measurement().startDirectory), QDir::currentPath());
    }

    void startupStepWaitsForTheDataWindow()
    {
        testing::WorkingFolder folder;
        folder.write(QStringLiteral("program.txt"), "1\r\n");
        testing::ManualTicks ticks;
        TestSession session(&ticks);
        session.measurement().reactionTime[5] = 99;
        QTest::qWait(300);
        QCOMPARE(session.measurement().reactionTime[5], 99U); // not reset yet: no data window
        FakeSubject subject;
        session.attachSubjectSource(&subject);
        QCOMPARE(subject.focusCalls, 1);
        QCOMPARE(session.measurement().reactionTime[5], 0U);
        QVERIFY(session.table().isOpen());
        QVERIFY(QFile::exists(folder.file(QStringLiteral("tivora4.DBF"))));
        QTest::qWait(300);
        QCOMPARE(subject.focusCalls, 1); // once only
    }
};

} // namespace ui

QTEST_MAIN(ui::TestWindowTest)
#include "stimulus_window_test.moc"
