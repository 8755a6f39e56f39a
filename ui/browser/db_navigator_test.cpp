#include "ui/browser/browser_test_support.h"
#include "ui/browser/db_navigator.h"

#include <QHelpEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

namespace ui {

class DbNavigatorTest : public QObject
{
    Q_OBJECT

private slots:
    void closedTableDisablesEverything()
    {
        storage::Dataset closed;
        DbNavigator navigator(closed);
        QCOMPARE(testing::enabledButtons(navigator), QStringLiteral("----------"));
        navigator.click(NavButton::Insert); // no effect, no error
        QCOMPARE(closed.state(), storage::DatasetState::Inactive);
    }

    void enabledStatesFollowTheTable()
    {
        testing::ResultsFolder folder(3);
        DbNavigator navigator(folder.table);
        QCOMPARE(testing::enabledButtons(navigator), QStringLiteral("--NLIDE--R")); // on the first row
        folder.table.next();
        QCOMPARE(testing::enabledButtons(navigator), QStringLiteral("FPNLIDE--R"));
        folder.table.last();
        QCOMPARE(testing::enabledButtons(navigator), QStringLiteral("FP--IDE--R"));
        folder.table.edit();
        QCOMPARE(testing::enabledButtons(navigator), QStringLiteral("FP--ID-PCR"));
        folder.table.cancel();
        folder.table.insert();
        QCOMPARE(testing::enabledButtons(navigator), QStringLiteral("FPNLID-PCR"));
        folder.table.cancel();
        folder.table.close();
        QCOMPARE(testing::enabledButtons(navigator), QStringLiteral("----------"));
        folder.table.open();
        QCOMPARE(testing::enabledButtons(navigator), QStringLiteral("--NLIDE--R"));
    }

    void emptyTable()
    {
        testing::ResultsFolder folder;
        DbNavigator navigator(folder.table);
        QCOMPARE(testing::enabledButtons(navigator), QStringLiteral("----I-E--R"));
        // Edit on an empty table starts a new row.
        navigator.click(NavButton::Edit);
        QCOMPARE(folder.table.state(), storage::DatasetState::Insert);
        QCOMPARE(testing::enabledButtons(navigator).mid(4), QStringLiteral("ID-PCR"));
    }

    void readOnlyTableOnlyMoves()
    {
        testing::ResultsFolder folder(2);
        folder.table.close();
        folder.table.setReadOnly(true);
        folder.table.open();
        DbNavigator navigator(folder.table);
        QCOMPARE(testing::enabledButtons(navigator), QStringLiteral("--NL------"));
    }

    void barLooksAsDesigned()
    {
        storage::Dataset closed;
        QWidget window;
        DbNavigator navigator(closed, &window);
        navigator.setGeometry(128, 320, 240, 25);
        window.show();
        QStringList hints;
        for (int i = 0; i < kNavButtonCount; ++i) {
            QToolButton* button = navigator.button(static_cast<NavButton>(i));
            QCOMPARE(button->geometry(), QRect(i * 24, 0, 24, 25));
            QCOMPARE(button->focusPolicy(), Qt::NoFocus);
            const QIcon icon = button->icon();
            QVERIFY(icon.pixmap(12, 12, QIcon::Normal).toImage() != icon.pixmap(12, 12, QIcon::Disabled).toImage());
            hints << button->toolTip();
        }
        QCOMPARE(hints,
                 QStringList({"First record", "Prior record", "Next record", "Last record", "Insert record",
                              "Delete record", "Edit record", "Post edit", "Cancel edit", "Refresh data"}));
        QCOMPARE(navigator.focusPolicy(), Qt::NoFocus);
        QVERIFY(navigator.findChild<QToolButton*>(QStringLiteral("refreshToolButton")));
        // The hints never show as tool tips.
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), navigator.button(NavButton::First)->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(navigator.button(NavButton::First), &help);
        QVERIFY(!QToolTip::isVisible());
    }

    void buttonsAct()
    {
        testing::ResultsFolder folder(3);
        DbNavigator navigator(folder.table);
        bool answer = false;
        int asked = 0;
        navigator.setGridHooks({{}, {}, [&] {
                                    ++asked;
                                    return answer;
                                }});
        navigator.click(NavButton::Last);
        QCOMPARE(folder.table.recordNumber(), 3u);
        navigator.click(NavButton::Prior);
        QCOMPARE(folder.table.recordNumber(), 2u);
        navigator.click(NavButton::First);
        QCOMPARE(folder.table.recordNumber(), 1u);
        navigator.click(NavButton::Next);
        QCOMPARE(folder.table.recordNumber(), 2u);
        navigator.click(NavButton::Edit);
        folder.table.setValue(0, std::string("Edited"));
        navigator.click(NavButton::Post);
        QCOMPARE(folder.fieldInFile(2, 0), QByteArray("Edited"));
        navigator.click(NavButton::Insert);
        QCOMPARE(folder.table.state(), storage::DatasetState::Insert);
        navigator.click(NavButton::Cancel);
        QCOMPARE(folder.table.state(), storage::DatasetState::Browse);
        QCOMPARE(folder.table.recordNumber(), 2u);
        // Delete asks first; Cancel keeps the row, OK marks it deleted in the file.
        navigator.click(NavButton::Delete);
        QCOMPARE(asked, 1);
        QCOMPARE(folder.flagInFile(2), ' ');
        answer = true;
        navigator.click(NavButton::Delete);
        QCOMPARE(folder.flagInFile(2), '*');
        QCOMPARE(folder.table.recordNumber(), 3u);
        navigator.click(NavButton::Refresh);
        QCOMPARE(folder.table.recordNumber(), 3u);
        QCOMPARE(folder.recordsInFile(), 3);
    }

    void failedTakeOverStopsTheAction()
    {
        testing::ResultsFolder folder(3);
        DbNavigator navigator(folder.table);
        int takeOvers = 0;
        navigator.setGridHooks({[&] {
                                    ++takeOvers;
                                    return false;
                                },
                                {},
                                {}});
        navigator.click(NavButton::Next);
        navigator.click(NavButton::Last);
        QCOMPARE(takeOvers, 2);
        QCOMPARE(folder.table.recordNumber(), 1u);
    }

    void priorAndNextRepeatWhileHeld()
    {
        testing::ResultsFolder folder(40);
        DbNavigator navigator(folder.table);
        navigator.resize(240, 25);
        navigator.show();
        QToolButton* next = navigator.button(NavButton::Next);
        QVERIFY(next->autoRepeat());
        QCOMPARE(next->autoRepeatDelay(), 400);
        QCOMPARE(next->autoRepeatInterval(), 100);
        QVERIFY(navigator.button(NavButton::Prior)->autoRepeat());
        QVERIFY(!navigator.button(NavButton::Last)->autoRepeat());
        QElapsedTimer held;
        held.start();
        QTest::mousePress(next, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(folder.table.recordNumber() >= 2, 3000);
        QVERIFY(held.elapsed() >= 380); // the first repetition comes 400 ms after the press
        QTRY_VERIFY_WITH_TIMEOUT(folder.table.recordNumber() >= 4, 3000);
        QTest::mouseRelease(next, Qt::LeftButton);
        QVERIFY(!next->isDown()); // releasing ends the repetition
    }
};

} // namespace ui

QTEST_MAIN(ui::DbNavigatorTest)
#include "db_navigator_test.moc"
