#include "ui/browser/browser_test_support.h"
#include "ui/browser/db_navigator.h"
#include "ui/browser/results_browser.h"
#include "ui/browser/results_grid.h"
#include "ui/common/message_box.h"
#include "ui/session/session.h"
#include "ui/subject/data_window.h"
#include "ui/test_support.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

namespace ui {

class ResultsBrowserTest : public QObject
{
    Q_OBJECT

private:
    // A browser on an always-on-top window, as on the data window.
    struct Browser
    {
        explicit Browser(int rows)
            : folder(rows)
            , window(nullptr, Qt::Window | Qt::WindowStaysOnTopHint)
            , browser(folder.table, &window)
        {
            window.resize(536, 353);
            browser.setShown(true);
            window.show();
            window.activateWindow();
            if (!QTest::qWaitForWindowActive(&window)) {
                qWarning("the window did not become active");
            }
            browser.grid()->setFocus();
        }
        void click(NavButton which) const { QTest::mouseClick(browser.navigator()->button(which), Qt::LeftButton); }

        testing::ResultsFolder folder;
        QWidget window;
        ResultsBrowser browser;
    };

    // Answers the next real message box with `answer` once it is open and records what it showed.
    struct BoxAnswer
    {
        QString title, text, defaultButton, escapeButton;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool ownerOnTop = true;
    };
    static void answerNextBox(BoxAnswer& seen, QWidget* owner, const std::function<void(QMessageBox*)>& answer)
    {
        QTimer::singleShot(0, [&seen, owner, answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.icon = box->icon();
            seen.defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
            seen.escapeButton = box->escapeButton() ? box->escapeButton()->text() : QString();
            seen.ownerOnTop = owner->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint);
            answer(box);
        });
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void init()
    {
        MessageBox::setAutoAnswer(true);
        MessageBox::takeShown();
    }

    void postTakesOverTheTypedText()
    {
        Browser b(2);
        QTest::keyClicks(b.browser.grid(), QStringLiteral("Post"));
        QCOMPARE(b.folder.table.state(), storage::DatasetState::Edit);
        b.click(NavButton::Post);
        QCOMPARE(b.folder.table.state(), storage::DatasetState::Browse);
        QCOMPARE(b.folder.fieldInFile(1, 0), QByteArray("Post"));
        // The click left the focus in the grid.
        QVERIFY(b.browser.grid()->hasFocus() || b.browser.grid()->isAncestorOf(QApplication::focusWidget()));
        // A text that does not convert stops Post with the error; the row stays in edit.
        b.browser.grid()->setFocus();
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(b.browser.grid(), Qt::Key_Right);
        }
        QTest::keyClicks(b.browser.grid(), QStringLiteral("99999"));
        b.click(NavButton::Post);
        QCOMPARE(MessageBox::takeShown().size(), std::size_t {1});
        QCOMPARE(b.folder.table.state(), storage::DatasetState::Edit);
        b.click(NavButton::Cancel);
        QCOMPARE(b.folder.table.state(), storage::DatasetState::Browse);
        QCOMPARE(b.folder.fieldInFile(1, 5), QByteArray("1"));
        QVERIFY(!b.browser.grid()->cellEditor());
    }

    void insertAppendAndCancelThroughTheBar()
    {
        Browser b(3);
        b.click(NavButton::Next);
        b.click(NavButton::Insert);
        QCOMPARE(b.browser.grid()->resultsModel()->markAt(1), RowMark::Insert);
        QTest::keyClicks(b.browser.grid(), QStringLiteral("Vlozeny"));
        b.click(NavButton::Post);
        QCOMPARE(b.folder.recordsInFile(), 4);
        QCOMPARE(b.folder.fieldInFile(4, 0), QByteArray("Vlozeny"));
        QCOMPARE(b.folder.table.recordNumber(), 4u);
        b.click(NavButton::Insert);
        b.click(NavButton::Cancel);
        QCOMPARE(b.folder.recordsInFile(), 4);
        QCOMPARE(b.folder.table.recordNumber(), 4u);
    }

    void deleteConfirmationBox()
    {
        Browser b(2);
        MessageBox::setAutoAnswer(false);
        BoxAnswer seen;
        answerNextBox(seen, &b.window, [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
        b.click(NavButton::Delete);
        QCOMPARE(seen.title, QStringLiteral("Confirm"));
        QCOMPARE(seen.text, QStringLiteral("Delete record?"));
        QCOMPARE(seen.icon, QMessageBox::Question);
        QCOMPARE(seen.defaultButton, QStringLiteral("OK"));
        QCOMPARE(seen.escapeButton, QStringLiteral("Cancel"));
        QVERIFY(!seen.ownerOnTop); // the box lies above the window that is otherwise on top
        QVERIFY(b.window.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(b.folder.flagInFile(1), ' ');
        // The close button answers Cancel too.
        answerNextBox(seen, &b.window, [](QMessageBox* box) { box->close(); });
        b.click(NavButton::Delete);
        QCOMPARE(b.folder.flagInFile(1), ' ');
        // Enter takes the default button, OK.
        answerNextBox(seen, &b.window, [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
        b.click(NavButton::Delete);
        QCOMPARE(b.folder.flagInFile(1), '*');
        QCOMPARE(b.browser.grid()->resultsModel()->rowCount(), 1);
        MessageBox::setAutoAnswer(true);
    }

    void onTheDataWindowFromStartToPokus()
    {
        testing::WorkingFolder folder;
        folder.write(QStringLiteral("program.txt"), "1\r\n1\r\n77 b.rtf\r\n1\r\n88 c.rtf\r\n");
        testing::ManualTicks ticks;
        TestSession test(&ticks);
        DataWindow data(test);
        test.window().show();
        data.raise();
        data.activateWindow();
        auto* grid = data.findChild<ResultsGrid*>(QStringLiteral("DBGrid1"));
        auto* navigator = data.findChild<DbNavigator*>(QStringLiteral("DBNavigator1"));
        QVERIFY(grid && navigator);
        QCOMPARE(grid->geometry(), QRect(16, 160, 505, 153));
        QCOMPARE(navigator->geometry(), QRect(128, 320, 240, 25));
        QVERIFY(grid->isHidden() && navigator->isHidden());
        // "DBF " before the start-up step has opened the table: an empty grid, nothing enabled.
        data.DBFactive1Click();
        QVERIFY(!grid->isHidden() && !navigator->isHidden());
        QCOMPARE(grid->resultsModel()->columnCount(), 0);
        QCOMPARE(testing::enabledButtons(*navigator), QStringLiteral("----------"));
        // Then the step opens the (empty) table.
        QTRY_COMPARE(grid->resultsModel()->columnCount(), 25);
        QCOMPARE(grid->resultsModel()->rowCount(), 0);
        QCOMPARE(testing::enabledButtons(*navigator), QStringLiteral("----I-E--R"));
        // Text typed into a cell goes into the row that "pokus" settles before storing its own.
        grid->setFocus();
        QTest::keyClicks(grid, QStringLiteral("Typed"));
        QCOMPARE(grid->cellEditor()->text(), QStringLiteral("Typed"));
        // "pokus" stores a row and closes the table: the grid is empty again, every button off.
        data.findChild<QAction*>(QStringLiteral("pokus1"))->trigger();
        QCOMPARE(test.table().isOpen(), false);
        QFile file(folder.file(QStringLiteral("tivora4.DBF")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.size(), 834 + 2 * 2138);
        QCOMPARE(bytes.mid(833 + 1, 15).trimmed(), QByteArray("Typed"));
        QCOMPARE(grid->resultsModel()->columnCount(), 0);
        QCOMPARE(testing::enabledButtons(*navigator), QStringLiteral("----------"));
        navigator->click(NavButton::Insert);
        QCOMPARE(test.table().isOpen(), false);
        data.DBFactive1Click();
        QVERIFY(grid->isHidden() && navigator->isHidden());
        QVERIFY(MessageBox::takeShown().empty());
    }
};

} // namespace ui

QTEST_MAIN(ui::ResultsBrowserTest)
#include "results_browser_test.moc"
