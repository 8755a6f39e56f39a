#include "results/schema.h"
#include "storage/dataset.h"
#include "ui/data_window.h"
#include "ui/date_text.h"
#include "ui/instruction_viewer.h"
#include "ui/mask_edit.h"
#include "ui/message_box.h"
#include "ui/program_editor.h"
#include "ui/test_support.h"
#include "ui/test_window.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>

namespace ui {

class DataWindowTest : public QObject
{
    Q_OBJECT

private:
    static constexpr const char* kProgram = "1\r\n1\r\n1\r\n77 b.rtf\r\n1\r\n1\r\n88 c.rtf\r\n2\r\n";

    struct Session
    {
        Session()
        {
            folder.write(QStringLiteral("program.txt"), kProgram);
            for (const char* name : {"tivora1.rtf", "b.rtf", "c.rtf"}) {
                folder.write(QString::fromLatin1(name), "{\\rtf1 Press Enter.\\par}");
            }
            test = std::make_unique<TestWindow>(&ticks);
            data = std::make_unique<DataWindow>(*test);
            // As at the program's start: the test window comes up behind the data window.
            test->show();
            data->raise();
            data->activateWindow();
            if (!QTest::qWaitForWindowActive(data.get())) {
                qWarning("the data window did not become active");
            }
            QTest::qWait(250); // the start-up step
        }
        template<typename T = QWidget>
        T* child(const char* name) const
        {
            return data->findChild<T*>(QLatin1String(name));
        }
        QLineEdit* edit(const char* name) const { return child<QLineEdit>(name); }
        MaskEdit* mask(const char* name) const { return child<MaskEdit>(name); }
        QColor colour(const char* name) const { return child(name)->palette().color(QPalette::Base); }
        void type(const char* name, const QString& text, int position = 0) const
        {
            QWidget* box = child(name);
            box->setFocus();
            auto* line = qobject_cast<QLineEdit*>(box);
            if (line && !qobject_cast<MaskEdit*>(box)) {
                line->insert(text); // Czech letters cannot be typed through the test's key table
                return;
            }
            line->setCursorPosition(position);
            QTest::keyClicks(box, text);
        }
        void fillValid() const
        {
            type("Edit1", QStringLiteral("Eva"));
            type("Edit2", QStringLiteral("Nováková"));
            type("MaskEdit2", QStringLiteral("855101"));
            type("MaskEdit3", QStringLiteral("1234"));
        }
        void ok() const { QTest::mouseClick(child("BitBtn1"), Qt::LeftButton); }

        testing::WorkingFolder folder;
        testing::ManualTicks ticks;
        std::unique_ptr<TestWindow> test;
        std::unique_ptr<DataWindow> data;
    };

    static const QColor kYellow;

private slots:
    void init()
    {
        MessageBox::setAutoAnswer(true);
        MessageBox::takeShown();
    }
    void cleanup() { QGuiApplication::restoreOverrideCursor(); }

    void windowLooksAsDesigned()
    {
        Session s;
        QCOMPARE(s.data->windowTitle(), QStringLiteral("                       Zadání dat vyšetřované osoby"));
        QVERIFY(s.data->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!(s.data->windowFlags() & Qt::WindowCloseButtonHint));
        QCOMPARE(s.data->centralWidget()->size(), QSize(536, 353));
        QCOMPARE(s.child("MaskEdit2")->geometry(), QRect(48, 88, 49, 21));
        QCOMPARE(s.child("BitBtn1")->geometry(), QRect(408, 98, 89, 25));
        QCOMPARE(s.child<QPushButton>("BitBtn1")->text(), QStringLiteral("Data  OK"));
        QCOMPARE(s.child<QLabel>("StaticText2")->text(), QStringLiteral("příjmení"));
        QCOMPARE(s.child<QLabel>("StaticText3")->text(), QStringLiteral("rodné číslo"));
        QCOMPARE(s.child<QLabel>("Label1")->text(), QStringLiteral("Tivora   V 2.4"));
        QStringList menu;
        for (QAction* action : s.data->menuBar()->actions()) {
            menu << action->text();
        }
        QCOMPARE(menu, QStringList({QStringLiteral("DBF "), QStringLiteral("Edit.prog."), QStringLiteral("exit")}));
        QVERIFY(!s.data->findChild<QAction*>(QStringLiteral("test1"))->isEnabled());
        QVERIFY(s.child("DBGrid1")->isHidden());
        QVERIFY(s.child("DBNavigator1")->isHidden());
        // Today's date in the system's short format, fitted into the mask; the start-up step focused
        // the first-name box and the table exists.
        const QString format = QLocale::system().dateFormat(QLocale::ShortFormat);
        QCOMPARE(s.mask("MaskEdit1")->maskedText(), dateForMask(QDate::currentDate(), format));
        QTRY_VERIFY(s.edit("Edit1")->hasFocus());
        QVERIFY(QFile::exists(s.folder.file(QStringLiteral("tivora4.DBF"))));
    }

    void surnameMustNotBeEmptyOrOneSpace()
    {
        Session s;
        s.type("MaskEdit2", QStringLiteral("855101"));
        s.type("MaskEdit3", QStringLiteral("1234"));
        for (const QString& surname : {QString(), QStringLiteral(" ")}) {
            s.edit("Edit2")->setText(surname);
            s.child("Edit1")->setFocus();
            s.ok();
            QTRY_VERIFY(s.child("Edit2")->hasFocus());
            // Taking the focus restores the normal colour at once.
            QCOMPARE(s.colour("Edit2"), DataWindow::normalColour());
            QVERIFY(s.data->isVisible());
        }
        QVERIFY(MessageBox::takeShown().empty());
        s.edit("Edit2")->setText(QStringLiteral("  "));
        s.ok();
        QVERIFY(!s.data->isVisible()); // two spaces pass
    }

    void emptyBirthNumberPartsAreMarked()
    {
        Session s;
        s.type("Edit2", QStringLiteral("Novák"));
        s.ok();
        QTRY_VERIFY(s.child("MaskEdit2")->hasFocus());
        QCOMPARE(s.colour("MaskEdit2"), kYellow); // stays until the text changes
        s.type("MaskEdit2", QStringLiteral("8"));
        QCOMPARE(s.colour("MaskEdit2"), DataWindow::normalColour());
        s.type("MaskEdit2", QStringLiteral("55101"), 1);
        s.ok();
        QTRY_VERIFY(s.child("MaskEdit3")->hasFocus());
        QCOMPARE(s.colour("MaskEdit3"), DataWindow::normalColour());
        QVERIFY(MessageBox::takeShown().empty());
        QVERIFY(s.data->isVisible());
    }

    void birthNumberMustBeAnInteger()
    {
        Session s;
        s.type("Edit2", QStringLiteral("Novák"));
        s.type("MaskEdit2", QStringLiteral("85510")); // a blank position at the end
        s.type("MaskEdit3", QStringLiteral("12"));
        QCOMPARE(s.mask("MaskEdit2")->maskedText(), QStringLiteral("85510 "));
        s.ok();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), std::size_t {1});
        QCOMPARE(shown[0].title, QStringLiteral("???"));
        QCOMPARE(shown[0].text, QStringLiteral("Chybné rodné číslo  !!  číselná hodnota"));
        QCOMPARE(shown[0].icon, MessageBox::Icon::None);
        QCOMPARE(s.mask("MaskEdit2")->maskedText(), QStringLiteral("      "));
        QCOMPARE(s.colour("MaskEdit2"), DataWindow::normalColour());
        QTRY_VERIFY(s.child("MaskEdit2")->hasFocus());

        // Blanks only in front pass, as does a part 2 of two digits.
        s.type("MaskEdit2", QStringLiteral("85510"), 1);
        QCOMPARE(s.mask("MaskEdit2")->maskedText(), QStringLiteral(" 85510"));
        s.ok();
        QVERIFY(MessageBox::takeShown().empty());
        QVERIFY(!s.data->isVisible());
        QVERIFY(s.test->viewer()->isVisible());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
        QCOMPARE(s.data->subject().birthNumber2, QStringLiteral("12  "));
    }

    // A program that would fail later is refused at "Data  OK": a box names the line, no screen is shown,
    // nothing is stored, and the data window stays with the identity typed.
    void faultyProgramIsRefusedBeforeTheTest()
    {
        Session s;
        s.test->programEditor()->memo()->setPlainText(QStringLiteral("1\n1\n1\n77 b.rtf\n1\n1\n88 c.rtf\n8 "));
        const QByteArray table = s.folder.read(QStringLiteral("tivora4.DBF"));
        s.fillValid();
        s.ok();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), std::size_t {1});
        QCOMPARE(shown[0].title, QStringLiteral("???"));
        QCOMPARE(shown[0].icon, MessageBox::Icon::None);
        QCOMPARE(shown[0].text, QStringLiteral("Chybný program  !!  řádek 8: počet pokusů série „8 “ není celé číslo"));
        QVERIFY(s.data->isVisible());
        QVERIFY(s.test->viewer()->isHidden());
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(s.test->measurement().acceptingResponses, false);
        QCOMPARE(s.data->subject().surname, QStringLiteral("Nováková"));
        QCOMPARE(s.data->subject().birthNumber1, QStringLiteral("855101"));
        QCOMPARE(s.folder.read(QStringLiteral("tivora4.DBF")), table);

        // A missing screen is named the same way; once the program is right, the test starts.
        s.folder.remove(QStringLiteral("c.rtf"));
        s.test->programEditor()->memo()->setPlainText(QString::fromLatin1(kProgram));
        s.ok();
        QCOMPARE(MessageBox::takeShown().at(0).text,
                 QStringLiteral("Chybný program  !!  řádek 7: soubor „c.rtf“ nelze načíst (Cannot open file c.rtf)"));
        s.folder.write(QStringLiteral("c.rtf"), "Konec.");
        s.ok();
        QVERIFY(MessageBox::takeShown().empty());
        QVERIFY(!s.data->isVisible());
        QVERIFY(s.test->viewer()->isVisible());
    }

    // A table the result could not be stored in is refused at "Data  OK" the same way, naming the file and
    // the reason; once the cause is gone, "Data  OK" starts the test.
    void unwritableTableIsRefusedBeforeTheTest()
    {
        Session s;
        // As when the table could not be opened at the start: a folder is where the table should be.
        s.test->table().close();
        s.folder.remove(QStringLiteral("tivora4.DBF"));
        QVERIFY(QDir(s.folder.path()).mkdir(QStringLiteral("tivora4.DBF")));
        s.fillValid();
        s.ok();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), std::size_t {1});
        QCOMPARE(shown[0].title, QStringLiteral("???"));
        // The message names the file as the system writes paths, with backslashes on Windows.
        const QString table =
            QDir::toNativeSeparators(QDir(s.folder.path()).filePath(QStringLiteral("tivora4.DBF")));
        QCOMPARE(shown[0].text,
                 QStringLiteral("Chybná tabulka výsledků  !!  soubor „%1“ nelze zapsat (Cannot open file "
                                "%1: it is a directory, not a file)")
                     .arg(table));
        QVERIFY(s.data->isVisible());
        QVERIFY(s.test->viewer()->isHidden());
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(s.data->subject().surname, QStringLiteral("Nováková"));
        QCOMPARE(s.data->subject().birthNumber2, QStringLiteral("1234"));

        QVERIFY(QDir(s.folder.path()).rmdir(QStringLiteral("tivora4.DBF")));
        s.ok();
        QVERIFY(MessageBox::takeShown().empty());
        QVERIFY(!s.data->isVisible());
        QVERIFY(s.test->viewer()->isVisible());
        QCOMPARE(s.folder.read(QStringLiteral("tivora4.DBF")).size(), 834);
    }

    void enterMovesThroughTheBoxes()
    {
        Session s;
        s.child("Edit1")->setFocus();
        const char* order[] = {"Edit2", "MaskEdit2", "MaskEdit3", "MaskEdit1", "BitBtn1"};
        QWidget* box = s.child("Edit1");
        for (const char* next : order) {
            QTest::keyClick(box, Qt::Key_Return);
            QTRY_VERIFY2(s.child(next)->hasFocus(), next);
            box = s.child(next);
        }
        QCOMPARE(s.edit("Edit1")->text(), QString());

        // Enter on the button presses it: the checks run.
        QTest::keyClick(s.child("BitBtn1"), Qt::Key_Return);
        QTRY_VERIFY(s.child("Edit2")->hasFocus());
    }

    void birthNumberBoxesTakeDigitsOnly()
    {
        Session s;
        s.type("MaskEdit3", QStringLiteral("1a2"));
        QTest::keyClick(s.child("MaskEdit3"), Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(s.child("MaskEdit3"), Qt::Key_Escape);
        QCOMPARE(s.mask("MaskEdit3")->maskedText(), QStringLiteral("12  "));
        QTest::keyClick(s.child("MaskEdit3"), Qt::Key_Backspace);
        QCOMPARE(s.mask("MaskEdit3")->maskedText(), QStringLiteral("1   "));
    }

    void comingBackFromTheTestWindowClearsTheBoxes()
    {
        Session s;
        s.fillValid();
        // Another window (a message box, another program) does not clear them...
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_VERIFY(other.isActiveWindow());
        s.data->activateWindow();
        QTRY_VERIFY(s.data->isActiveWindow());
        QCOMPARE(s.edit("Edit2")->text(), QStringLiteral("Nováková"));
        // ...coming back from the test window does, and creates a missing table.
        s.test->table().close();
        s.folder.remove(QStringLiteral("tivora4.DBF"));
        s.test->show();
        s.test->activateWindow();
        QTRY_VERIFY(s.test->isActiveWindow());
        s.data->activateWindow();
        QTRY_VERIFY(s.data->isActiveWindow());
        QTRY_COMPARE(s.edit("Edit2")->text(), QString());
        QCOMPARE(s.mask("MaskEdit2")->maskedText(), QStringLiteral("      "));
        QCOMPARE(s.mask("MaskEdit1")->maskedText().size(), 10);
        QVERIFY(QFile::exists(s.folder.file(QStringLiteral("tivora4.DBF"))));
    }

    void menuItems()
    {
        Session s;
        QAction* dbf = s.data->findChild<QAction*>(QStringLiteral("DBFactive1"));
        dbf->trigger();
        QVERIFY(s.child("DBGrid1")->isVisible());
        QVERIFY(s.child("DBNavigator1")->isVisible());
        dbf->trigger();
        QVERIFY(s.child("DBGrid1")->isHidden());
        QVERIFY(s.child("DBNavigator1")->isHidden());

        s.data->findChild<QAction*>(QStringLiteral("Editprog1"))->trigger();
        QVERIFY(s.test->programEditor()->isVisible());
        // "Edit.prog." alone keeps what was typed.
        QCOMPARE(s.edit("Edit1")->text(), QString());
        s.type("Edit1", QStringLiteral("Eva"));
        QCOMPARE(s.edit("Edit1")->text(), QStringLiteral("Eva"));
    }

    void pokusStoresARowAtOnce()
    {
        Session s;
        s.fillValid();
        s.data->findChild<QAction*>(QStringLiteral("pokus1"))->trigger();
        QVERIFY(MessageBox::takeShown().empty());
        QVERIFY(!s.test->table().isOpen()); // the store closes the table
        storage::Dataset table("Check", results::kResultsTableName);
        table.setDirectory(s.folder.path().toStdString());
        table.open();
        QCOMPARE(table.rowCount(), 1U);
        const auto text
            = [&](const char* field) { return std::get<std::string>(table.value(*table.fieldIndex(field))); };
        QCOMPARE(QString::fromStdString(text("PRIJM")), QStringLiteral("Nováková"));
        QCOMPARE(QString::fromStdString(text("JMENO")), QStringLiteral("Eva"));
        QCOMPARE(QString::fromStdString(text("RC_1")), QStringLiteral("855101"));
        QCOMPARE(std::get<std::int64_t>(table.value(*table.fieldIndex("POC_1SER"))), std::int64_t {0});
    }

    void exitClosesTheTestWindow()
    {
        Session s;
        s.data->findChild<QAction*>(QStringLiteral("exit2"))->trigger();
        QVERIFY(!s.test->isVisible());
        QVERIFY(!s.test->table().isOpen());
    }
};

const QColor DataWindowTest::kYellow(255, 255, 0);

} // namespace ui

QTEST_MAIN(ui::DataWindowTest)
#include "data_window_test.moc"
